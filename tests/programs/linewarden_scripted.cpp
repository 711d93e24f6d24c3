// linewarden on the scripted desktop: `linewarden-scripted <scenario.json> [program args...]`.
// Exit status 2 when the scenario cannot be loaded; otherwise whatever the program returns.

#include <cstdio>
#include <string>
#include <vector>

#include "linewarden/app/Launcher.h"
#include "platform/ScriptedDesktop.h"

int main(int argc, char** argv) {
    std::setbuf(stdout, nullptr);  // every status line reaches the reader at once, as in production
    if (argc < 2) {
        std::fputs("usage: linewarden-scripted <scenario.json> [linewarden arguments...]\n", stderr);
        return 2;
    }
    std::string error;
    auto scenario = platform::Scenario::fromFile(argv[1], error);
    if (!scenario) {
        std::fprintf(stderr, "linewarden-scripted: %s\n", error.c_str());
        return 2;
    }
    std::vector<std::string> args{"linewarden"};
    args.insert(args.end(), argv + 2, argv + argc);
    platform::StdConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    return linewarden::runLineWarden(args, desktop.platform());
}

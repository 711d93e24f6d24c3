// tabroster on the scripted desktop: `tabroster-scripted <scenario.json> [ignored args...]`.
// Exit status 2 when the scenario cannot be loaded; otherwise whatever the program returns.

#include <cstdio>
#include <string>

#include "platform/ScriptedDesktop.h"
#include "tabroster/TabRoster.h"

int main(int argc, char** argv) {
    std::setbuf(stdout, nullptr);  // each line reaches the reader at once, as in production
    if (argc < 2) {
        std::fputs("usage: tabroster-scripted <scenario.json> [ignored arguments...]\n", stderr);
        return 2;
    }
    std::string error;
    auto scenario = platform::Scenario::fromFile(argv[1], error);
    if (!scenario) {
        std::fprintf(stderr, "tabroster-scripted: %s\n", error.c_str());
        return 2;
    }
    platform::StdConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    return tabroster::runTabRoster(desktop.platform());
}

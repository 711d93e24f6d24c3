#include <cstdio>
#include <string>
#include <vector>

#include "linewarden/app/Applications.h"
#include "linewarden/app/Launcher.h"
#include "platform/LinuxDesktop.h"

int main(int argc, char** argv) {
    std::setbuf(stdout, nullptr);  // every status line reaches the host at once
    std::vector<std::string> args(argv, argv + argc);
    platform::StdConsole console;
    auto desktop = platform::LinuxDesktop::open(console, linewarden::knownApplications());
    return linewarden::runLineWarden(args, desktop->platform());
}

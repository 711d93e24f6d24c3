#include <cstdio>
#include <string>
#include <vector>

#include "inspect/Inspect.h"
#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"

int main(int argc, char** argv) {
    std::setbuf(stdout, nullptr);
    std::vector<std::string> args(argv, argv + argc);
    platform::StdConsole console;
    auto desktop = platform::LinuxDesktop::open(console, linewarden::knownApplications());
    return inspect::runInspect(args, desktop->platform());
}

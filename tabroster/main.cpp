#include <cstdio>

#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"
#include "tabroster/TabRoster.h"

int main() {
    std::setbuf(stdout, nullptr);  // each line reaches the reader at once
    platform::StdConsole console;
    auto desktop = platform::LinuxDesktop::open(console, linewarden::knownApplications());
    return tabroster::runTabRoster(desktop->platform());
}

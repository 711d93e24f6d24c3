#include <cstdio>

#include "platform/LinuxDesktop.h"
#include "tabroster/TabRoster.h"

int main() {
    std::setbuf(stdout, nullptr);  // each line reaches the reader at once
    platform::StdConsole console;
    auto desktop = platform::LinuxDesktop::open(console);
    return tabroster::runTabRoster(desktop->platform());
}

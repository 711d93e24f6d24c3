#include "platform/Console.h"

#include <cstdio>

namespace platform {

void StdConsole::out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void StdConsole::flushOut() {
    std::fflush(stdout);
}

void StdConsole::err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace platform

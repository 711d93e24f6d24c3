#pragma once

// Window titles as X stores them, turned into UTF-8 text.

#include <string>
#include <string_view>

namespace platform::x11 {

// ISO 8859-1 bytes (the STRING type of WM_NAME) as UTF-8.
std::string latin1ToUtf8(std::string_view latin1);

// The text with every byte sequence that is not well-formed UTF-8 replaced by U+FFFD, so that a
// careless client cannot hand malformed text on to the monitor.
std::string validUtf8(std::string_view bytes);

}  // namespace platform::x11

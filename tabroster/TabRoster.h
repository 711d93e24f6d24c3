#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace tabroster {

// Prints "<browser name>: <title>" for every titled window of the running Google Chrome, Brave
// Browser and Microsoft Edge applications, one line per window. Always returns 0.
int runTabRoster(platform::Platform& platform);

// A title as one line of valid UTF-8: line breaks and other control characters (C0 controls, DEL,
// NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR) become a blank, and every ill-formed byte sequence
// becomes U+FFFD. A title cannot forge a line of its own or hand the reader malformed text.
std::string asOneLine(std::string_view title);

}  // namespace tabroster

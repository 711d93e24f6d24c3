#pragma once

#include "platform/Platform.h"

namespace tabroster {

// Prints "<browser name>: <title>" for every titled window of the running Google Chrome, Brave
// Browser and Microsoft Edge applications. Always returns 0.
int runTabRoster(platform::Platform& platform);

}  // namespace tabroster

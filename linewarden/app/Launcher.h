#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// The whole program: validates the command line, checks permissions and runs the chosen
// dialer's driver. Returns the exit status (1 for every start-up failure and for a browser
// dialer found in no browser). The caller makes standard output unbuffered first.
int runLineWarden(const std::vector<std::string>& args, platform::Platform& platform);

// Returns true when screen capture is allowed, asking once; otherwise writes why and returns
// false (the caller ends with status 1).
bool ensureScreenRecordingPermissions(platform::Platform& platform, std::string_view displayName);

}  // namespace linewarden

#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace inspect {

// linewarden-inspect --dialer=<zoom|kixie|ringcentral|trellus> --out=DIR
//
// Finds the dialer's window as the monitor does, runs one scan's capture, crop and recognition
// with the dialer's settings, writes window.png (the region marked), region.png and
// recognizer-input.png into DIR (created if missing), and prints the window, one line per
// recognised observation, the rule that decided and the verdict. Returns 0 with a verdict; 1 with
// one line on standard error, and no pictures, when it cannot get that far.
int runInspect(const std::vector<std::string>& args, platform::Platform& platform);

}  // namespace inspect

#pragma once

// The X11 desktop: windows through XCB, pixels through XComposite, text through the shared
// Tesseract recogniser. Serves an X11 session, and the X11 clients of a Wayland session through
// Xwayland.

#include <memory>
#include <string>
#include <vector>

#include "platform/LinuxDesktop.h"

namespace platform {

// Opening never fails: without a usable display the permission checks answer false and name the
// problem, and every other call answers with a failure. An empty display name is the default
// display, as every X client finds it.
std::unique_ptr<LinuxDesktop> openX11Desktop(Console& console, std::vector<ApplicationDescription> applications,
                                             std::string displayName);

}  // namespace platform

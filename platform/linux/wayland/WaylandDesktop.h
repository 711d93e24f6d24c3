#pragma once

// The Wayland desktop: applications, windows and titles from the accessibility bus, pixels of
// native windows through the session's capture route (NativeCapture), and everything of X11
// clients under Xwayland through the X11 desktop, which it holds inside. A process with X11
// windows is served by X11; the bus serves the applications that have none.

#include <memory>
#include <string>
#include <vector>

#include "platform/LinuxDesktop.h"

namespace platform {

// Opening never fails, as the X11 desktop's: without a reachable accessibility bus or a capture
// route the permission checks answer false and name the problem. `displayName` is the X display of
// the session's Xwayland (empty: DISPLAY, as every X client finds it; none set: no X11 clients).
std::unique_ptr<LinuxDesktop> openWaylandDesktop(Console& console, std::vector<ApplicationDescription> applications,
                                                 std::string displayName);

}  // namespace platform

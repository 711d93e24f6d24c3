#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Applications.h"
#include "platform/Platform.h"

namespace platform {

// The Linux desktop of the session: on an X11 session windows through XCB and pixels through
// XComposite; on a Wayland session (WAYLAND_DISPLAY set) windows from the accessibility bus and
// pixels through the compositor, with X11 clients under Xwayland served as on X11. Text through
// Tesseract on both. Opening never fails: without a usable display or bus the permission checks
// answer false and name the problem, and every other call answers with a failure.
class LinuxDesktop {
public:
    // Running applications are the processes with windows of one of `applications`. The X display
    // is the named one (":99"), or with an empty name the default display, as every X client
    // finds it.
    static std::unique_ptr<LinuxDesktop> open(Console& console, std::vector<ApplicationDescription> applications,
                                              std::string displayName = {});
    virtual ~LinuxDesktop() = default;
    virtual Platform& platform() = 0;
};

}  // namespace platform

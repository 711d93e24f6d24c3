#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Applications.h"
#include "platform/Platform.h"

namespace platform {

// The Linux X11 desktop: windows through XCB, pixels through XComposite, text through Tesseract.
// Opening never fails: without a usable display the permission checks answer false and name the
// problem, and every other call answers with a failure.
class LinuxDesktop {
public:
    // Running applications are the processes with windows of one of `applications`. The display
    // is the named one (":99"), or with an empty name the default display, as every X client
    // finds it.
    static std::unique_ptr<LinuxDesktop> open(Console& console, std::vector<ApplicationDescription> applications,
                                              std::string displayName = {});
    virtual ~LinuxDesktop() = default;
    virtual Platform& platform() = 0;
};

}  // namespace platform

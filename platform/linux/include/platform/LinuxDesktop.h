#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace platform {

// The Linux X11 desktop: windows through XCB, pixels through XComposite, text through Tesseract.
// Opening never fails: without a usable display the permission checks answer false and name the
// problem, and every other call answers with a failure.
class LinuxDesktop {
public:
    // The default display, as every X client finds it.
    static std::unique_ptr<LinuxDesktop> open(Console& console);
    // The named display (":99"); an empty name means the default display.
    static std::unique_ptr<LinuxDesktop> open(Console& console, std::string displayName);
    virtual ~LinuxDesktop() = default;
    virtual Platform& platform() = 0;
};

}  // namespace platform

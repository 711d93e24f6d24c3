#include "linewarden/window/AccessibilityHelper.h"

#include <string>

#include "linewarden/text/Format.h"

namespace linewarden {

bool AccessibilityHelper::checkPermissions(platform::Platform& platform) {
    return platform.accessibility.isProcessTrusted();
}

platform::AXElementRef AccessibilityHelper::setupAppRef(platform::Platform& platform, std::string_view bundleId) {
    const auto apps = platform.workspace.runningApplications(bundleId);
    if (apps.empty()) return nullptr;
    return platform.accessibility.createApplication(apps.front().processId);
}

bool AccessibilityHelper::checkAccessibilityHealth(platform::Platform& platform,
                                                   const platform::AXElementRef& appRef) {
    if (!appRef) return false;
    const double start = platform.clock.now();
    const platform::AXError code = platform.accessibility.copyAttribute(appRef, platform::kAXWindowsAttribute).code;
    const double elapsed = platform.clock.now() - start;
    if (elapsed > 0.1) {
        platform.console.err("DEBUG: Slow accessibility API response: " + formatShortest(elapsed) + "s\n");
        return false;
    }
    return code == platform::kAXErrorSuccess;
}

}  // namespace linewarden

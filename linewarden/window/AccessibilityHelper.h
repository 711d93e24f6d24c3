#pragma once

#include <string_view>

#include "platform/Platform.h"

namespace linewarden {

// What the monitor needs from the accessibility interface before it looks at any window.
class AccessibilityHelper {
public:
    AccessibilityHelper() = delete;

    // Whether this process may use the accessibility interface.
    static bool checkPermissions(platform::Platform& platform);
    // An element for the first running application with this bundle identifier, or null.
    static platform::AXElementRef setupAppRef(platform::Platform& platform, std::string_view bundleId);
    // True when the application still answers its window list within 0.1 s; a slower answer is
    // reported on standard error.
    static bool checkAccessibilityHealth(platform::Platform& platform, const platform::AXElementRef& appRef);
};

}  // namespace linewarden

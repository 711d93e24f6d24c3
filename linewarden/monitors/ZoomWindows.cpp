#include "linewarden/monitors/ZoomWindows.h"

#include <algorithm>

#include "linewarden/text/UnicodeText.h"

namespace linewarden {

namespace {
bool ownedByZoom(const platform::ShareableWindow& window, std::string_view bundleId) {
    if (!window.owningApplication) return false;
    if (window.owningApplication->bundleId == bundleId) return true;
    return containsCanonically(lowercased(window.owningApplication->applicationName), "zoom");
}

double area(const platform::ShareableWindow& window) { return window.frame.width * window.frame.height; }
}  // namespace

std::vector<platform::ShareableWindow> selectZoomWindows(const std::vector<platform::ShareableWindow>& windows,
                                                         std::string_view bundleId) {
    std::vector<platform::ShareableWindow> selected;
    for (const auto& window : windows) {
        if (ownedByZoom(window, bundleId) && window.frame.width > 1.0 && window.frame.height > 1.0) {
            selected.push_back(window);
        }
    }
    std::stable_sort(selected.begin(), selected.end(),
                     [](const auto& a, const auto& b) { return area(a) < area(b); });
    return selected;
}

std::vector<platform::ShareableWindow> listZoomWindows(platform::Platform& platform, std::string_view bundleId) {
    const auto windows = platform.screenCapture.shareableWindows(false, true);
    if (!windows) return {};
    return selectZoomWindows(*windows, bundleId);
}

}  // namespace linewarden

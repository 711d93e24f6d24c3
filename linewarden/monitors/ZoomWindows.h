#pragma once

#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// Of the shareable windows, those of Zoom worth a screenshot, in reading order: owned by the
// application with `bundleId` or by one whose name contains "zoom" in any case, larger than one
// point both ways, smallest area first (equal areas keep the platform's order).
std::vector<platform::ShareableWindow> selectZoomWindows(const std::vector<platform::ShareableWindow>& windows,
                                                         std::string_view bundleId);

// The on-screen shareable windows worth a screenshot, as above; empty when they cannot be listed.
std::vector<platform::ShareableWindow> listZoomWindows(platform::Platform& platform, std::string_view bundleId);

}  // namespace linewarden

#pragma once

#include <string>

#include "linewarden/monitors/TwoStateBrowserMonitor.h"

namespace linewarden {

// Watches the Trellus tab: "Active" or "Idle" at the top right of the window.
class TrellusMonitor final : public TwoStateBrowserMonitor {
public:
    TrellusMonitor(platform::Platform& platform, std::string bundleId);

    bool findTrellusWindow() { return findWindow(); }
};

}  // namespace linewarden

#pragma once

#include <string>

#include "linewarden/monitors/TwoStateBrowserMonitor.h"

namespace linewarden {

// Watches the Kixie PowerCall tab: the agent status "On Call" at the top left of the window.
class KixieMonitor final : public TwoStateBrowserMonitor {
public:
    KixieMonitor(platform::Platform& platform, std::string bundleId);

    bool findKixieWindow() { return findWindow(); }
};

}  // namespace linewarden

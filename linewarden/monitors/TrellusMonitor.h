#pragma once

#include <string>

#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/monitors/BrowserMonitor.h"

namespace linewarden {

// Watches the Trellus tab: "Active" or "Idle" at the top right of the window.
class TrellusMonitor final : public BrowserMonitor {
public:
    TrellusMonitor(platform::Platform& platform, std::string bundleId);

    bool findTrellusWindow() { return findWindow(); }
    const TwoStateStatusMachine& status() const { return status_; }

private:
    bool detectCallFromOCR(const std::vector<std::string>& lines) override;
    bool handleStatusChange(bool isCallActive) override;
    bool isDialing() const override { return status_.isDialing(); }

    TwoStateStatusMachine status_;
};

}  // namespace linewarden

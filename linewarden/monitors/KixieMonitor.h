#pragma once

#include <string>

#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/monitors/BrowserMonitor.h"

namespace linewarden {

// Watches the Kixie PowerCall tab: the agent status "On Call" at the top left of the window.
class KixieMonitor final : public BrowserMonitor {
public:
    KixieMonitor(platform::Platform& platform, std::string bundleId);

    bool findKixieWindow() { return findWindow(); }
    const TwoStateStatusMachine& status() const { return status_; }

private:
    bool detectCallFromOCR(const std::vector<std::string>& lines) override;
    bool handleStatusChange(bool isCallActive) override;
    bool isDialing() const override { return status_.isDialing(); }

    TwoStateStatusMachine status_;
};

}  // namespace linewarden

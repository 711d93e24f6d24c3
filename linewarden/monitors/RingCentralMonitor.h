#pragma once

#include <string>

#include "linewarden/detect/RingCentralDetector.h"
#include "linewarden/monitors/BrowserMonitor.h"

namespace linewarden {

// Watches the RingCentral for Google tab: a running call timer in the band at the top of the
// window, debounced over scans.
class RingCentralMonitor final : public BrowserMonitor {
public:
    RingCentralMonitor(platform::Platform& platform, std::string bundleId);

    bool findRingCentralWindow() { return findWindow(); }
    const RingCentralStatusMachine& status() const { return status_; }
    Classification classifyText(const std::vector<std::string>& lines) override;

private:
    bool handleStatusChange(bool isCallActive) override;
    bool isDialing() const override { return status_.isDialing(); }

    RingCentralTimerDetector timer_;
    RingCentralStatusMachine status_;
};

}  // namespace linewarden

#pragma once

#include <string>
#include <vector>

#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/monitors/BrowserMonitor.h"

namespace linewarden {

// A browser monitor whose dialer shows a status word and reports every change at once (Kixie,
// Trellus): a classifier over the recognised lines and the two-state machine with its words.
class TwoStateBrowserMonitor : public BrowserMonitor {
public:
    const TwoStateStatusMachine& status() const { return status_; }
    Classification classifyText(const std::vector<std::string>& lines) override;

protected:
    // `dialer`: a two-state dialer's row, with its classifier and words.
    TwoStateBrowserMonitor(platform::Platform& platform, std::string bundleId, const Dialer& dialer);

private:
    bool handleStatusChange(bool isCallActive) override;
    bool isDialing() const override { return status_.isDialing(); }

    CallClassifier classifier_;
    TwoStateStatusMachine status_;
};

}  // namespace linewarden

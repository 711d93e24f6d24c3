#pragma once

#include <string>
#include <vector>

#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/monitors/BrowserMonitor.h"

namespace linewarden {

// A browser monitor whose dialer shows a status word and reports every change at once (Kixie,
// Trellus): a classifier over the recognised lines and the two-state machine with its words.
class TwoStateBrowserMonitor : public BrowserMonitor {
public:
    using Classifier = bool (*)(platform::Console& console, const std::vector<std::string>& lines);

    const TwoStateStatusMachine& status() const { return status_; }

protected:
    TwoStateBrowserMonitor(platform::Platform& platform, std::string bundleId, const BrowserDialerTable& table,
                           const TwoStateWords& words, Classifier classifier);

private:
    bool detectCallFromOCR(const std::vector<std::string>& lines) override;
    bool handleStatusChange(bool isCallActive) override;
    bool isDialing() const override { return status_.isDialing(); }

    Classifier classifier_;
    TwoStateStatusMachine status_;
};

}  // namespace linewarden

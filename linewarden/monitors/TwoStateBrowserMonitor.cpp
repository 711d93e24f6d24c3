#include "linewarden/monitors/TwoStateBrowserMonitor.h"

#include <utility>

namespace linewarden {

TwoStateBrowserMonitor::TwoStateBrowserMonitor(platform::Platform& platform, std::string bundleId,
                                               const BrowserDialerTable& table, const TwoStateWords& words,
                                               Classifier classifier)
    : BrowserMonitor(platform, std::move(bundleId), table), classifier_(classifier), status_(words) {}

bool TwoStateBrowserMonitor::detectCallFromOCR(const std::vector<std::string>& lines) {
    return classifier_(platform().console, lines);
}

bool TwoStateBrowserMonitor::handleStatusChange(bool isCallActive) {
    return status_.handleStatusChange(platform().console, isCallActive);
}

}  // namespace linewarden

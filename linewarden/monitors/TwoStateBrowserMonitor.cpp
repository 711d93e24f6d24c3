#include "linewarden/monitors/TwoStateBrowserMonitor.h"

#include <utility>

namespace linewarden {

TwoStateBrowserMonitor::TwoStateBrowserMonitor(platform::Platform& platform, std::string bundleId, const Dialer& dialer)
    : BrowserMonitor(platform, std::move(bundleId), dialer.browser), classifier_(dialer.classifier),
      status_(*dialer.words) {}

Classification TwoStateBrowserMonitor::classifyText(const std::vector<std::string>& lines) {
    return classifier_(platform().console, lines);
}

bool TwoStateBrowserMonitor::handleStatusChange(bool isCallActive) {
    return status_.handleStatusChange(platform().console, isCallActive);
}

}  // namespace linewarden

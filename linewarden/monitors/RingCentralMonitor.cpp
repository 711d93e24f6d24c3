#include "linewarden/monitors/RingCentralMonitor.h"

#include <utility>

#include "linewarden/app/DialerCatalogue.h"

namespace linewarden {

RingCentralMonitor::RingCentralMonitor(platform::Platform& platform, std::string bundleId)
    : BrowserMonitor(platform, std::move(bundleId), dialer(DialerType::ringcentral).browser) {}

Classification RingCentralMonitor::classifyText(const std::vector<std::string>& lines) {
    return timer_.classify(platform().console, lines);
}

bool RingCentralMonitor::handleStatusChange(bool isCallActive) {
    return status_.handleStatusChange(platform().console, isCallActive);
}

}  // namespace linewarden

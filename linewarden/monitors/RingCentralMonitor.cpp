#include "linewarden/monitors/RingCentralMonitor.h"

#include <utility>

namespace linewarden {

// Placeholder until the browser monitors land.
RingCentralMonitor::RingCentralMonitor(platform::Platform& platform, std::string bundleId)
    : platform_(platform), bundleId_(std::move(bundleId)) {}

bool RingCentralMonitor::findRingCentralWindow() { return false; }

bool RingCentralMonitor::scanElements(bool) { return false; }

}  // namespace linewarden

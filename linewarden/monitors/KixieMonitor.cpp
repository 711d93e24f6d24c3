#include "linewarden/monitors/KixieMonitor.h"

#include <utility>

namespace linewarden {

// Placeholder until the browser monitors land.
KixieMonitor::KixieMonitor(platform::Platform& platform, std::string bundleId)
    : platform_(platform), bundleId_(std::move(bundleId)) {}

bool KixieMonitor::findKixieWindow() { return false; }

bool KixieMonitor::scanElements(bool) { return false; }

}  // namespace linewarden

#include "linewarden/monitors/TrellusMonitor.h"

#include <utility>

namespace linewarden {

// Placeholder until the browser monitors land.
TrellusMonitor::TrellusMonitor(platform::Platform& platform, std::string bundleId)
    : platform_(platform), bundleId_(std::move(bundleId)) {}

bool TrellusMonitor::findTrellusWindow() { return false; }

bool TrellusMonitor::scanElements(bool) { return false; }

}  // namespace linewarden

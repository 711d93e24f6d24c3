#include "linewarden/monitors/TrellusMonitor.h"

#include <utility>

namespace linewarden {

TrellusMonitor::TrellusMonitor(platform::Platform& platform, std::string bundleId)
    : TwoStateBrowserMonitor(platform, std::move(bundleId), dialer(DialerType::trellus)) {}

}  // namespace linewarden

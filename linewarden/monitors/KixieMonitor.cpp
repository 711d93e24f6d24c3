#include "linewarden/monitors/KixieMonitor.h"

#include <utility>

namespace linewarden {

KixieMonitor::KixieMonitor(platform::Platform& platform, std::string bundleId)
    : TwoStateBrowserMonitor(platform, std::move(bundleId), dialer(DialerType::kixie)) {}

}  // namespace linewarden

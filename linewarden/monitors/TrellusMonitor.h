#pragma once

#include <string>

#include "linewarden/monitors/LineWarden.h"
#include "platform/Platform.h"

namespace linewarden {

class TrellusMonitor final : public LineWarden {
public:
    TrellusMonitor(platform::Platform& platform, std::string bundleId);

    // Looks for the dialer's tab among this browser's windows; true when found.
    bool findTrellusWindow();
    bool scanElements(bool initialScan = true) override;
    const platform::AXElementRef& appRef() const { return appRef_; }

private:
    platform::Platform& platform_;
    std::string bundleId_;
    platform::AXElementRef appRef_;
};

}  // namespace linewarden

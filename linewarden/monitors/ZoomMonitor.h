#pragma once

#include "linewarden/monitors/LineWarden.h"
#include "platform/Platform.h"

namespace linewarden {

class ZoomMonitor final : public LineWarden {
public:
    explicit ZoomMonitor(platform::Platform& platform);
    bool scanElements(bool initialScan = true) override;

private:
    platform::Platform& platform_;
};

}  // namespace linewarden

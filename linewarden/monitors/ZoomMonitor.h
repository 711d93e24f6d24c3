#pragma once

#include <map>
#include <string>
#include <vector>

#include "linewarden/capture/ReadingMemory.h"
#include "linewarden/detect/ZoomDetector.h"
#include "linewarden/monitors/LineWarden.h"
#include "platform/Platform.h"

namespace linewarden {

// Watches the Zoom desktop application: every visible Zoom window is captured whole and read,
// smallest first, until one shows a call marker.
class ZoomMonitor final : public LineWarden {
public:
    explicit ZoomMonitor(platform::Platform& platform);

    bool scanElements(bool initialScan = true) override;
    const ZoomStatusMachine& status() const { return status_; }

private:
    bool detectCallViaOCR();

    platform::Platform& platform_;
    const std::string bundleId_;
    ZoomMarkerDetector markers_;
    ZoomStatusMachine status_;
    // One per listed window; windows that are no longer listed are forgotten at the next scan.
    std::map<platform::WindowNumber, ReadingMemory> memories_;
};

}  // namespace linewarden

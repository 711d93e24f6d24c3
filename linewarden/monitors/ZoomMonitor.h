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
// smallest first, until one shows a call marker. A window is read again whole whenever any of its
// pixels changed, even when only its call timer ticked: the recogniser reads a window as one page
// (the text size it scales it by, which marks are text and which are background, how words are
// joined into lines, which rows it reads again), so the lines of a part read alone are not always
// those the whole reading gives, and the markers' messages quote those lines.
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

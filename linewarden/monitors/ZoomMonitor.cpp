#include "linewarden/monitors/ZoomMonitor.h"

#include <algorithm>

#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/capture/WindowCapture.h"
#include "linewarden/monitors/ZoomWindows.h"

namespace linewarden {

ZoomMonitor::ZoomMonitor(platform::Platform& platform) : platform_(platform), bundleId_(dialer(DialerType::zoom).ownApplication) {}

bool ZoomMonitor::scanElements(bool) {
    return status_.handleStatusChange(platform_.console, detectCallViaOCR());
}

bool ZoomMonitor::detectCallViaOCR() {
    if (platform_.workspace.runningApplications(bundleId_).empty()) {
        memories_.clear();
        return false;
    }
    const auto windows = listZoomWindows(platform_, bundleId_);
    std::erase_if(memories_, [&](const auto& entry) {
        return std::none_of(windows.begin(), windows.end(),
                            [&](const platform::ShareableWindow& w) { return w.windowID == entry.first; });
    });
    if (windows.empty()) return false;

    static const platform::RecognitionSettings settings = zoomRecognitionSettings();
    for (const auto& window : windows) {
        ReadingMemory& memory = memories_[window.windowID];
        const auto image = captureListedWindow(platform_, window, memory);
        if (!image) continue;
        if (markers_.detectMarkers(platform_.console, memory.recognize(platform_, *image, settings))) {
            platform_.console.err("[detectCallViaOCR] \u2705 Call markers found\n");
            return true;
        }
    }
    platform_.console.err("[detectCallViaOCR] \u274C No call markers found\n");
    return false;
}

}  // namespace linewarden

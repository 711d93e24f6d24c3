#include "linewarden/monitors/ZoomMonitor.h"

#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/capture/WindowCapture.h"
#include "linewarden/monitors/ZoomWindows.h"

namespace linewarden {

ZoomMonitor::ZoomMonitor(platform::Platform& platform) : platform_(platform), bundleId_(ZOOM_BUNDLE_ID) {}

bool ZoomMonitor::scanElements(bool) {
    return status_.handleStatusChange(platform_.console, detectCallViaOCR());
}

std::vector<platform::ShareableWindow> ZoomMonitor::listZoomWindows() {
    const auto windows = platform_.screenCapture.shareableWindows(false, true);
    if (!windows) return {};
    return selectZoomWindows(*windows, bundleId_);
}

bool ZoomMonitor::detectCallViaOCR() {
    if (platform_.workspace.runningApplications(bundleId_).empty()) return false;
    const auto windows = listZoomWindows();
    if (windows.empty()) return false;

    static const platform::RecognitionSettings settings = zoomRecognitionSettings();
    for (const auto& window : windows) {
        const auto image = captureListedWindow(platform_, window);
        if (!image) continue;
        if (markers_.detectMarkers(platform_.console, performOCR(platform_, *image, settings))) {
            platform_.console.err("[detectCallViaOCR] \u2705 Call markers found\n");
            return true;
        }
    }
    platform_.console.err("[detectCallViaOCR] \u274C No call markers found\n");
    return false;
}

}  // namespace linewarden

#include "linewarden/monitors/KixieMonitor.h"

#include <utility>

#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/detect/KixieDetector.h"

namespace linewarden {

namespace {
const BrowserDialerTable& kixieTable() {
    static const BrowserDialerTable table{
        .titleKeywords = {"Kixie PowerCall"},
        .foundMessage = "Found Kixie window: ",
        .notFoundMessage = "No window with Kixie-related title found in ",
        .keywordMessage = "Looked for titles containing: Kixie PowerCall\n",
        .partialKey = "Kixie",
        .tracesWindowSearch = false,
        .crop = CropRegion::topLeft,
        .cropWidth = 300,
        .cropHeight = 200,
        .reportsPipeline = true,
        .croppedMessage = "[detectCallViaScreenshot] \u2705 Image cropped to 300x200, performing OCR...\n",
        .robustRecognition = false,
        .recognition = kixieRecognitionSettings(),
        .guardsWindowWidth = false,
    };
    return table;
}
}  // namespace

KixieMonitor::KixieMonitor(platform::Platform& platform, std::string bundleId)
    : TwoStateBrowserMonitor(platform, std::move(bundleId), kixieTable(), kKixieWords, detectKixieCallFromOCR) {}

}  // namespace linewarden

#include "linewarden/monitors/TrellusMonitor.h"

#include <utility>

#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/detect/TrellusDetector.h"

namespace linewarden {

namespace {
const BrowserDialerTable& trellusTable() {
    static const BrowserDialerTable table{
        .titleKeywords = {"Trellus"},
        .foundMessage = "Found Trellus window: ",
        .notFoundMessage = "No window with Trellus-related title found in ",
        .keywordMessage = "Looked for titles containing: Trellus\n",
        .partialKey = "Trellus",
        .tracesWindowSearch = false,
        .crop = CropRegion::topRight,
        .cropWidth = 400,
        .cropHeight = 200,
        .reportsPipeline = true,
        .croppedMessage = "[detectCallViaScreenshot] \u2705 Image cropped (top-right 400x200), performing OCR...\n",
        .robustRecognition = false,
        .recognition = trellusRecognitionSettings(),
        .guardsWindowWidth = true,
    };
    return table;
}
}  // namespace

TrellusMonitor::TrellusMonitor(platform::Platform& platform, std::string bundleId)
    : TwoStateBrowserMonitor(platform, std::move(bundleId), trellusTable(), kTrellusWords, detectTrellusCallFromOCR) {}

}  // namespace linewarden

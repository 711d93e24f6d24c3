#include "linewarden/monitors/RingCentralMonitor.h"

#include <utility>

#include "linewarden/capture/RecognitionProfiles.h"

namespace linewarden {

namespace {
const BrowserDialerTable& ringCentralTable() {
    static const BrowserDialerTable table{
        .titleKeywords = {"RingCentral for Google"},
        .foundMessage = "Found RingCentral window: ",
        .notFoundMessage = "No window with RingCentral-related title found in ",
        .keywordMessage = "Looked for titles containing: RingCentral for Google\n",
        .partialKey = "RingCentral",
        .tracesWindowSearch = true,
        .crop = CropRegion::topBand,
        .cropWidth = 0,
        .cropHeight = 150,
        .reportsPipeline = false,
        .croppedMessage = "",
        .robustRecognition = true,
        .recognition = ringCentralRecognitionSettings(platform::RecognitionLevel::accurate),
        .guardsWindowWidth = false,
    };
    return table;
}
}  // namespace

RingCentralMonitor::RingCentralMonitor(platform::Platform& platform, std::string bundleId)
    : BrowserMonitor(platform, std::move(bundleId), ringCentralTable()) {}

bool RingCentralMonitor::detectCallFromOCR(const std::vector<std::string>& lines) {
    return timer_.detectCallFromOCR(platform().console, lines);
}

bool RingCentralMonitor::handleStatusChange(bool isCallActive) {
    return status_.handleStatusChange(platform().console, isCallActive);
}

}  // namespace linewarden

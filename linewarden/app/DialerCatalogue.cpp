#include "linewarden/app/DialerCatalogue.h"

#include <vector>

#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/detect/KixieDetector.h"
#include "linewarden/detect/TrellusDetector.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "linewarden/monitors/RingCentralMonitor.h"
#include "linewarden/monitors/TrellusMonitor.h"

namespace linewarden {

namespace {

template <class Monitor, bool (Monitor::*findWindow)()>
std::unique_ptr<BrowserMonitor> openIn(platform::Platform& platform, std::string bundleId) {
    auto monitor = std::make_unique<Monitor>(platform, std::move(bundleId));
    if (((*monitor).*findWindow)()) return monitor;
    return nullptr;
}

// How a browser dialer's call state is found and read; its texts come from its names.
struct BrowserReading {
    CropRegion crop;
    int cropWidth;                   // 0 for the full-width band
    int cropHeight;
    platform::RecognitionSettings recognition;
    bool narratesPipeline = false;   // Kixie and Trellus report each step of the screenshot pipeline
    bool tracesWindowSearch = false; // RingCentral: the window-number search, step by step
    bool robustRecognition = false;  // RingCentral: accurate level, every line listed
    bool guardsWindowWidth = false;  // Trellus: skips scans of a window that shrank sharply
};

std::string croppedLine(const BrowserReading& reading) {
    if (!reading.narratesPipeline) return {};
    const std::string size = std::to_string(reading.cropWidth) + "x" + std::to_string(reading.cropHeight);
    const std::string what = reading.crop == CropRegion::topRight ? "(top-right " + size + ")" : "to " + size;
    return "[detectCallViaScreenshot] \u2705 Image cropped " + what + ", performing OCR...\n";
}

using OpenInBrowser = decltype(Dialer::openInBrowser);

// A dialer in a browser tab whose title contains `keyword`. A two-state dialer gives its classifier
// and words; one with a machine of its own gives none and its monitor brings them.
Dialer browserDialer(DialerType type, std::string_view name, std::string_view displayName, std::string_view keyword,
                     const BrowserReading& reading, OpenInBrowser openInBrowser, CallClassifier classifier = nullptr,
                     const TwoStateWords* words = nullptr) {
    Dialer dialer{.type = type,
                  .name = name,
                  .displayName = displayName,
                  .titleKeyword = keyword,
                  .classifier = classifier,
                  .words = words,
                  .openInBrowser = openInBrowser};
    const std::string display(displayName);
    dialer.browser = BrowserDialerTable{
        .titleKeywords = {keyword},
        .foundMessage = "Found " + display + " window: ",
        .notFoundMessage = "No window with " + display + "-related title found in ",
        .keywordMessage = "Looked for titles containing: " + std::string(keyword) + "\n",
        .partialKey = displayName,
        .tracesWindowSearch = reading.tracesWindowSearch,
        .crop = reading.crop,
        .cropWidth = static_cast<double>(reading.cropWidth),
        .cropHeight = static_cast<double>(reading.cropHeight),
        .reportsPipeline = reading.narratesPipeline,
        .croppedMessage = croppedLine(reading),
        .robustRecognition = reading.robustRecognition,
        .recognition = reading.recognition,
        .guardsWindowWidth = reading.guardsWindowWidth,
    };
    dialer.notFoundLine = "Error: Could not find " + display + " window in any browser\n";
    dialer.monitoringLine = "Monitoring " + display + " status...\n";
    return dialer;
}

// One row per dialer, in DialerType order.
std::vector<Dialer> makeDialers() {
    Dialer zoom{.type = DialerType::zoom, .name = "zoom", .displayName = "Zoom", .ownApplication = ZOOM_BUNDLE_ID};
    zoom.monitoringLine = "Monitoring Zoom...\n";

    std::vector<Dialer> rows;
    rows.push_back(std::move(zoom));
    rows.push_back(browserDialer(DialerType::kixie, "kixie", "Kixie", "Kixie PowerCall",
                                 {.crop = CropRegion::topLeft, .cropWidth = 300, .cropHeight = 200,
                                  .recognition = kixieRecognitionSettings(), .narratesPipeline = true},
                                 openIn<KixieMonitor, &KixieMonitor::findKixieWindow>, classifyKixieText,
                                 &kKixieWords));
    rows.push_back(browserDialer(DialerType::ringcentral, "ringcentral", "RingCentral", "RingCentral for Google",
                                 {.crop = CropRegion::topBand, .cropWidth = 0, .cropHeight = 150,
                                  .recognition = ringCentralRecognitionSettings(platform::RecognitionLevel::accurate),
                                  .tracesWindowSearch = true, .robustRecognition = true},
                                 openIn<RingCentralMonitor, &RingCentralMonitor::findRingCentralWindow>));
    rows.push_back(browserDialer(DialerType::trellus, "trellus", "Trellus", "Trellus",
                                 {.crop = CropRegion::topRight, .cropWidth = 400, .cropHeight = 200,
                                  .recognition = trellusRecognitionSettings(), .narratesPipeline = true,
                                  .guardsWindowWidth = true},
                                 openIn<TrellusMonitor, &TrellusMonitor::findTrellusWindow>, classifyTrellusText,
                                 &kTrellusWords));
    return rows;
}

}  // namespace

std::span<const Dialer> dialers() {
    static const std::vector<Dialer> rows = makeDialers();
    return rows;
}

const Dialer& dialer(DialerType type) { return dialers()[static_cast<std::size_t>(type)]; }

std::optional<DialerType> dialerTypeFromRawValue(std::string_view name) {
    for (const Dialer& row : dialers()) {
        if (row.name == name) return row.type;
    }
    return std::nullopt;
}

}  // namespace linewarden

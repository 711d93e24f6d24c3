#include "corpus_cases.h"

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "linewarden/capture/CropGeometry.h"
#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/detect/KixieDetector.h"
#include "linewarden/detect/RingCentralDetector.h"
#include "linewarden/detect/TrellusDetector.h"
#include "linewarden/detect/ZoomDetector.h"

namespace corpus {

namespace {

std::optional<Dialer> dialerNamed(const std::string& name) {
    if (name == "kixie") return Dialer::kixie;
    if (name == "ringcentral") return Dialer::ringCentral;
    if (name == "trellus") return Dialer::trellus;
    if (name == "zoom") return Dialer::zoom;
    return std::nullopt;
}

std::string percentEncoded(const std::string& text) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

const char* dialerName(Dialer dialer) {
    switch (dialer) {
        case Dialer::kixie: return "kixie";
        case Dialer::ringCentral: return "ringcentral";
        case Dialer::trellus: return "trellus";
        case Dialer::zoom: return "zoom";
    }
    return "?";
}

std::optional<std::vector<Case>> loadCases(const std::string& corpusDirectory) {
    std::ifstream in(corpusDirectory + "/cases.json");
    if (!in) return std::nullopt;
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (!json.is_array()) return std::nullopt;
    std::vector<Case> cases;
    for (const auto& item : json) {
        Case c;
        c.name = item.value("name", "");
        c.page = item.value("page", "");
        if (item.contains("params") && item["params"].is_object()) {
            for (const auto& [key, value] : item["params"].items()) {
                if (value.is_string()) c.params.emplace_back(key, value.get<std::string>());
            }
        }
        const auto window = item.value("window", std::vector<int>{});
        const auto dialer = dialerNamed(item.value("dialer", ""));
        if (c.name.empty() || c.page.empty() || window.size() != 2 || !dialer) return std::nullopt;
        c.windowWidth = window[0];
        c.windowHeight = window[1];
        c.dialer = *dialer;
        c.inCall = item.value("inCall", false);
        c.busy = item.value("busy", false);
        c.moving = item.value("moving", false);
        c.knownMiss = item.value("knownMiss", false);
        cases.push_back(std::move(c));
    }
    return cases;
}

std::string pageUrl(const Case& c, const std::string& corpusDirectory) {
    std::string url = "file://" + corpusDirectory + "/" + c.page + "?title=" + percentEncoded(c.name);
    for (const auto& [key, value] : c.params) url += "&" + percentEncoded(key) + "=" + percentEncoded(value);
    return url;
}

Reading readCapture(const Case& c, const platform::Image& capture, platform::TextRecognizer& recognizer) {
    Reading reading;
    platform::RecognitionSettings settings;
    const int w = capture.width();
    const int h = capture.height();
    switch (c.dialer) {
        case Dialer::kixie:
            reading.region = linewarden::topRegion(w, h, 300, 200);
            settings = linewarden::kixieRecognitionSettings();
            break;
        case Dialer::ringCentral:
            reading.region = linewarden::topBand(w, h, 150);
            settings = linewarden::ringCentralRecognitionSettings(platform::RecognitionLevel::accurate);
            break;
        case Dialer::trellus:
            reading.region = linewarden::topRightRegion(w, h, 400, 200);
            settings = linewarden::trellusRecognitionSettings();
            break;
        case Dialer::zoom:
            reading.region = {0, 0, w, h};
            settings = linewarden::zoomRecognitionSettings();
            break;
    }
    const auto region = capture.cropped(reading.region);
    if (!region) return reading;
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = recognizer.recognize(*region, settings);
    reading.recognitionMilliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    reading.lines = linewarden::collectCandidates(outcome.observations, settings.maximumCandidates);

    platform::RecordingConsole console;
    switch (c.dialer) {
        case Dialer::kixie: reading.verdict = linewarden::detectKixieCallFromOCR(console, reading.lines); break;
        case Dialer::ringCentral:
            reading.verdict = linewarden::RingCentralTimerDetector().detectCallFromOCR(console, reading.lines);
            break;
        case Dialer::trellus: reading.verdict = linewarden::detectTrellusCallFromOCR(console, reading.lines); break;
        case Dialer::zoom: reading.verdict = linewarden::ZoomMarkerDetector().detectMarkers(console, reading.lines); break;
    }
    return reading;
}

}  // namespace corpus

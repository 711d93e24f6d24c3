#include "corpus_cases.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
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

std::string pageQuery(const Case& c) {
    std::string query = "title=" + percentEncoded(c.name);
    for (const auto& [key, value] : c.params) query += "&" + percentEncoded(key) + "=" + percentEncoded(value);
    return query;
}

std::string pageUrl(const Case& c, const std::string& corpusDirectory) {
    return "file://" + corpusDirectory + "/" + c.page + "?" + pageQuery(c);
}

namespace {

// Relative luminance of a grey level, and the level of a luminance, as contrast ratios count them.
double luminanceOf(int level) {
    const double v = level / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

int levelOf(double luminance) {
    const double v = luminance <= 0.0031308 ? luminance * 12.92 : 1.055 * std::pow(luminance, 1 / 2.4) - 0.055;
    return std::clamp(static_cast<int>(std::lround(v * 255)), 0, 255);
}

// The grey of the given contrast ratio to a grey background, darker or lighter than it.
int greyAtContrast(int background, double ratio, bool darker) {
    const double ground = luminanceOf(background);
    return levelOf(darker ? (ground + 0.05) / ratio - 0.05 : ratio * (ground + 0.05) - 0.05);
}

std::string hexGrey(int level) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", level, level, level);
    return text;
}

// A dialer's layout in the template: its window, its state in a call and idle.
struct Layout {
    Dialer dialer;
    std::vector<std::pair<int, int>> windows;   // taken in turn
    std::vector<std::string> calls;              // taken in turn
    std::string idle;
};

const std::vector<Layout>& layouts() {
    static const std::vector<Layout> kLayouts{
        {Dialer::kixie, {{420, 640}}, {"On Call"}, "Available"},
        {Dialer::ringCentral, {{800, 600}}, {"In call 0:23", "12:07", "1:02:33"}, "Ready"},
        {Dialer::trellus, {{900, 600}}, {"Active"}, "Idle"},
        {Dialer::zoom, {{640, 480}, {800, 600}, {1100, 720}}, {"00:07", "12:34", "01:05:09"}, "Signed in"},
    };
    return kLayouts;
}

const std::vector<std::string> kSansFonts{"DejaVu Sans", "Liberation Sans", "Noto Sans", "Nimbus Sans"};

Case styleCase(const Layout& layout, std::string name, int index, bool inCall,
               std::vector<std::pair<std::string, std::string>> params) {
    Case c;
    c.name = std::move(name);
    c.page = "styles.html";
    const auto& window = layout.windows[static_cast<std::size_t>(index) % layout.windows.size()];
    c.windowWidth = window.first;
    c.windowHeight = window.second;
    c.dialer = layout.dialer;
    c.inCall = inCall;
    const std::string state = inCall ? layout.calls[static_cast<std::size_t>(index) % layout.calls.size()] : layout.idle;
    params.insert(params.begin(), {{"dialer", dialerName(layout.dialer)}, {"state", state}});
    if (layout.dialer == Dialer::zoom && !inCall) params.emplace_back("heading", "Zoom Workplace");
    c.params = std::move(params);
    return c;
}

}  // namespace

namespace {

// A page of secondary text: the state in grey of the given contrast to a light or dark band.
Case secondaryCase(const Layout& layout, const char* kind, int index, bool inCall, int size, const std::string& font,
                   double contrast, bool dark, int band) {
    char name[96];
    std::snprintf(name, sizeof name, "%s-%s-%02d-%dpx-%.1f-%s", kind, dialerName(layout.dialer), index, size, contrast,
                  dark ? "dark" : "light");
    return styleCase(layout, name, index, inCall,
                     {{"look", "secondary"},
                      {"font", font},
                      {"size", std::to_string(size)},
                      {"c-page", dark ? "18181b" : "ffffff"},
                      {"c-band", hexGrey(band)},
                      {"c-strong", dark ? "ffffff" : "0b63ce"},
                      {"c-text", dark ? "d4d4d8" : "374151"},
                      {"c-state", hexGrey(greyAtContrast(band, contrast, !dark))},
                      {"c-line", dark ? "3f3f46" : "d4d4d8"}});
}

constexpr std::array<double, 4> kContrasts{3.0, 3.5, 4.0, 4.5};
// Bands of secondary text: very light greys and dark UI greys.
constexpr std::array<int, 2> kLightBands{0xf1, 0xe9};
constexpr std::array<int, 2> kDarkBands{0x2b, 0x1f};

}  // namespace

std::vector<Case> secondaryTextSweep() {
    constexpr std::array<int, 4> kSizes{9, 10, 11, 12};
    std::vector<Case> cases;
    for (const auto& layout : layouts()) {
        int index = 0;
        for (std::size_t size = 0; size < kSizes.size(); ++size) {
            for (std::size_t font = 0; font < kSansFonts.size(); ++font) {
                for (const bool dark : {false, true}) {
                    const bool inCall = (font + (dark ? 1 : 0)) % 2 == 0;
                    const int band = dark ? kDarkBands[size % 2] : kLightBands[size % 2];
                    cases.push_back(secondaryCase(layout, "grey", index++, inCall, kSizes[size], kSansFonts[font],
                                                  kContrasts[(size + font) % kContrasts.size()], dark, band));
                }
            }
        }
    }
    return cases;
}

// Generated pages read wrong today. "0:23" at 9 px in Nimbus Sans on a dark band: the colon's points
// are laid against the 2 and blur into it, and the engine reads "023" at every size and drawing.
const std::vector<std::string> kKnownMisses{"timer-ringcentral-15-9px-4.0-dark"};

std::vector<Case> secondaryTimerSweep() {
    static const std::vector<Layout> kTimers{
        {Dialer::ringCentral, {{800, 600}}, {"12:07", "0:23", "1:02:33", "10:45", "In call 3:18", "04:59", "2:10"}, "Ready"},
        {Dialer::zoom, {{640, 480}, {800, 600}, {1100, 720}}, {"00:07", "12:34", "01:05:09", "10:41", "03:28", "00:59"}, ""},
    };
    std::vector<Case> cases;
    for (const auto& layout : kTimers) {
        int index = 0;
        for (const int size : {9, 10}) {
            for (std::size_t font = 0; font < kSansFonts.size(); ++font) {
                for (const bool dark : {false, true}) {
                    for (std::size_t half = 0; half < 2; ++half) {
                        const int band = dark ? kDarkBands[half] : kLightBands[half];
                        const double contrast = kContrasts[(2 * half + font + static_cast<std::size_t>(size)) % kContrasts.size()];
                        cases.push_back(secondaryCase(layout, "timer", index++, true, size, kSansFonts[font], contrast, dark, band));
                        cases.back().knownMiss = std::find(kKnownMisses.begin(), kKnownMisses.end(), cases.back().name) !=
                                                 kKnownMisses.end();
                    }
                }
            }
        }
    }
    return cases;
}

std::vector<Case> highContrastSweep() {
    // The palettes of the desktops' and browsers' high-contrast modes: a page, its text, the
    // state's colour, the outline's colour, and a filled pill with the text colour on it.
    struct Palette {
        const char* name;
        const char* page;
        const char* text;
        const char* state;
        const char* line;
        const char* fill;
        const char* onFill;
    };
    static constexpr std::array<Palette, 6> kPalettes{{
        {"black-yellow", "000000", "ffffff", "ffff00", "ffffff", "ffff00", "000000"},
        {"black-green", "000000", "ffffff", "3ff23f", "1aebff", "1aebff", "000000"},
        {"aquatic", "202020", "ffffff", "75e9fc", "ffffff", "8ee3f0", "263b50"},
        {"white-black", "ffffff", "000000", "000000", "000000", "37006e", "ffffff"},
        {"white-blue", "ffffff", "000000", "0000ff", "0000ff", "0000ff", "ffffff"},
        {"desert", "fffaef", "3d3d3d", "1c5e75", "202020", "903909", "fff5e3"},
    }};
    std::vector<Case> cases;
    for (const auto& layout : layouts()) {
        int index = 0;
        for (const auto& palette : kPalettes) {
            for (const bool outline : {true, false}) {
                for (const bool inCall : {true, false}) {
                    const std::string name = std::string("contrast-") + dialerName(layout.dialer) + "-" + palette.name +
                                             (outline ? "-outline-" : "-filled-") + (inCall ? "call" : "idle");
                    cases.push_back(styleCase(layout, name, index, inCall,
                                              {{"look", outline ? "outline" : "filled"},
                                               {"font", kSansFonts[static_cast<std::size_t>(index) % kSansFonts.size()]},
                                               {"c-page", palette.page},
                                               {"c-band", palette.page},
                                               {"c-strong", palette.text},
                                               {"c-text", palette.text},
                                               {"c-state", outline ? palette.state : palette.onFill},
                                               {"c-line", palette.line},
                                               {"c-fill", palette.fill}}));
                    ++index;
                }
            }
        }
    }
    return cases;
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

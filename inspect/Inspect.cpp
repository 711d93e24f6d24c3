#include "inspect/Inspect.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <variant>

#include "inspect/Pictures.h"
#include "linewarden/app/Applications.h"
#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/capture/ReadingMemory.h"
#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/capture/WindowCapture.h"
#include "linewarden/detect/Classification.h"
#include "linewarden/detect/ZoomDetector.h"
#include "linewarden/monitors/BrowserMonitor.h"
#include "linewarden/monitors/ZoomWindows.h"
#include "linewarden/text/Format.h"
#include "linewarden/text/UnicodeText.h"
#include "linewarden/window/AccessibilityHelper.h"

namespace inspect {

namespace {

using linewarden::Classification;
using linewarden::DialerType;

constexpr std::string_view kProgram = "linewarden-inspect: ";

// Why the inspection stopped short of a verdict: the one line for standard error.
struct Failure {
    std::string line;
};

// What one scan saw of the chosen window.
struct Sighting {
    std::string application;   // the browser, or the application that owns the Zoom window
    std::optional<std::string> title;
    platform::WindowNumber number = 0;
    platform::Image screenshot;
    platform::PixelRect region;
    platform::Image regionImage;
    std::vector<platform::TextObservation> observations;   // as the classifier got them
    platform::Image engineInput;
    Classification classification;
};

// The region's text as the monitor recognises it, keeping what the recogniser said of each
// observation and the picture its engine read.
struct Reading {
    std::vector<platform::TextObservation> observations;
    std::vector<std::string> lines;
    platform::Image engineInput;
};

Reading readText(platform::Platform& platform, const platform::Image& image,
                 const platform::RecognitionSettings& settings) {
    std::optional<platform::Image> engineInput;
    const platform::RecognitionOutcome outcome =
        platform.textRecognizer.recognizeShowingInput(image, settings, engineInput);
    Reading reading{outcome.observations, linewarden::collectCandidates(outcome.observations, settings.maximumCandidates),
                    engineInput ? std::move(*engineInput) : image};
    const auto kept = static_cast<std::size_t>(std::max(settings.maximumCandidates, 0));
    for (auto& observation : reading.observations) {
        if (observation.candidates.size() > kept) observation.candidates.resize(kept);
    }
    return reading;
}

// The pixels of a capture; a memory that remembers nothing never stands in for one.
std::optional<platform::Image> capturedImage(std::optional<linewarden::Reading> capture) {
    if (!capture || !capture->image) return std::nullopt;
    return std::move(capture->image);
}

std::optional<DialerType> parseArguments(const std::vector<std::string>& args, std::filesystem::path& out,
                                         std::string& problem) {
    std::optional<std::string> dialer;
    std::optional<std::string> directory;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.starts_with("--dialer=") && !dialer) {
            dialer = arg.substr(9);
        } else if (arg.starts_with("--out=") && !directory && arg.size() > 6) {
            directory = arg.substr(6);
        } else {
            dialer.reset();
            break;
        }
    }
    if (!dialer || !directory) {
        problem = "usage: linewarden-inspect --dialer=<zoom|kixie|ringcentral|trellus> --out=DIR";
        return std::nullopt;
    }
    const auto type = linewarden::dialerTypeFromRawValue(*dialer);
    if (!type) problem = "unknown dialer '" + *dialer + "': use zoom, kixie, ringcentral or trellus";
    out = *directory;
    return type;
}

std::string describeBox(const std::optional<platform::PixelRect>& box) {
    if (!box) return "-";
    return std::to_string(box->x) + "," + std::to_string(box->y) + " " + std::to_string(box->width) + "x" +
           std::to_string(box->height);
}

// Built by appending: GCC 12 at -O3 reports a false -Wrestrict on "literal" + temporary.
std::string quoted(const std::string& text) {
    std::string result(1, '"');
    result += linewarden::toValidUtf8(text);
    result += '"';
    return result;
}

void printSighting(platform::Console& console, const Sighting& seen) {
    console.out("window: " + seen.application + ", " + (seen.title ? quoted(*seen.title) : "no title") +
                ", number " + std::to_string(seen.number) + ", " + std::to_string(seen.screenshot.width()) + "x" +
                std::to_string(seen.screenshot.height()) + " pixels\n");
    for (const auto& observation : seen.observations) {
        std::string texts;
        for (const auto& candidate : observation.candidates) texts += (texts.empty() ? "" : " or ") + quoted(candidate);
        console.out("text: " + (texts.empty() ? std::string("(no reading)") : texts) + " confidence " +
                    (observation.confidence ? linewarden::formatFixed2(*observation.confidence) : std::string("-")) +
                    " box " + describeBox(observation.box) + "\n");
    }
    const Classification& decided = seen.classification;
    console.out("rule: " + (decided.rule.empty() ? std::string("no rule matched") : decided.rule) + "\n");
    console.out(decided.callActive ? "verdict: call\n" : "verdict: no call\n");
    console.flushOut();
}

std::optional<Failure> writePictures(const Sighting& seen, const std::filesystem::path& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return Failure{"cannot create " + directory.string() + ": " + error.message()};
    const std::pair<const char*, platform::Image> pictures[] = {
        {"window.png", withRegionMarked(seen.screenshot, seen.region)},
        {"region.png", seen.regionImage},
        {"recognizer-input.png", seen.engineInput},
    };
    for (const auto& [name, image] : pictures) {
        if (!writePngFile(image, directory / name)) return Failure{"cannot write " + (directory / name).string()};
    }
    return std::nullopt;
}

// --- browser dialers ---------------------------------------------------------------------------

std::variant<Sighting, Failure> inspectBrowserDialer(platform::Platform& quiet, const linewarden::Dialer& dialer) {
    std::unique_ptr<linewarden::BrowserMonitor> monitor;
    std::string_view browser;
    for (const auto& entry : linewarden::kBrowserSearchList) {
        if ((monitor = dialer.openInBrowser(quiet, std::string(entry.bundleId)))) {
            browser = entry.displayName;
            break;
        }
    }
    if (!monitor) return Failure{"no " + std::string(dialer.titleKeyword) + " window in Brave, Chrome or Edge"};
    if (!monitor->windowID()) {
        return Failure{"found " + quoted(monitor->windowTitle().value_or("")) + " in " + std::string(browser) +
                       " but not its window number"};
    }
    const platform::WindowNumber number = *monitor->windowID();
    linewarden::ReadingMemory fresh;   // remembers nothing, so the window is really captured
    auto screenshot = capturedImage(linewarden::captureWindowByNumber(quiet, number, fresh));
    const platform::PixelRect rect =
        screenshot ? monitor->regionOf(screenshot->width(), screenshot->height()) : platform::PixelRect{};
    auto region = screenshot ? screenshot->cropped(rect) : std::nullopt;
    if (!region) return Failure{"capturing window " + std::to_string(number) + " failed"};

    Reading reading = readText(quiet, *region, monitor->recognitionSettings());
    Classification classification = monitor->classifyText(reading.lines);
    return Sighting{std::string(browser),         monitor->windowTitle(),      number,
                    std::move(*screenshot),       rect,                        std::move(*region),
                    std::move(reading.observations), std::move(reading.engineInput), std::move(classification)};
}

// --- Zoom ----------------------------------------------------------------------------------------

std::optional<std::string> listedTitle(platform::Platform& platform, platform::WindowNumber number) {
    const auto entries = platform.windowList.onScreenWindows();
    if (!entries) return std::nullopt;
    for (const auto& entry : *entries) {
        if (entry.windowNumber == number) return entry.windowName;
    }
    return std::nullopt;
}

// Zoom's windows smallest first, each read whole until one shows a call marker; that window is
// the one shown, or the first that could be captured when none does.
std::variant<Sighting, Failure> inspectZoom(platform::Platform& quiet, const linewarden::Dialer& dialer) {
    const std::string bundleId(dialer.ownApplication);
    if (quiet.workspace.runningApplications(bundleId).empty()) return Failure{"Zoom is not running"};
    const auto windows = linewarden::listZoomWindows(quiet, bundleId);
    if (windows.empty()) return Failure{"no Zoom window is on screen"};

    static const platform::RecognitionSettings settings = linewarden::zoomRecognitionSettings();
    linewarden::ZoomMarkerDetector markers;
    std::optional<Sighting> shown;
    for (const auto& window : windows) {
        linewarden::ReadingMemory fresh;
        auto image = capturedImage(linewarden::captureListedWindow(quiet, window, fresh));
        if (!image || !image->readable()) continue;
        Reading reading = readText(quiet, *image, settings);
        Classification classification = markers.classify(quiet.console, reading.lines);
        if (shown && !classification.callActive) continue;
        const platform::PixelRect whole{0, 0, image->width(), image->height()};
        shown = Sighting{window.owningApplication ? window.owningApplication->applicationName : std::string("Zoom"),
                         std::nullopt,
                         window.windowID,
                         *image,
                         whole,
                         *image,
                         std::move(reading.observations),
                         std::move(reading.engineInput),
                         std::move(classification)};
        if (shown->classification.callActive) break;
    }
    if (!shown) return Failure{"capturing the Zoom windows failed"};
    shown->title = listedTitle(quiet, shown->number);
    return std::move(*shown);
}

}  // namespace

int runInspect(const std::vector<std::string>& args, platform::Platform& platform) {
    auto& console = platform.console;
    const auto fail = [&](const std::string& line) {
        console.err(std::string(kProgram) + line + "\n");
        return 1;
    };

    std::filesystem::path directory;
    std::string problem;
    const auto dialer = parseArguments(args, directory, problem);
    if (!dialer) return fail(problem);

    // The monitor's own steps write their diagnostics; here they would only bury the one line
    // that says what went wrong.
    platform::RecordingConsole discarded;
    platform::Platform quiet{discarded,
                             platform.workspace,
                             platform.accessibility,
                             platform.windowList,
                             platform.screenCapture,
                             platform.textRecognizer,
                             platform.clock,
                             platform.accessProblem};

    const bool trusted = linewarden::AccessibilityHelper::checkPermissions(platform);
    if (!trusted || !platform.screenCapture.preflightAccess()) {
        if (!platform.accessProblem.empty()) {
            console.err(platform.accessProblem);
            return 1;
        }
        return fail(trusted ? "screen capture is not allowed" : "accessibility access is not allowed");
    }

    const linewarden::Dialer& row = linewarden::dialer(*dialer);
    std::variant<Sighting, Failure> result =
        row.ownApplication.empty() ? inspectBrowserDialer(quiet, row) : inspectZoom(quiet, row);
    if (const auto* failure = std::get_if<Failure>(&result)) return fail(failure->line);

    const Sighting& seen = std::get<Sighting>(result);
    if (const auto failure = writePictures(seen, directory)) return fail(failure->line);
    printSighting(console, seen);
    return 0;
}

}  // namespace inspect

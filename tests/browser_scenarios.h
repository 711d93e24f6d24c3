#pragma once

// Shared pieces of the browser monitor tests: a scripted desktop built from inline JSON that a
// test drives monitor by monitor, and the lines every browser scan or search writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ScriptedDesktop.h"
#include "support/TestSupport.h"

namespace browser_test {

// What a step wrote on standard output and standard error.
struct Streams {
    std::string out;
    std::string err;
    bool operator==(const Streams&) const = default;
};
inline Streams streams(std::string out, std::string err) { return {std::move(out), std::move(err)}; }
inline void PrintTo(const Streams& s, std::ostream* os) {
    *os << "\nstdout:\n" << s.out << "stderr:\n" << s.err;
}

// A scripted desktop whose console keeps what was written.
struct Desk {
    explicit Desk(std::string_view json) : desktop(test_support::loadScenario(json), console) {}
    platform::Platform& platform() { return desktop.platform(); }
    // Moves the virtual clock on, as the driver's pause does.
    void pause(double seconds) {
        platform().clock.sleepFor(std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(seconds)));
    }
    // What was written since the last call, both streams.
    Streams take() {
        Streams written{console.standardOutput(), console.standardError()};
        console.clear();
        return written;
    }
    long count(std::string_view call) const {
        return std::count(desktop.calls().begin(), desktop.calls().end(), std::string(call));
    }
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop;
};

inline std::string notRunning(std::string_view bundleId) {
    return "Browser not running (Bundle ID: " + std::string(bundleId) + ")\n";
}

inline std::string timing(std::string_view milliseconds) {
    return "DEBUG: scanElements execution time: " + std::string(milliseconds) + "ms\n";
}

inline const std::string kNoWindowNumber = "[Scan] No window ID available for screenshot detection\n";
inline const std::string kProbeFailed = "DEBUG: Accessibility health check failed, may need to refresh references\n";

// The entry and exit lines of the two-state status machine around what it writes in between.
inline std::string statusMachine(bool verdict, bool dialing, std::string_view previous, std::string_view middle,
                                 bool result) {
    return std::string("[handleStatusChange] Called with isCallActive: ") + (verdict ? "true" : "false") +
           ", currentDialingState: " + (dialing ? "true" : "false") + ", previousStatus: " + std::string(previous) +
           "\n" + std::string(middle) + "[handleStatusChange] Returning: " + (result ? "true" : "false") + "\n";
}

// The "[OCR] Detected" listing the Kixie and Trellus classifiers write before their verdict.
inline std::string detectedListing(const std::vector<std::string>& lines) {
    if (lines.empty()) return "";
    std::string text = "[OCR] Detected " + std::to_string(lines.size()) + " text elements:\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += "[OCR]   [" + std::to_string(i + 1) + "] \"" + lines[i] + "\"\n";
    }
    return text;
}

// The narrated pipeline up to the capture, and up to the screenshot line.
inline std::string attempting(std::string_view number) {
    return "[detectCallViaScreenshot] \U0001F4F8 Attempting to capture window " + std::string(number) + "...\n";
}
inline std::string captured(std::string_view number, std::string_view size) {
    return attempting(number) + "[detectCallViaScreenshot] \u2705 Screenshot captured, size: " + std::string(size) +
           "\n";
}

inline std::string ocrReturned(std::size_t count) {
    return "[detectCallViaScreenshot] OCR returned " + std::to_string(count) + " text elements\n";
}

inline const std::string kCaptureFailed = "[detectCallViaScreenshot] \u274C Failed to capture screenshot\n";
// The line of a scan that finds its window gone and lets it go.
inline std::string windowGone(std::string_view number) {
    return "[Scan] Window " + std::string(number) +
           " is gone (closed, its browser quit, or the number names another window now); looking for the dialer's "
           "window again\n";
}
inline const std::string kCropFailed = "[detectCallViaScreenshot] \u274C Failed to crop image\n";

}  // namespace browser_test

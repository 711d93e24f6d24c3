#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "linewarden/detect/KixieDetector.h"
#include "linewarden/detect/RingCentralDetector.h"
#include "linewarden/detect/TrellusDetector.h"
#include "linewarden/detect/ZoomDetector.h"
#include "platform/Console.h"

// One classification of a typical recognised list per dialer. The lists hold no call marker, so
// every line goes through every rule (the common case between calls, and the slowest).

namespace {

const std::vector<std::string> kKixieIdle = {"Kixie", "PowerCall", "Available", "Do Not Disturb", "Dialpad", "Contacts"};

const std::vector<std::string> kRingCentralIdle = {
    "RingCentral",  "RingCentraI",  "RlngCentral",  "Ringing",     "Rlnging",    "Ringlng",
    "Jane Doe",     "Jane D0e",     "Jane Doc",     "Mute  Keypad", "Mute Keypad", "Mute  Keyped",
    "(555) 010-2233", "(555) 010 2233", "555 010-2233",
};

const std::vector<std::string> kRingCentralInCall = {"RingCentral", "RingCentraI", "RlngCentral", "Jane Doe", "Jane D0e",
                                                      "Jane Doc",    "12:34",       "12:3",        "1234"};

const std::vector<std::string> kTrellusIdle = {"Trellus", "Idle", "Settings", "Queue"};

std::vector<std::string> zoomWindowText(bool withNonAscii) {
    std::vector<std::string> lines = {"Zoom Workplace", "Home", "Team Chat", "Meetings", "Contacts", "Whiteboards",
                                      "New meeting", "Join", "Schedule", "Share screen", "Today", "No upcoming meetings",
                                      "Add a calendar", "Search (Ctrl+F)", "Recent", "Starred", "Channels", "Apps",
                                      "Mail", "Calendar", "Notes", "Docs", "Clips", "More", "Settings", " ",
                                      "Jane Doe", "Sales team standup", "Q3 pipeline review", "Profile"};
    if (withNonAscii) {
        lines[26] = "Ren\u00E9e M\u00FCller";
        lines[27] = "R\u00E9union d'\u00E9quipe \u2013 ventes";
        lines[28] = "\u4F1A\u8BAE\u5BA4 3";
    }
    return lines;
}

void BM_KixieClassify(benchmark::State& state) {
    platform::RecordingConsole console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(linewarden::detectKixieCallFromOCR(console, kKixieIdle));
        console.clear();
    }
}
BENCHMARK(BM_KixieClassify);

void BM_RingCentralClassify(benchmark::State& state) {
    linewarden::RingCentralTimerDetector detector;
    platform::RecordingConsole console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detectCallFromOCR(console, kRingCentralIdle));
        console.clear();
    }
}
BENCHMARK(BM_RingCentralClassify);

void BM_RingCentralClassifyInCall(benchmark::State& state) {
    linewarden::RingCentralTimerDetector detector;
    platform::RecordingConsole console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detectCallFromOCR(console, kRingCentralInCall));
        console.clear();
    }
}
BENCHMARK(BM_RingCentralClassifyInCall);

// Compiling the four patterns, what a detector made afresh for every scan would pay.
void BM_RingCentralDetectorCreation(benchmark::State& state) {
    for (auto _ : state) {
        linewarden::RingCentralTimerDetector detector;
        benchmark::DoNotOptimize(&detector);
    }
}
BENCHMARK(BM_RingCentralDetectorCreation);

void BM_TrellusClassify(benchmark::State& state) {
    platform::RecordingConsole console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(linewarden::detectTrellusCallFromOCR(console, kTrellusIdle));
        console.clear();
    }
}
BENCHMARK(BM_TrellusClassify);

void BM_ZoomDetectMarkers(benchmark::State& state) {
    const std::vector<std::string> lines = zoomWindowText(state.range(0) != 0);
    linewarden::ZoomMarkerDetector detector;
    platform::RecordingConsole console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detectMarkers(console, lines));
        console.clear();
    }
}
BENCHMARK(BM_ZoomDetectMarkers)->ArgName("nonAscii")->Arg(0)->Arg(1);

}  // namespace

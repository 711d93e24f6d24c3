#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "linewarden/capture/RecognitionProfiles.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "linewarden/monitors/RingCentralMonitor.h"
#include "linewarden/monitors/TrellusMonitor.h"
#include "platform/ScriptedDesktop.h"

// One scan of a browser monitor whose window and number are known: capture, crop, recognition,
// classification and status machine, all on the scripted desktop. The figure includes the
// scripted desktop's own work (looking up the window, building the described image, cutting it
// and handing back its text); the *Baseline benchmarks make exactly those platform calls alone,
// so the core's cost per scan is the difference.

namespace {

// The Kixie tab in Chrome, idle: three labels in the 300x200 corner and more text elsewhere.
constexpr std::string_view kKixie = R"({
  "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7,
    "windows": [{"number": 4711, "title": "Kixie PowerCall - Dashboard",
      "text": [{"text": "Kixie", "box": [10, 10, 80, 24]}, {"text": "Available", "box": [10, 40, 120, 24]},
               {"text": "Do Not Disturb", "box": [10, 70, 160, 24]}, {"text": "Recent calls", "box": [10, 300, 160, 24]},
               {"text": "Contacts", "box": [400, 40, 120, 24]}]}]}]})";

// The RingCentral tab in a call: three readings of each line in the top band.
constexpr std::string_view kRingCentral = R"({
  "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7,
    "windows": [{"number": 4711, "title": "RingCentral for Google",
      "text": [{"candidates": ["RingCentral", "RingCentraI", "RlngCentral"], "box": [10, 10, 200, 30]},
               {"candidates": ["Jane Doe", "Jane D0e", "Jane Doc"], "box": [10, 50, 200, 30]},
               {"candidates": ["12:34", "12:3", "1234"], "box": [300, 50, 100, 30]},
               {"text": "Dialpad", "box": [10, 400, 100, 30]}]}]}]})";

// The Trellus tab, idle: the state word in the top-right corner.
constexpr std::string_view kTrellus = R"({
  "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7,
    "windows": [{"number": 4711, "title": "Trellus",
      "text": [{"text": "Trellus", "box": [10, 10, 100, 30]}, {"text": "Queue", "box": [450, 20, 100, 30]},
               {"text": "Idle", "box": [650, 20, 80, 30]}]}]}]})";

platform::Scenario load(std::string_view json) {
    std::string error;
    auto scenario = platform::Scenario::fromJson(json, error);
    if (!scenario) {
        std::fprintf(stderr, "scenario does not load: %s\n", error.c_str());
        std::abort();
    }
    return *scenario;
}

template <class Monitor, bool (Monitor::*find)()>
void scan(benchmark::State& state, std::string_view json) {
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(load(json), console);
    Monitor monitor(desktop.platform(), "com.google.Chrome");
    if (!(monitor.*find)()) state.SkipWithError("window not found");
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.scanElements(false));
        console.clear();
        desktop.clearCalls();
    }
}

void BM_KixieScan(benchmark::State& state) {
    scan<linewarden::KixieMonitor, &linewarden::KixieMonitor::findKixieWindow>(state, kKixie);
}
void BM_RingCentralScan(benchmark::State& state) {
    scan<linewarden::RingCentralMonitor, &linewarden::RingCentralMonitor::findRingCentralWindow>(state, kRingCentral);
}
void BM_TrellusScan(benchmark::State& state) {
    scan<linewarden::TrellusMonitor, &linewarden::TrellusMonitor::findTrellusWindow>(state, kTrellus);
}

// The platform calls of one scan and nothing else: shareable windows, the capture, the crop the
// scan makes, and the recognition with the monitor's settings.
void baseline(benchmark::State& state, std::string_view json, platform::PixelRect region,
              const platform::RecognitionSettings& settings) {
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(load(json), console);
    auto& p = desktop.platform();
    for (auto _ : state) {
        auto windows = p.screenCapture.shareableWindows(false, true);
        auto image = p.screenCapture.captureWindow(windows->front(), 800, 600);
        auto cropped = image->cropped(region);
        benchmark::DoNotOptimize(p.textRecognizer.recognize(*cropped, settings));
        desktop.clearCalls();
    }
}

void BM_KixieBaseline(benchmark::State& state) {
    baseline(state, kKixie, {0, 0, 300, 200}, linewarden::kixieRecognitionSettings());
}
void BM_RingCentralBaseline(benchmark::State& state) {
    baseline(state, kRingCentral, {0, 0, 800, 150},
             linewarden::ringCentralRecognitionSettings(platform::RecognitionLevel::accurate));
}
void BM_TrellusBaseline(benchmark::State& state) {
    baseline(state, kTrellus, {400, 0, 400, 200}, linewarden::trellusRecognitionSettings());
}

}  // namespace

BENCHMARK(BM_KixieScan);
BENCHMARK(BM_KixieBaseline);
BENCHMARK(BM_RingCentralScan);
BENCHMARK(BM_RingCentralBaseline);
BENCHMARK(BM_TrellusScan);
BENCHMARK(BM_TrellusBaseline);

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "linewarden/monitors/ZoomMonitor.h"
#include "platform/ScriptedDesktop.h"

// One Zoom scan on the scripted desktop: three Zoom windows of about thirty recognised lines
// each, none with a call marker, so every window is listed, captured, recognised and every line
// goes through every rule (the common case between calls, and the slowest). The baseline makes
// the same desktop calls without the monitor, so the difference is the monitor's own cost.

namespace {

class DiscardingConsole final : public platform::Console {
public:
    void out(std::string_view) override {}
    void flushOut() override {}
    void err(std::string_view) override {}
};

std::vector<std::string> windowText(int window, bool withNonAscii) {
    std::vector<std::string> lines = {"Zoom Workplace", "Home", "Team Chat", "Meetings", "Contacts", "Whiteboards",
                                      "New meeting", "Join", "Schedule", "Share screen", "Today", "No upcoming meetings",
                                      "Add a calendar", "Search (Ctrl+F)", "Recent", "Starred", "Channels", "Apps",
                                      "Mail", "Calendar", "Notes", "Docs", "Clips", "More", "Settings", " ",
                                      "Jane Doe", "Sales team standup", "Q3 pipeline review", "Profile"};
    lines.push_back("Window " + std::to_string(window));
    if (withNonAscii) {
        lines[26] = "Ren\u00E9e M\u00FCller";
        lines[27] = "R\u00E9union d'\u00E9quipe \u2013 ventes";
        lines[28] = "\u4F1A\u8BAE\u5BA4 3";
    }
    return lines;
}

std::optional<platform::Scenario> zoomScenario(bool withNonAscii) {
    nlohmann::json windows = nlohmann::json::array();
    const int sizes[3][2] = {{1280, 800}, {400, 300}, {900, 700}};
    for (int i = 0; i < 3; ++i) {
        windows.push_back({{"number", 100 + i},
                           {"frame", {0, 0, sizes[i][0], sizes[i][1]}},
                           {"text", windowText(i, withNonAscii)}});
    }
    const nlohmann::json scenario = {
        {"applications", {{{"bundleId", "us.zoom.xos"}, {"name", "zoom.us"}, {"pid", 500}, {"windows", windows}}}}};
    std::string error;
    return platform::Scenario::fromJson(scenario.dump(), error);
}

void runScans(benchmark::State& state, bool withNonAscii) {
    auto scenario = zoomScenario(withNonAscii);
    if (!scenario) return state.SkipWithError("the scenario does not load");
    DiscardingConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    linewarden::ZoomMonitor monitor(desktop.platform());
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.scanElements(false));
        desktop.clearCalls();
    }
}

void BM_ZoomScanThreeWindowsAscii(benchmark::State& state) { runScans(state, false); }
BENCHMARK(BM_ZoomScanThreeWindowsAscii)->Unit(benchmark::kMicrosecond);

void BM_ZoomScanThreeWindowsNonAscii(benchmark::State& state) { runScans(state, true); }
BENCHMARK(BM_ZoomScanThreeWindowsNonAscii)->Unit(benchmark::kMicrosecond);

// The scripted desktop's share: the calls one scan makes, answered but not looked at.
void BM_ZoomScanDesktopCallsOnly(benchmark::State& state) {
    auto scenario = zoomScenario(false);
    if (!scenario) return state.SkipWithError("the scenario does not load");
    DiscardingConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    auto& p = desktop.platform();
    platform::RecognitionSettings settings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.workspace.runningApplications("us.zoom.xos"));
        const auto windows = p.screenCapture.shareableWindows(false, true);
        for (const auto& window : *windows) {
            const auto image = p.screenCapture.captureWindow(window, static_cast<int>(window.frame.width * 2),
                                                             static_cast<int>(window.frame.height * 2));
            benchmark::DoNotOptimize(p.textRecognizer.recognize(*image, settings));
        }
        desktop.clearCalls();
    }
}
BENCHMARK(BM_ZoomScanDesktopCallsOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

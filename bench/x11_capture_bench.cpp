// The X11 backend on a private Xvfb: capturing a 1000x700 window at twice its size (what a
// browser scan does), its parts, and listing windows. Skips with a message when no X server
// can be started.

#include <benchmark/benchmark.h>

#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"
#include "platform/linux/PixelConversion.h"
#include "support/DesktopSession.h"

namespace {

using namespace desktop_test;

constexpr int kWidth = 1000;
constexpr int kHeight = 700;

// One desktop for all benchmarks: a server, a 1000x700 window with a pattern, 20 other windows.
struct Desktop {
    std::unique_ptr<XvfbServer> server = XvfbServer::start();
    std::unique_ptr<TestClient> client;
    platform::RecordingConsole console;
    std::unique_ptr<platform::LinuxDesktop> desktop;
    xcb_window_t window = XCB_WINDOW_NONE;

    Desktop() {
        if (!server) return;
        client = std::make_unique<TestClient>(server->display());
        for (int i = 0; i < 20; ++i) {
            client->createWindow({.x = 10 * i, .y = 10 * i, .width = 300, .height = 200, .className = "XTerm",
                                  .netWmName = "shell " + std::to_string(i), .pid = 6000000u + i});
        }
        window = client->createWindow({.width = kWidth, .height = kHeight, .className = "Brave-browser",
                                       .netWmName = "Kixie PowerCall", .pid = 6000100});
        const std::uint32_t colours[4] = {0xFFFFFF, 0x202020, 0x3366CC, 0xF0F0F0};
        client->setQuadrants(window, kWidth, kHeight, colours);
        client->waitShown(window, false);
        desktop = platform::LinuxDesktop::open(console, linewarden::knownApplications(), server->display());
    }
};

Desktop* desktopOrSkip(benchmark::State& state) {
    static Desktop shared;
    if (!shared.desktop) {
        state.SkipWithError("no X server could be started (is Xvfb installed?)");
        return nullptr;
    }
    return &shared;
}

void BM_CaptureAtTwiceTheSize(benchmark::State& state) {
    Desktop* d = desktopOrSkip(state);
    if (!d) return;
    auto& capture = d->desktop->platform().screenCapture;
    for (auto _ : state) {
        auto image = capture.captureWindow({d->window, {}, {}}, 2 * kWidth, 2 * kHeight);
        if (!image) state.SkipWithError("capture failed");
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_CaptureAtTwiceTheSize)->Unit(benchmark::kMillisecond);

void BM_CaptureAtItsOwnSize(benchmark::State& state) {
    Desktop* d = desktopOrSkip(state);
    if (!d) return;
    auto& capture = d->desktop->platform().screenCapture;
    for (auto _ : state) benchmark::DoNotOptimize(capture.captureWindow({d->window, {}, {}}, kWidth, kHeight));
}
BENCHMARK(BM_CaptureAtItsOwnSize)->Unit(benchmark::kMillisecond);

void BM_ConvertPixels(benchmark::State& state) {
    const std::vector<std::uint8_t> data(static_cast<std::size_t>(kWidth) * kHeight * 4, 0x5A);
    const platform::x11::PixelLayout layout{32, false, 0xFF0000, 0x00FF00, 0x0000FF, kWidth * 4};
    for (auto _ : state) benchmark::DoNotOptimize(platform::x11::convertToRgba(data, kWidth, kHeight, layout));
}
BENCHMARK(BM_ConvertPixels)->Unit(benchmark::kMillisecond);

void BM_DoubleTheSize(benchmark::State& state) {
    const std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kWidth) * kHeight * 4, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::x11::resizeRgba(rgba, kWidth, kHeight, 2 * kWidth, 2 * kHeight));
    }
}
BENCHMARK(BM_DoubleTheSize)->Unit(benchmark::kMillisecond);

void BM_WindowList(benchmark::State& state) {
    Desktop* d = desktopOrSkip(state);
    if (!d) return;
    for (auto _ : state) benchmark::DoNotOptimize(d->desktop->platform().windowList.onScreenWindows());
}
BENCHMARK(BM_WindowList)->Unit(benchmark::kMicrosecond);

void BM_ApplicationWindowsAndTitles(benchmark::State& state) {
    Desktop* d = desktopOrSkip(state);
    if (!d) return;
    auto& ax = d->desktop->platform().accessibility;
    const auto application = ax.createApplication(6000100);
    for (auto _ : state) {
        const auto windows = ax.copyAttribute(application, platform::kAXWindowsAttribute);
        if (!windows.ok()) state.SkipWithError("no windows");
        for (const auto& window : *windows.elements()) {
            benchmark::DoNotOptimize(ax.copyAttribute(window, platform::kAXTitleAttribute));
        }
    }
}
BENCHMARK(BM_ApplicationWindowsAndTitles)->Unit(benchmark::kMicrosecond);

}  // namespace

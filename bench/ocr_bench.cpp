// Text recognition with the Tesseract backend on typical regions, per monitor profile: a Kixie
// crop (300x200), a RingCentral band (1600x150), a Trellus corner (400x200), a small Zoom call
// window (480x360 points, 960x720 pixels) and a large Zoom meeting window (1280x800 points,
// 2560x1600 pixels); and the start of an engine. Memory: the process's peak resident size and
// what one more engine adds.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "linewarden/capture/RecognitionProfiles.h"
#include "platform/linux/ocr/ImageFile.h"
#include "platform/linux/ocr/TesseractRecognizer.h"

namespace {

using namespace platform;

const std::filesystem::path kFixtures =
    std::filesystem::path(LINEWARDEN_CORPUS_DIR) / "fixtures";

Image fixture(const std::string& name) { return tess::readImageFile((kFixtures / name).string()).value_or(Image()); }

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void recognise(benchmark::State& state, const std::string& file, const RecognitionSettings& settings) {
    const Image image = fixture(file);
    if (image.width() == 0) {
        state.SkipWithError("fixture missing");
        return;
    }
    // Nothing remembered: every iteration is a first reading of the image.
    tess::TesseractRecognizer recognizer(0);
    std::size_t lines = recognizer.recognize(image, settings).observations.size();   // starts the engine
    for (auto _ : state) {
        auto outcome = recognizer.recognize(image, settings);
        lines = outcome.observations.size();
        benchmark::DoNotOptimize(outcome);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["peak_MB"] = peakResidentMegabytes();
}

// The same image again with the engine's answers remembered: what a screen that comes back costs.
void recogniseAgain(benchmark::State& state, const std::string& file, const RecognitionSettings& settings) {
    const Image image = fixture(file);
    if (image.width() == 0) {
        state.SkipWithError("fixture missing");
        return;
    }
    tess::TesseractRecognizer recognizer;
    recognizer.recognize(image, settings);
    for (auto _ : state) benchmark::DoNotOptimize(recognizer.recognize(image, settings));
}

void BM_Recognise_Kixie(benchmark::State& state) {
    recognise(state, "kixie-on-call-dark.png", linewarden::kixieRecognitionSettings());
}
void BM_Recognise_Trellus(benchmark::State& state) {
    recognise(state, "trellus-active-caps.png", linewarden::trellusRecognitionSettings());
}
void BM_Recognise_RingCentralAccurate(benchmark::State& state) {
    recognise(state, "ringcentral-timer-band.png", linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate));
}
void BM_Recognise_RingCentralFast(benchmark::State& state) {
    recognise(state, "ringcentral-timer-band.png", linewarden::ringCentralRecognitionSettings(RecognitionLevel::fast));
}
void BM_Recognise_ZoomSmallWindow(benchmark::State& state) {
    recognise(state, "zoom-banner-light.png", linewarden::zoomRecognitionSettings());
}
void BM_Recognise_ZoomLargeWindow(benchmark::State& state) {
    recognise(state, "zoom-meeting-dark.png", linewarden::zoomRecognitionSettings());
}
void BM_RecogniseAgain_Kixie(benchmark::State& state) {
    recogniseAgain(state, "kixie-on-call-dark.png", linewarden::kixieRecognitionSettings());
}

// A fresh recogniser's first recognition of a tiny blank image: almost all of it is the engine's
// start. `engine_MB` is the resident memory the first engine of the process added (later ones
// reuse what their predecessors freed); registered first for that reason.
void BM_EngineStart(benchmark::State& state) {
    const Image blank(16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 255));
    double added = 0;
    for (auto _ : state) {
        const double before = residentMegabytes();
        tess::TesseractRecognizer recognizer;
        benchmark::DoNotOptimize(recognizer.recognize(blank, linewarden::kixieRecognitionSettings()));
        added = std::max(added, residentMegabytes() - before);
    }
    state.counters["engine_MB"] = added;
}

BENCHMARK(BM_EngineStart)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Recognise_Kixie)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise_Trellus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise_RingCentralAccurate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise_RingCentralFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise_ZoomSmallWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recognise_ZoomLargeWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecogniseAgain_Kixie)->Unit(benchmark::kMillisecond);

}  // namespace

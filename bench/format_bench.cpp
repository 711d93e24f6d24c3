#include <benchmark/benchmark.h>

#include "linewarden/text/Format.h"

static void BM_FormatScanTime(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(linewarden::formatFixed2(250.0));
}
BENCHMARK(BM_FormatScanTime);

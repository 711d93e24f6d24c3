#!/usr/bin/env bash
# Installs what is missing, builds everything, runs the whole test suite, builds the programs the
# way a packager does (Release, no test libraries), installs and packages them (checked by lintian),
# then runs the suite again under the address, undefined-behaviour and leak sanitizers, and last
# fuzzes the parsers and classifiers for a bounded time (scripts/fuzz.sh, 30 s per target). This is
# what CI runs.
# Warnings are errors here. Build folders are kept between runs, so a second run rebuilds only
# what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
common=(-DLINEWARDEN_WERROR=ON)
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "== build and test =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${common[@]}" >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== release build of the programs alone, without GoogleTest and Google Benchmark =="
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${common[@]}" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build build-release -j "$jobs"
rm -rf build-release/staged
cmake --install build-release --prefix "$PWD/build-release/staged" >/dev/null
(cd build-release && cpack -G DEB >/dev/null && ls linewarden_*.deb linewarden-dbgsym_*.ddeb &&
  lintian --fail-on error,warning linewarden_*.deb linewarden-dbgsym_*.ddeb)

echo "== sanitizer run (address, undefined, leak) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLINEWARDEN_SANITIZE=ON -DLINEWARDEN_BENCHMARKS=OFF \
  "${common[@]}" >/dev/null
cmake --build build-sanitize -j "$jobs"
# The Wayland sessions' end-to-end runs and the package check are left out here: beyond what the
# X11 runs already put through the sanitizers, what they exercise is the compositor, the bus,
# other programs' windows and the packaging, and libatspi and GLib keep allocations until exit.
# So is the corpus's style sweep: its pages take the recogniser through the same code as the
# corpus pages and the recogniser's own tests, which do run here.
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs" -LE 'wayland|package' -E 'CorpusPages\.[A-Za-z]+(SecondaryText|SecondaryTimers|HighContrast)$')

echo "== fuzzing (libFuzzer, 30 s per target) =="
bash scripts/fuzz.sh 30

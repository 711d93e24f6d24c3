#!/usr/bin/env bash
# Installs what is missing, builds everything, runs the whole test suite, then runs the suite
# again under the address, undefined-behaviour and leak sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

echo "== build and test =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== sanitizer run (address, undefined, leak) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLINEWARDEN_SANITIZE=ON -DLINEWARDEN_BENCHMARKS=OFF >/dev/null
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs")

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) in
# build-fuzz and runs each for a bounded time from its seeds in tests/fuzz/corpus/<name>.
# Usage: scripts/fuzz.sh [seconds per target, default 30]. Fails on the first crash, leak,
# timeout or broken property, leaving the input that caused it in build-fuzz/findings/<name>.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=build-fuzz

common=(-DLINEWARDEN_WERROR=ON)
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINEWARDEN_FUZZ=ON \
  -DBUILD_TESTING=OFF -DLINEWARDEN_LINUX_DESKTOP=OFF "${common[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

status=0
for seeds in tests/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  target="$build/tests/fuzz/fuzz_$name"
  findings="$build/findings/$name"
  rm -rf "$findings" && mkdir -p "$findings/corpus"
  # New inputs go to a scratch corpus; the committed seeds are only read.
  if (cd "$findings" && "$OLDPWD/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 corpus "$OLDPWD/$seeds" >log 2>&1); then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$findings/log")
    echo "fuzz_$name: $runs runs in ${seconds}s, no crash"
  else
    echo "fuzz_$name: FAILED (see $findings/log)"
    grep -E 'property violated|ERROR|SUMMARY|Test unit written' "$findings/log" | head -5 || true
    status=1
  fi
done
exit "$status"

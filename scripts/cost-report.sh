#!/usr/bin/env bash
# What watching a dialer costs on this machine, as one table: per dialer, the scan time of a
# changed and of an unchanged screen, the share of one core and the memory the linewarden process
# uses while it watches an idle dialer (quiet, and busy: redrawing itself with the same pixels),
# its start-up time, and the same during a Zoom meeting whose timer ticks over moving video. Real
# chromium windows on a private Xvfb; your own desktop is left alone.
#
#   bash scripts/cost-report.sh [SECONDS [SCANS]]   watch each process SECONDS (default 60); SCANS
#                                                   scans for the memory run (default 10000)
#
# Takes about SECONDS x 8 plus three minutes. Not part of the test suite: figures depend on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target linewarden cost_report >/dev/null
exec build/bench/cost_report "$@"

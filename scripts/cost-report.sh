#!/usr/bin/env bash
# What watching a dialer costs on this machine, as one table: per dialer, the scan time of a
# changed and of an unchanged screen, the share of one core and the memory the linewarden process
# uses while it watches an idle dialer, its start-up time, and the same during a Zoom meeting
# whose video keeps moving. Real chromium windows on a private Xvfb; your own desktop is left alone.
#
#   bash scripts/cost-report.sh [SECONDS [SCANS]]   watch each process SECONDS (default 60); SCANS
#                                                   scans for the memory run (default 10000)
#
#   bash scripts/cost-report.sh --wayland [SECONDS]  Kixie in Brave on a headless sway (windows from the
#                                                   accessibility bus, screencopy) beside X11, in one run:
#                                                   window listing, scans, the process watching SECONDS (30)
#
# Takes about SECONDS x 5 plus two minutes. Not part of the test suite: figures depend on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."

report=cost_report
if [[ ${1:-} == --wayland ]]; then
  report=wayland_cost_report
  shift
fi
bash scripts/install-deps.sh >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target linewarden "$report" >/dev/null
exec "build/bench/$report" "$@"

#!/usr/bin/env bash
# Live demo for a fresh Debian machine (run as root): installs what is missing, builds linewarden,
# tabroster and linewarden-inspect, starts a private virtual display with a browser window on a
# stand-in Kixie PowerCall page that takes a call every 20 seconds, and shows what
# `linewarden --dialer=kixie` tells its host while it watches; at the end linewarden-inspect shows,
# in pictures, what one scan saw. Your own desktop, if any, is left alone.
#
#   bash scripts/demo.sh [SECONDS]      watch for SECONDS (default 40); Ctrl-C stops early
#
# Every process the demo starts is ended when it exits, however it exits.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-40}
if [[ ! $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: bash scripts/demo.sh [SECONDS]" >&2
  exit 2
fi

if [[ -t 1 ]]; then
  bold=$'\e[1m' dim=$'\e[2m' reset=$'\e[0m'
else
  bold='' dim='' reset=''
fi
step() { printf '\n%s==> %s%s\n' "$bold" "$*" "$reset"; }
note() { printf '    %s\n' "$*"; }
fail() {
  printf '%sdemo: %s%s\n' "$bold" "$*" "$reset" >&2
  exit 1
}

# --- processes ---------------------------------------------------------------------------------

# The private desktop and every program on it come from scripts/desktop-session.sh, which ends
# them all (with everything they spawned) when the demo exits.
source "$root/scripts/desktop-session.sh"
trap desktop_stop EXIT
trap 'exit 130' INT TERM

# --- build -------------------------------------------------------------------------------------

step "Installing what is missing (scripts/install-deps.sh)"
bash scripts/install-deps.sh || fail "the packages could not be installed (run the demo as root)"

step "Building linewarden, tabroster and linewarden-inspect (cmake, into build/)"
cmake -S . -B build >/dev/null || fail "cmake could not configure the build"
cmake --build build --target linewarden tabroster linewarden-inspect -j "$(nproc)" || fail "the build failed"

# --- a private desktop -------------------------------------------------------------------------

log="$root/build/demo-linewarden.log"

step "Starting a virtual X display (Xvfb) with the openbox window manager"
desktop_start_xvfb 1280x800x24 || fail "Xvfb did not start"
note "display $DISPLAY"
desktop_start_openbox || fail "openbox did not start"

step "Opening the stand-in dialer page in chromium, dressed as Brave Browser"
note "scripts/demo/kixie.html: Available for 10 s, then On Call for 10 s, and so on"
if ! desktop_start_browser Brave-browser "file://$root/scripts/demo/kixie.html" 60 420,640 ||
  ! desktop_wait_for_window Brave-browser "Kixie PowerCall" 60 >/dev/null; then
  tail -n 20 "$DESKTOP_BROWSER_LOG" >&2
  fail "the browser window did not show up"
fi

# --- the watch ---------------------------------------------------------------------------------

step "Watching it: build/linewarden --dialer=kixie for ${seconds} s (Ctrl-C stops early)"
note "Below is linewarden's standard output, exactly as its host reads it: a status line and a"
note "marker line (isDialing / NotConnected) at every change. It scans every 3 seconds."
note "Its standard error (progress, recognised text) goes to build/demo-linewarden.log."
echo
desktop_spawn build/linewarden --dialer=kixie 2>"$log"
monitor=$DESKTOP_SPAWNED
stopped=""
trap 'stopped=yes' INT
for ((tick = 0; tick < seconds * 4; tick++)); do
  [[ -n $stopped ]] && break
  kill -0 "$monitor" 2>/dev/null || break
  sleep 0.25
done
trap 'exit 130' INT
if kill -0 "$monitor" 2>/dev/null; then
  desktop_end "$monitor"
  [[ -n $stopped ]] && note "(stopped early)"
else
  wait "$monitor"
  status=$?
  echo
  note "linewarden ended by itself with exit status $status"
fi

step "The end of linewarden's standard error ($(wc -l <"$log") lines in build/demo-linewarden.log)"
tail -n 15 "$log" | sed "s/^/    ${dim}/; s/\$/${reset}/"

step "Running build/tabroster once: every window of the browsers it knows"
build/tabroster

pictures="$root/build/demo-inspect"
step "Running build/linewarden-inspect --dialer=kixie --out=build/demo-inspect once: what one scan saw"
if build/linewarden-inspect --dialer=kixie --out="$pictures" | sed "s/^/    /"; then
  note "The pictures are in $pictures:"
  note "  window.png (the window, the region Kixie is read in framed in red), region.png,"
  note "  recognizer-input.png (what the text engine read)."
else
  note "linewarden-inspect reached no verdict (see the line above)"
fi

step "Done; ending the browser, openbox and Xvfb"

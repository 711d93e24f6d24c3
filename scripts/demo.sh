#!/usr/bin/env bash
# Live demo for a fresh Debian machine (run as root): installs what is missing, builds linewarden
# and tabroster, starts a private virtual display with a browser window on a stand-in Kixie
# PowerCall page that takes a call every 20 seconds, and shows what `linewarden --dialer=kixie`
# tells its host while it watches. Your own desktop, if any, is left alone.
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

work=""
groups=()   # process groups started here, oldest first

# Starts "$@" in the background as the leader of a process group of its own, so that it can be
# ended with everything it spawned, and so that Ctrl-C on the terminal reaches only this script.
spawn() {
  set -m
  "$@" &
  spawned=$!
  set +m
  groups+=("$spawned")
}

end_group() {
  local leader=$1
  kill -TERM -- "-$leader" 2>/dev/null || return 0
  for _ in $(seq 1 30); do
    kill -0 "$leader" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$leader" 2>/dev/null
  wait "$leader" 2>/dev/null
}

cleanup() {
  local i
  for ((i = ${#groups[@]} - 1; i >= 0; i--)); do end_group "${groups[i]}"; done
  groups=()
  [[ -n $work ]] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- build -------------------------------------------------------------------------------------

step "Installing what is missing (scripts/install-deps.sh)"
bash scripts/install-deps.sh || fail "the packages could not be installed (run the demo as root)"

step "Building linewarden and tabroster (cmake, into build/)"
cmake -S . -B build >/dev/null || fail "cmake could not configure the build"
cmake --build build --target linewarden tabroster -j "$(nproc)" || fail "the build failed"

# --- a private desktop -------------------------------------------------------------------------

work=$(mktemp -d "${TMPDIR:-/tmp}/linewarden-demo.XXXXXX") || fail "no temporary directory"
log="$root/build/demo-linewarden.log"

step "Starting a virtual X display (Xvfb) with the openbox window manager"
spawn Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" </dev/null >/dev/null 2>&1
number=""
for _ in $(seq 1 150); do
  number=$(tr -dc '0-9' <"$work/display" 2>/dev/null)
  [[ -n $number ]] && break
  sleep 0.1
done
[[ -n $number ]] || fail "Xvfb did not start"
export DISPLAY=":$number"
note "display $DISPLAY"
spawn openbox --sm-disable </dev/null >/dev/null 2>&1
sleep 1   # openbox takes a moment before it manages windows

step "Opening the stand-in dialer page in chromium, dressed as Brave Browser"
note "scripts/demo/kixie.html: Available for 10 s, then On Call for 10 s, and so on"
spawn chromium --class=Brave-browser --user-data-dir="$work/profile" --no-first-run --no-default-browser-check \
  --disable-background-networking --disable-component-update --disable-sync --disable-quic \
  --disable-domain-reliability --disable-features=Translate,MediaRouter,OptimizationHints \
  --host-resolver-rules='MAP * ~NOTFOUND' --password-store=basic --no-sandbox --test-type --disable-gpu \
  --disable-backgrounding-occluded-windows --disable-renderer-backgrounding \
  --window-size=420,640 --window-position=0,0 --app="file://$root/scripts/demo/kixie.html" \
  </dev/null >"$work/chromium.log" 2>&1
shown=""
for _ in $(seq 1 120); do
  if build/tabroster 2>/dev/null | grep -q 'Kixie PowerCall'; then
    shown=yes
    break
  fi
  sleep 0.5
done
if [[ -z $shown ]]; then
  tail -n 20 "$work/chromium.log" >&2
  fail "the browser window did not show up"
fi

# --- the watch ---------------------------------------------------------------------------------

step "Watching it: build/linewarden --dialer=kixie for ${seconds} s (Ctrl-C stops early)"
note "Below is linewarden's standard output, exactly as its host reads it: a status line and a"
note "marker line (isDialing / NotConnected) at every change. It scans every 3 seconds."
note "Its standard error (progress, recognised text) goes to build/demo-linewarden.log."
echo
spawn build/linewarden --dialer=kixie 2>"$log"
monitor=$spawned
stopped=""
trap 'stopped=yes' INT
for ((tick = 0; tick < seconds * 4; tick++)); do
  [[ -n $stopped ]] && break
  kill -0 "$monitor" 2>/dev/null || break
  sleep 0.25
done
trap 'exit 130' INT
if kill -0 "$monitor" 2>/dev/null; then
  end_group "$monitor"
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

step "Done; ending the browser, openbox and Xvfb"

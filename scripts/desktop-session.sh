#!/usr/bin/env bash
# A private X desktop for demos and end-to-end runs: Xvfb on a free display number, optionally
# openbox and browsers (Debian's chromium dressed as Brave, Chrome or Edge by its window class),
# a command run on it, and everything taken down again afterwards.
#
#   scripts/desktop-session.sh [--wm] [--screen WxHxD] [--browser CLASS URL]... -- COMMAND [ARG]...
#
#   --wm                  run openbox (an EWMH window manager that reparents, as desktops do)
#   --screen WxHxD        the screen (default 1280x800x24)
#   --browser CLASS URL   start chromium --class=CLASS --app=URL in a 1000x700 window with a fresh
#                         profile and wait until its window shows; CLASS is Brave-browser,
#                         Google-chrome or Microsoft-edge for the browsers linewarden knows
#
# COMMAND runs with DISPLAY set to the new display; the script exits with its status.
# Example: scripts/desktop-session.sh --wm --browser Brave-browser "file://$PWD/page.html" -- \
#            build/tabroster
#
# Sourced, it provides the same steps as functions (each returns non-zero on failure):
#   desktop_start_xvfb [WxHxD]                   sets DESKTOP_DISPLAY and exports DISPLAY
#   desktop_start_openbox
#   desktop_start_browser CLASS URL [SECONDS] [W,H]   sets DESKTOP_BROWSER_PID and DESKTOP_BROWSER_LOG
#                                                (its window is shown; W,H defaults to 1000,700)
#   desktop_wait_for_window CLASS [TITLE] [SECONDS]   prints the window id once one shows
#   desktop_spawn COMMAND [ARG]...                starts a program on the desktop; sets DESKTOP_SPAWNED
#   desktop_end PID                               ends one program started here, with its children
#   desktop_stop                                  ends all of the above
#
# Needs: xvfb, openbox, chromium, x11-utils (xprop, xev), xdotool.

DESKTOP_PIDS=()
DESKTOP_TEMP_DIRS=()
DESKTOP_DISPLAY=""

# Runs "$@" in the background in a process group of its own (job control puts each job in one),
# so that desktop_stop can end it with everything it spawned. Sets _DESKTOP_SPAWNED to its pid.
_desktop_spawn() {
  local monitor_was_on=""
  [[ $- == *m* ]] && monitor_was_on=yes
  set -m
  "$@" &
  _DESKTOP_SPAWNED=$!
  [[ -n $monitor_was_on ]] || set +m
}

desktop_start_xvfb() {
  local screen="${1:-1280x800x24}" dir number=""
  dir=$(mktemp -d "${TMPDIR:-/tmp}/desktop-session.XXXXXX") || return 1
  DESKTOP_TEMP_DIRS+=("$dir")
  # The server picks a free display number and writes it to file descriptor 3.
  _desktop_spawn Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset \
    3>"$dir/display" </dev/null >/dev/null 2>&1
  DESKTOP_PIDS+=("$_DESKTOP_SPAWNED")
  for _ in $(seq 1 150); do
    number=$(tr -dc '0-9' <"$dir/display" 2>/dev/null)   # written in one go, newline included
    [[ -n $number ]] && break
    sleep 0.1
  done
  if [[ -z $number ]]; then
    echo "desktop-session: Xvfb did not start" >&2
    return 1
  fi
  DESKTOP_DISPLAY=":$number"
  export DISPLAY="$DESKTOP_DISPLAY"
}

desktop_start_openbox() {
  local probe="desktop-session-probe-$$" id="" ready=""
  _desktop_spawn openbox --sm-disable </dev/null >/dev/null 2>&1
  DESKTOP_PIDS+=("$_DESKTOP_SPAWNED")
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  # openbox announces itself shortly before its event loop runs and drops the map requests of
  # that moment; it is ready once it has taken on a probe window.
  for _ in $(seq 1 20); do
    _desktop_spawn xev -geometry 10x10 -name "$probe" </dev/null >/dev/null 2>&1
    local xev_pid=$_DESKTOP_SPAWNED
    for _ in $(seq 1 10); do
      id=$(xdotool search --name "^$probe\$" 2>/dev/null | head -n1)
      if [[ -n $id ]] && xprop -id "$id" WM_STATE 2>/dev/null | grep -q 'window state'; then
        ready=yes
        break
      fi
      sleep 0.05
    done
    kill -- "-$xev_pid" 2>/dev/null
    wait "$xev_pid" 2>/dev/null
    if [[ -n $ready ]]; then
      # Window ids come back to the next client: let openbox forget the probe first.
      local hex
      hex=$(printf '0x%x' "$id")
      for _ in $(seq 1 50); do
        xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qw "$hex" || return 0
        sleep 0.05
      done
      return 0
    fi
  done
  echo "desktop-session: openbox did not start" >&2
  return 1
}

desktop_wait_for_window() {
  local class="$1" title="${2:-}" seconds="${3:-60}" id
  for _ in $(seq 1 $((seconds * 10))); do
    for id in $(xdotool search --onlyvisible --class "^$class\$" 2>/dev/null); do
      if [[ -z $title || $(xdotool getwindowname "$id" 2>/dev/null) == *"$title"* ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  echo "desktop-session: no window of class $class${title:+ titled *$title*} showed" >&2
  return 1
}

# The browser's flags are those of the tests' chromium launcher (tests/desktop/support): off the
# network, painting when covered, no scroll bars.
desktop_start_browser() {
  local class="$1" url="$2" seconds="${3:-60}" size="${4:-1000,700}" profile
  profile=$(mktemp -d "${TMPDIR:-/tmp}/desktop-session-profile.XXXXXX") || return 1
  DESKTOP_TEMP_DIRS+=("$profile")
  DESKTOP_BROWSER_LOG="$profile.log"
  DESKTOP_TEMP_DIRS+=("$DESKTOP_BROWSER_LOG")
  _desktop_spawn chromium --class="$class" --user-data-dir="$profile" --no-first-run --no-default-browser-check \
    --disable-background-networking --disable-component-update --disable-sync --disable-quic \
    --disable-domain-reliability \
    --disable-features=Translate,MediaRouter,OptimizationHints,AutofillServerCommunication,CertificateTransparencyComponentUpdater,InterestFeedContentSuggestions \
    --password-store=basic --host-resolver-rules='MAP * ~NOTFOUND , EXCLUDE 127.0.0.1' --no-sandbox --test-type \
    --disable-gpu --disable-backgrounding-occluded-windows --disable-renderer-backgrounding --hide-scrollbars \
    --app="$url" --window-size="$size" --window-position=0,0 </dev/null >"$DESKTOP_BROWSER_LOG" 2>&1
  DESKTOP_BROWSER_PID=$_DESKTOP_SPAWNED
  DESKTOP_PIDS+=("$DESKTOP_BROWSER_PID")
  desktop_wait_for_window "$class" "" "$seconds" >/dev/null
}

desktop_spawn() {
  _desktop_spawn "$@"
  DESKTOP_SPAWNED=$_DESKTOP_SPAWNED
  DESKTOP_PIDS+=("$DESKTOP_SPAWNED")
}

desktop_end() {
  local pid="$1"
  kill -TERM -- "-$pid" 2>/dev/null || return 0
  for _ in $(seq 1 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

desktop_stop() {
  local i path
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${DESKTOP_PIDS[i]}" 2>/dev/null
  done
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do desktop_end "${DESKTOP_PIDS[i]}"; done
  DESKTOP_PIDS=()
  for path in "${DESKTOP_TEMP_DIRS[@]}"; do rm -rf "$path"; done
  DESKTOP_TEMP_DIRS=()
}

_desktop_main() {
  local wm="" screen="1280x800x24" browsers=()
  while (($#)); do
    case "$1" in
      --wm) wm=yes; shift ;;
      --screen) screen="$2"; shift 2 ;;
      --browser) browsers+=("$2" "$3"); shift 3 ;;
      --) shift; break ;;
      *) echo "desktop-session: unknown option $1" >&2; return 2 ;;
    esac
  done
  if (($# == 0)); then
    echo "usage: desktop-session.sh [--wm] [--screen WxHxD] [--browser CLASS URL]... -- COMMAND [ARG]..." >&2
    return 2
  fi
  trap desktop_stop EXIT
  trap 'exit 130' INT TERM
  desktop_start_xvfb "$screen" || return 1
  if [[ -n $wm ]]; then desktop_start_openbox || return 1; fi
  local i
  for ((i = 0; i < ${#browsers[@]}; i += 2)); do
    desktop_start_browser "${browsers[i]}" "${browsers[i + 1]}" || return 1
  done
  "$@"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  _desktop_main "$@"
  exit $?
fi

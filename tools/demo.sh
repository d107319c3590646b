#!/usr/bin/env bash
# Shows the program at work with four simulated balances, two on loopback TCP ports and two
# on serial ptys, with a private settings store under BUILD_DIR/demo/config.
#   With a display: the program runs there until you quit it.
#   Without one: it runs on a private Xvfb for about 15 s, a screenshot is taken, the logs
#   are saved through File > Quit as a user would, and the paths are printed.
# Usage: tools/demo.sh [BUILD_DIR]   (default: build; DEMO_SECONDS changes the 15 s)
set -euo pipefail

build_dir=$(cd "${1:-build}" && pwd)
bin="$build_dir/bin"
demo="$build_dir/demo"
config="$demo/config"
title="Veltrano Quorvane for IP and COM"
run_seconds=${DEMO_SECONDS:-15}
quit_seconds=10

for program in quorvane balance-sim; do
  if [ ! -x "$bin/$program" ]; then
    echo "demo: $bin/$program is missing; build first (make build)" >&2
    exit 1
  fi
done

sim_pid=""
xvfb_pid=""
wm_pid=""
app_pid=""

# Alive, and not just a zombie waiting to be reaped.
running() {
  [ -n "$1" ] && ps -o stat= -p "$1" 2>/dev/null | grep -qv '^Z'
}

not_running() { ! running "$1"; }

stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  if running "$pid"; then
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  stop "$app_pid"
  stop "$wm_pid"
  stop "$xvfb_pid"
  stop "$sim_pid"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# An INI value as the settings store reads it back: quoted when commas, double blanks,
# outer blanks or characters the store treats specially would otherwise change it.
ini_value() {
  local value=$1
  if [[ $value == *,* || $value == *"  "* || $value == " "* || $value == *" " ||
        $value == *[\"\\\;#]* ]]; then
    value=${value//\\/\\\\}
    value=${value//\"/\\\"}
    printf '"%s"' "$value"
  else
    printf '%s' "$value"
  fi
}

mkdir -p "$config"
rm -f "$demo"/Channel-*.log "$demo/screenshot.png"

# The balances. Their endpoints change from run to run, so the store is written afresh.
"$bin/balance-sim" --tcp 0 --tcp 0 --pty --pty --rate 2 >"$demo/balance-sim.out" 2>&1 &
sim_pid=$!
if ! wait_for 100 grep -qx ready "$demo/balance-sim.out"; then
  echo "demo: the balance simulator did not start:" >&2
  cat "$demo/balance-sim.out" >&2
  exit 1
fi
mapfile -t tcp_ports < <(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/balance-sim.out")
mapfile -t ptys < <(sed -n 's/^pty //p' "$demo/balance-sim.out")

settings=(
  "IP 127.0.0.1:${tcp_ports[0]}"
  "IP 127.0.0.1:${tcp_ports[1]}"
  "COM  1, 9600,e,7,1,None"
  "COM  2, 9600,e,7,1,None"
)
ids=("Balance A" "Balance B" "Balance C" "Balance D")
{
  echo "[Channels]"
  echo "CannelsCount=4"
  for n in 1 2 3 4; do
    echo "Ch-${n}_State=1"
    echo "Ch-${n}_Settings=$(ini_value "${settings[n - 1]}")"
    echo "Ch-${n}_Id=$(ini_value "${ids[n - 1]}")"
    echo "Ch-${n}_Filename=$(ini_value "$demo/Channel-$n.log")"
  done
  echo
  echo "[Ports]"
  echo "COM1=$(ini_value "${ptys[0]}")"
  echo "COM2=$(ini_value "${ptys[1]}")"
} >"$config/$title.ini"

export XDG_CONFIG_HOME="$config"
# The demo's unsaved readings stay out of the user's own journal, as its settings do.
export XDG_STATE_HOME="$demo/state"
# A test shell's headless platform would hide the window.
case "${QT_QPA_PLATFORM:-}" in offscreen | minimal) unset QT_QPA_PLATFORM ;; esac

if [ -n "${DISPLAY:-}" ]; then
  echo "demo: balances at ${tcp_ports[*]/#/127.0.0.1:} and ${ptys[*]}; quit the program to end"
  "$bin/quorvane" || true
  exit 0
fi

# No display: a private X server, and a window manager if one happens to be installed.
exec 3>"$demo/xvfb.display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$demo/xvfb.out" 2>&1 &
xvfb_pid=$!
exec 3>&-
if ! wait_for 100 test -s "$demo/xvfb.display"; then
  echo "demo: Xvfb did not start:" >&2
  cat "$demo/xvfb.out" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$demo/xvfb.display")"
for wm in openbox fluxbox icewm jwm matchbox-window-manager twm; do
  if command -v "$wm" >/dev/null; then
    "$wm" >/dev/null 2>&1 &
    wm_pid=$!
    break
  fi
done

QT_QPA_PLATFORM=xcb "$bin/quorvane" >"$demo/quorvane.out" 2>&1 &
app_pid=$!
echo "demo: running on $DISPLAY for ${run_seconds} s with balances at" \
  "${tcp_ports[*]/#/127.0.0.1:} and ${ptys[*]}"
for _ in $(seq $((run_seconds * 10))); do
  running "$app_pid" || break
  sleep 0.1
done
if ! running "$app_pid"; then
  echo "demo: the program ended early:" >&2
  cat "$demo/quorvane.out" >&2
  exit 1
fi

import -window root "$demo/screenshot.png"

# File > Quit, and Yes to saving all channels. Without a window manager nobody gives the
# windows the keyboard, so each one is focused by hand first.
focus_window() {
  local wid
  wid=$(timeout 5 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1) || true
  [ -n "$wid" ] || return 1
  xdotool windowfocus "$wid" 2>/dev/null || true
}
focus_window "^$title\$" || true
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key q
if focus_window "^Exit program\$"; then
  xdotool key Return
fi
if ! wait_for $((quit_seconds * 10)) not_running "$app_pid"; then
  echo "demo: the program did not quit within ${quit_seconds} s; stopping it" >&2
fi
stop "$app_pid"
app_pid=""

echo "demo: screenshot: $demo/screenshot.png"
logs=("$demo"/Channel-*.log)
if [ -e "${logs[0]}" ]; then
  echo "demo: logs:"
  for log in "${logs[@]}"; do
    echo "  $log ($(wc -l <"$log") lines)"
  done
else
  echo "demo: no logs were saved (see $demo/quorvane.out)"
fi

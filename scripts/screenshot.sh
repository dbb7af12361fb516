#!/usr/bin/env bash
# Takes a screenshot of the running demo (scripts/run.sh) on a private Xvfb with a
# compositor, so the overlay's transparency and shadow show as on a desktop.
# Usage: scripts/screenshot.sh [out.png]   (default docs/overlay.png)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-docs/overlay.png}
case "$out" in /*) ;; *) out=$root/$out ;; esac

scripts/setup.sh || exit 1
work=$root/build/screenshot
mkdir -p "$work"

pids=()
run_pid=
cleanup() {
  # run.sh stops Wine and the simulator itself on TERM.
  if [ -n "$run_pid" ]; then
    kill -TERM "$run_pid" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

read -r display xvfb_pid < <(scripts/xvfb.sh 120)
pids+=("$xvfb_pid")
export DISPLAY=$display

# The compositor paints the root black; a backdrop window gives the overlay a desktop.
convert -size 1280x800 gradient:'#3a6ea5-#a8c6e8' "$work/backdrop.png"
display -geometry +0+0 "$work/backdrop.png" &
pids+=($!)
for _ in $(seq 50); do
  xdotool search --onlyvisible --class display >/dev/null 2>&1 && break
  sleep 0.1
done
xcompmgr >/dev/null 2>&1 &
pids+=($!)
xdotool mousemove 1200 20

scripts/run.sh >"$work/run.out" 2>&1 &
run_pid=$!
log=$root/build/demo/.run/requests.log
start_size=$( [ -f "$log" ] && stat -c %s "$log" || echo 0)
# Every demo station asked once, then a moment for the overlay to be drawn.
polled() { [ -f "$log" ] && [ "$(tail -c +$((start_size + 1)) "$log" | grep -c '/listeners$')" -ge 3 ]; }
for _ in $(seq 1800); do
  polled && break
  kill -0 "$run_pid" 2>/dev/null || break
  sleep 0.1
done
if ! polled; then
  echo "screenshot: the demo did not poll its stations; its output:" >&2
  tail -n 20 "$work/run.out" >&2
  exit 1
fi
grep -m1 '^run: win' "$work/run.out" | sed 's/^run:/screenshot:/'
sleep 3

import -window root "$work/screen.png" || exit 1
# The lower right corner, where the overlay sits above the taskbar.
convert "$work/screen.png" -gravity SouthEast -crop 480x140+0+0 +repage "$out" || exit 1
echo "screenshot: $out"

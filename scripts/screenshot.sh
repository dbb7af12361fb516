#!/usr/bin/env bash
# Takes the README's pictures of the running demo (scripts/run.sh) on a private Xvfb
# with a compositor, so the overlay's transparency and shadow show as on a desktop:
# the overlay, then the statistics window and the settings dialog, which a small
# Windows helper (screenshot_driver) opens in the demo.
# Usage: scripts/screenshot.sh [out.png]   (default docs/overlay.png; statistics.png,
# history_7_days.png, plays.png and settings_dialog.png go into the same folder)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-docs/overlay.png}
case "$out" in /*) ;; *) out=$root/$out ;; esac
out_dir=$(dirname "$out")

scripts/setup.sh || exit 1
work=$root/build/screenshot
mkdir -p "$work"

demo=$root/build/demo
history=$demo/hoerer_verlauf     # the demo's own month files
earlier=$demo/hoerer_verlauf.csv  # an earlier version's single file, carried over at start-up
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
  # The demo's own history comes back.
  if [ -d "$work/hoerer_verlauf.demo" ]; then rm -rf "$history" && mv -f "$work/hoerer_verlauf.demo" "$history"; fi
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

# A made-up week of the demo's stations, for the picture of the last 7 days, as an
# earlier version's single file that the program carries over into its month files
# when it starts; the demo's own history waits aside meanwhile.
if ! { cmake --preset native && cmake --build --preset native --target history_gen; } >"$work/gen.out" 2>&1; then
  echo "screenshot: building history_gen failed:" >&2
  tail -n 20 "$work/gen.out" >&2
  exit 1
fi
mkdir -p "$demo"
if [ -d "$history" ] && [ ! -d "$work/hoerer_verlauf.demo" ]; then mv "$history" "$work/hoerer_verlauf.demo"; fi
rm -rf "$history" "$earlier"
# Wine keeps the machine's time zone: the rows end now, in its local time.
build/native/tools/history-gen/history_gen "$earlier" --stations "nachtradio,schoene lieder,rockwelle" \
  --songs --days 7 --interval-minutes 1 --end "$(date '+%Y-%m-%d %H:%M:00')" --offset "$(date +%:z)" >/dev/null || exit 1
ini=$demo/Klangnetz_DesktopTool.ini
if [ -f "$ini" ]; then
  if grep -q '^keep_history=' "$ini"; then
    sed -i 's/^keep_history=.*/keep_history=1\r/' "$ini"
  else
    printf 'keep_history=1\r\n' >>"$ini"
  fi
fi

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

# The helper runs in the demo's Wine prefix, so it sees the demo's windows.
arch=$(scripts/wine.sh arch)
preset=$(scripts/wine.sh preset "$arch") || exit 1
if ! cmake --build --preset "$preset" --target screenshot_driver >"$work/build.out" 2>&1; then
  echo "screenshot: building screenshot_driver failed:" >&2
  tail -n 20 "$work/build.out" >&2
  exit 1
fi
driver=$root/build/$preset/tests/win/common/screenshot_driver.exe
prefix=$root/build/demo-wineprefix-$arch
# The demo's last station, whose requests mark the end of each poll.
last_station=$(sed -n 's/^stations=//p' "$root/build/demo/Klangnetz_DesktopTool.ini" | tr -d '\r' | awk -F';' '{print $NF}')
drive() {
  KN_SIM_DIR=$root/build/demo/.run timeout 180 scripts/wine.sh "$arch" "$prefix" run "$driver" "$@" </dev/null >"$work/driver.out" 2>&1
  local rc=$?
  if [ $rc -ne 0 ]; then
    echo "screenshot: screenshot_driver $* failed (rc $rc):" >&2
    tail -n 20 "$work/driver.out" >&2
    return 1
  fi
}
# window_shot FILE COMMAND [ARG]: the window the helper opens, cut out at the place it prints.
window_shot() {
  local file=$1
  shift
  drive "$@" || exit 1
  local place
  place=$(tr -d '\r' <"$work/driver.out" | grep -E '^[0-9]+x[0-9]+[+-][0-9]+[+-][0-9]+$' | tail -n 1)
  [ -n "$place" ] || { echo "screenshot: no window place from screenshot_driver $*" >&2; exit 1; }
  sleep 1  # the last paint reaches the screen through the compositor
  import -window root "$work/screen.png" || exit 1
  convert "$work/screen.png" -crop "$place" +repage "$file" || exit 1
  echo "screenshot: $file"
  drive close || exit 1
}
window_shot "$out_dir/statistics.png" statistics "$last_station"
window_shot "$out_dir/history_7_days.png" history
window_shot "$out_dir/plays.png" plays
window_shot "$out_dir/settings_dialog.png" settings

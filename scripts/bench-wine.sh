#!/usr/bin/env bash
# Timings of the Windows program under Wine: one full overlay layout with ten
# stations, the CPU time the running program uses between polls, one poll of 20
# stations against a platform 200 ms away (one request at a time and eight at once,
# with and without title files), and the start up to the first overlay beside a
# bare Win32 program's start.
# Usage: scripts/bench-wine.sh [idle-seconds]   (default 60)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
idle_seconds=${1:-60}

scripts/setup.sh || exit 1
arch=$(scripts/wine.sh arch)
preset=$(scripts/wine.sh preset "$arch") || exit 1
echo "bench-wine: $arch Wine, programs from build/$preset"
cmake --preset native >/dev/null && cmake --build --preset native --target platform-sim >/dev/null || exit 1
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target layout_bench poll_bench startup_bench Klangnetz_DesktopTool >/dev/null ||
  exit 1
prefix=$root/build/$preset/wineprefix
wine() { "$root/scripts/wine.sh" "$arch" "$prefix" "$@"; }
# timeout runs programs, not shell functions.
wine_run=("$root/scripts/wine.sh" "$arch" "$prefix" run)

work=$root/build/bench-wine
rm -rf "$work"
mkdir -p "$work/program"
pids=()
cleanup() {
  timeout 20 "$root/scripts/wine.sh" "$arch" "$prefix" server -k 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

read -r display xvfb_pid < <(scripts/xvfb.sh 140)
pids+=("$xvfb_pid")
export DISPLAY=$display
wine prepare || exit 1

timeout 300 "${wine_run[@]}" "build/$preset/bench/win/layout_bench.exe" </dev/null 2>/dev/null | grep '^LAYOUT' | tee "$work/layout.txt"

build/native/tools/platform-sim/platform-sim --port-file "$work/sim.port" --log "$work/requests.log" \
  >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.port" ] && break; sleep 0.05; done
cp "build/$preset/desktop/Klangnetz_DesktopTool.exe" "$work/program/"
printf '[Konfig]\r\napi_base_url=http://127.0.0.1:%s\r\nstations=nachtradio;schoene lieder;rockwelle\r\n' \
  "$(cat "$work/sim.port")" >"$work/program/Klangnetz_DesktopTool.ini"
(cd "$work/program" && exec timeout $((idle_seconds + 60)) "$root/scripts/wine.sh" "$arch" "$prefix" run Klangnetz_DesktopTool.exe </dev/null >/dev/null 2>&1) &
pids+=($!)

# The Linux process that runs the program's code.
program_pid=
for _ in $(seq 200); do
  for p in /proc/[0-9]*; do
    if tr '\0' ' ' <"$p/cmdline" 2>/dev/null | grep -q 'Klangnetz_DesktopTool.exe' &&
      ! tr '\0' ' ' <"$p/cmdline" | grep -q '^timeout'; then
      program_pid=${p#/proc/}
    fi
  done
  [ -n "$program_pid" ] && [ "$(grep -c '^GET .*/listeners$' "$work/requests.log" 2>/dev/null)" -ge 3 ] && break
  sleep 0.1
done
[ -n "$program_pid" ] || { echo "bench-wine: the program did not start"; exit 1; }
sleep 3  # the first poll's drawing settles

cpu_ticks() { awk '{print $14 + $15}' "/proc/$program_pid/stat"; }
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$program_pid/status"; }
hz=$(getconf CLK_TCK)
t0=$(cpu_ticks) m0=$(rss_kib) polls0=$(grep -c '^GET .*/listeners$' "$work/requests.log")
sleep "$idle_seconds"
t1=$(cpu_ticks) m1=$(rss_kib) polls1=$(grep -c '^GET .*/listeners$' "$work/requests.log")
awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$idle_seconds" -v m0="$m0" -v m1="$m1" -v p=$((polls1 - polls0)) 'BEGIN {
  printf "IDLE seconds=%d cpu_seconds=%.2f cpu_percent=%.2f requests=%d rss_kib=%d->%d\n",
         s, t / hz, 100 * t / hz / s, p, m0, m1 }' | tee "$work/idle.txt"

# One poll of 20 stations, every answer 200 ms away; three polls per way, each way
# in a process of its own so that its first poll starts without kept connections.
mkdir -p "$work/slow"
build/native/tools/platform-sim/platform-sim --port-file "$work/slow/sim.port" --log "$work/slow/requests.log" \
  --delay-ms 200 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/slow/sim.port" ] && break; sleep 0.05; done
for titles in 0 1; do
  for parallel in 1 8; do
    timeout 300 "${wine_run[@]}" "build/$preset/bench/win/poll_bench.exe" "http://127.0.0.1:$(cat "$work/slow/sim.port")" \
      "Z:$work/slow/requests.log" "$parallel" "$titles" 3 </dev/null 2>/dev/null | grep '^POLL'
  done
done | tee "$work/poll.txt"
awk '/^POLL/ {
  split($2, p, "="); split($3, t, "="); split($4, n, "="); split($5, m, "=")
  if (n[2] > 1) { sum[p[2] " " t[2]] += m[2]; cnt[p[2] " " t[2]]++ }
}
END {
  for (k = 0; k <= 1; k++) {
    if (!cnt["1 " k] || !cnt["8 " k]) continue
    one = sum["1 " k] / cnt["1 " k]; eight = sum["8 " k] / cnt["8 " k]
    printf "POLL_RATIO titles=%d one_at_a_time_ms=%.0f eight_at_once_ms=%.0f ratio=%.1f\n", k, one, eight, one / eight
  }
}' "$work/poll.txt" | tee -a "$work/poll.txt"

# One poll of 48 stations whose answers each take 3 s: every station is asked and
# counted, eight at a time (a poll had one 15-second limit once, and dropped a third).
mkdir -p "$work/slow48"
build/native/tools/platform-sim/platform-sim --port-file "$work/slow48/sim.port" --log "$work/slow48/requests.log" \
  --delay-ms 3000 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/slow48/sim.port" ] && break; sleep 0.05; done
timeout 300 "${wine_run[@]}" "build/$preset/bench/win/poll_bench.exe" "http://127.0.0.1:$(cat "$work/slow48/sim.port")" \
  "Z:$work/slow48/requests.log" 8 0 1 48 </dev/null 2>/dev/null | grep '^POLL' | sed 's/^POLL/POLL48/' |
  tee "$work/poll48.txt"

# Start to the first overlay, against the simulator without delay.
mkdir -p "$work/startup"
cp "build/$preset/desktop/Klangnetz_DesktopTool.exe" "$work/startup/"
printf '[Konfig]\r\napi_base_url=http://127.0.0.1:%s\r\nstations=nachtradio;schoene lieder;rockwelle\r\n' \
  "$(cat "$work/sim.port")" >"$work/startup/Klangnetz_DesktopTool.ini"
timeout 600 "${wine_run[@]}" "build/$preset/bench/win/startup_bench.exe" "Z:$work/startup/Klangnetz_DesktopTool.exe" 5 \
  </dev/null 2>/dev/null | grep '^STARTUP' | tee "$work/startup.txt"

#!/usr/bin/env bash
# Demo: builds, starts the platform simulator and Klangnetz_DesktopTool.exe under Wine
# from build/demo (a private Xvfb when no display is set). Ctrl+C stops everything.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() { echo "run: $*" >&2; exit 1; }
scripts/setup.sh || fail "installing the packages failed"
# The 32-bit program where this machine can run it, else the 64-bit build.
arch=$(scripts/wine.sh arch)
preset=$(scripts/wine.sh preset "$arch") || exit 1
echo "run: $arch Wine, program from build/$preset"
cmake --preset native >/dev/null && cmake --build --preset native --target platform-sim ||
  fail "building the platform simulator failed"
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target Klangnetz_DesktopTool ||
  fail "building Klangnetz_DesktopTool ($preset) failed"

demo=$root/build/demo
state=$demo/.run
mkdir -p "$demo" "$state"
cp "build/$preset/desktop/Klangnetz_DesktopTool.exe" "$demo/"

prefix=$root/build/demo-wineprefix-$arch
pids=()
cleanup() {
  echo
  echo "run: stopping"
  [ -d "$prefix" ] && timeout 20 scripts/wine.sh "$arch" "$prefix" server -k 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rm -f "$state/sim.port"  # a stale one from an earlier run would send the program elsewhere
build/native/tools/platform-sim/platform-sim --port "${KN_SIM_PORT:-0}" --port-file "$state/sim.port" \
  --log "$state/requests.log" >"$state/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$state/sim.port" ] && break; sleep 0.05; done
[ -s "$state/sim.port" ] || fail "the platform simulator did not start: $(tail -n 3 "$state/sim.out")"
port=$(cat "$state/sim.port")
echo "run: platform simulator on http://127.0.0.1:$port (pid ${pids[0]}, requests in $state/requests.log)"

# The settings file is the demo's; it is written once and then left to the user.
if [ ! -f "$demo/Klangnetz_DesktopTool.ini" ]; then
  printf '[Konfig]\r\nstations=nachtradio;schoene lieder;rockwelle\r\nUpdateInterval=1\r\nwrite_title2file=1\r\nkeep_history=1\r\napi_base_url=http://127.0.0.1:%s\r\n' \
    "$port" >"$demo/Klangnetz_DesktopTool.ini"
else
  sed -i "s#^api_base_url=.*#api_base_url=http://127.0.0.1:$port\r#" "$demo/Klangnetz_DesktopTool.ini"
fi

if [ -z "${DISPLAY:-}" ]; then
  read -r display xvfb_pid < <(scripts/xvfb.sh 80)
  pids+=("$xvfb_pid")
  export DISPLAY=$display
  echo "run: no display set, started Xvfb on $DISPLAY (pid $xvfb_pid); screenshot: DISPLAY=$DISPLAY import -window root shot.png"
fi

echo "run: preparing the Wine prefix $prefix (once)"
scripts/wine.sh "$arch" "$prefix" prepare || fail "the Wine prefix could not be prepared"

(cd "$demo" && exec "$root/scripts/wine.sh" "$arch" "$prefix" run Klangnetz_DesktopTool.exe </dev/null >"$state/wine.out" 2>&1) &
pids+=($!)
echo "run: Klangnetz_DesktopTool.exe started from $demo (settings: $demo/Klangnetz_DesktopTool.ini)"
echo "run: press Ctrl+C to stop the program, the simulator${xvfb_pid:+ and Xvfb}"
wait "${pids[-1]}"

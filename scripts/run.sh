#!/usr/bin/env bash
# Demo: builds, starts the platform simulator and Klangnetz_DesktopTool.exe under Wine
# from build/demo (a private Xvfb when no display is set). Ctrl+C stops everything.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh || exit 1
cmake --preset native >/dev/null && cmake --build --preset native --target platform-sim || exit 1
cmake --preset windows >/dev/null && cmake --build --preset windows --target Klangnetz_DesktopTool || exit 1

demo=$root/build/demo
state=$demo/.run
mkdir -p "$demo" "$state"
cp build/windows/desktop/Klangnetz_DesktopTool.exe "$demo/"

pids=()
cleanup() {
  echo
  echo "run: stopping"
  [ -n "${WINEPREFIX:-}" ] && timeout 20 wineserver -k 2>/dev/null
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
port=$(cat "$state/sim.port")
echo "run: platform simulator on http://127.0.0.1:$port (pid ${pids[0]}, requests in $state/requests.log)"

# The settings file is the demo's; it is written once and then left to the user.
if [ ! -f "$demo/Klangnetz_DesktopTool.ini" ]; then
  printf '[Konfig]\r\nstations=nachtradio;schoene lieder;rockwelle\r\nUpdateInterval=1\r\nwrite_title2file=1\r\napi_base_url=http://127.0.0.1:%s\r\n' \
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

export WINEPREFIX=$root/build/demo-wineprefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
flock "$WINEPREFIX.lock" scripts/wine-prefix.sh "$WINEPREFIX" || exit 1

(cd "$demo" && exec wine Klangnetz_DesktopTool.exe </dev/null >"$state/wine.out" 2>&1) &
pids+=($!)
echo "run: Klangnetz_DesktopTool.exe started from $demo (settings: $demo/Klangnetz_DesktopTool.ini)"
echo "run: press Ctrl+C to stop the program, the simulator${xvfb_pid:+ and Xvfb}"
wait "${pids[-1]}"

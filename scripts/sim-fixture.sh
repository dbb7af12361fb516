#!/usr/bin/env bash
# ctest fixture: starts or stops the platform simulator for the tests under Wine.
# Usage: sim-fixture.sh start|stop SIM_BINARY STATE_DIR
set -euo pipefail
cmd=$1 bin=$2 dir=$3
case $cmd in
  start)
    [ -x "$bin" ] || { echo "simulator not built: $bin (build the native preset first)"; exit 1; }
    if [ -f "$dir/sim.pid" ] && kill -0 "$(cat "$dir/sim.pid")" 2>/dev/null; then
      kill "$(cat "$dir/sim.pid")" || true
    fi
    mkdir -p "$dir"
    rm -f "$dir/sim.port" "$dir/outage.port" "$dir/requests.log"
    setsid "$bin" --port 0 --port-file "$dir/sim.port" --outage-port-file "$dir/outage.port" --log "$dir/requests.log" >"$dir/sim.out" 2>&1 </dev/null &
    echo $! >"$dir/sim.pid"
    for _ in $(seq 100); do [ -s "$dir/sim.port" ] && exit 0; sleep 0.05; done
    echo "simulator did not start"; exit 1 ;;
  stop)
    if [ -f "$dir/sim.pid" ]; then
      kill "$(cat "$dir/sim.pid")" 2>/dev/null || true
      rm -f "$dir/sim.pid"
    fi ;;
esac

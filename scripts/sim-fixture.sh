#!/usr/bin/env bash
# ctest fixture: starts or stops the platform simulator for the tests under Wine.
# Usage: sim-fixture.sh start|stop SIM_BINARY STATE_DIR [CA_DIR]
# The plain simulator's port is in STATE_DIR/sim.port, its log in STATE_DIR/requests.log;
# STATE_DIR/outage.port holds its outage port and STATE_DIR/silent-tls.port a port that
# takes connections and never answers a TLS handshake (its lines go to requests.log too).
# With CA_DIR (see test-ca.sh) three HTTPS simulators start beside the plain one, each
# with its port in STATE_DIR/NAME.port and its log in STATE_DIR/NAME.log: "tls" with a
# certificate the test authority signed for 127.0.0.1, "tls-wrong-name" with one it
# signed for another name, "tls-untrusted" with one signed by nobody.
set -euo pipefail
cmd=$1 bin=$2 dir=$3 ca=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

stop() {
  [ -f "$dir/sim.pid" ] || return 0
  while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$dir/sim.pid"
  rm -f "$dir/sim.pid"
}

case $cmd in
  start)
    [ -x "$bin" ] || { echo "simulator not built: $bin (build the native preset first)"; exit 1; }
    stop
    mkdir -p "$dir"
    rm -f "$dir"/*.port "$dir"/*.log
    setsid "$bin" --port 0 --port-file "$dir/sim.port" --outage-port-file "$dir/outage.port" \
      --silent-tls-port-file "$dir/silent-tls.port" --log "$dir/requests.log" >"$dir/sim.out" 2>&1 </dev/null &
    echo $! >"$dir/sim.pid"
    ports=(sim silent-tls)
    if [ -n "$ca" ]; then
      "$here/test-ca.sh" "$ca" || { echo "the test certificates could not be made in $ca"; exit 1; }
      for name in tls:server tls-wrong-name:wrong-name tls-untrusted:untrusted; do
        n=${name%%:*} cert=$ca/${name#*:}
        setsid "$bin" --port 0 --port-file "$dir/$n.port" --log "$dir/$n.log" --tls-cert "$cert.pem" \
          --tls-key "$cert.key" >"$dir/$n.out" 2>&1 </dev/null &
        echo $! >>"$dir/sim.pid"
        ports+=("$n")
      done
    fi
    for _ in $(seq 100); do
      missing=0
      for n in "${ports[@]}"; do [ -s "$dir/$n.port" ] || missing=1; done
      [ $missing -eq 0 ] && exit 0
      sleep 0.05
    done
    echo "simulator did not start:"
    tail -n 3 "$dir"/*.out
    exit 1 ;;
  stop) stop ;;
esac

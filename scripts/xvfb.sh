#!/usr/bin/env bash
# Starts Xvfb on a free display. Prints "DISPLAY PID". Usage: xvfb.sh [first-display-number]
set -euo pipefail
n=${1:-90}
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pid=$!
for _ in $(seq 50); do
  [ -e /tmp/.X11-unix/X$n ] && break
  sleep 0.1
done
echo ":$n $pid"

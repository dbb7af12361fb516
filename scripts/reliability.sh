#!/usr/bin/env bash
# The figures of the README's "Reliability" section: runs the fault-injection,
# bad-input and soak tests under Wine and reads the last fuzz run's logs
# (scripts/fuzz.sh SECONDS first for long runs). Prints markdown.
# Usage: scripts/reliability.sh
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh || exit 1
arch=$(scripts/wine.sh arch)
preset=$(scripts/wine.sh preset "$arch") || exit 1
echo "reliability: $arch Wine, tests of build/$preset" >&2
cmake --preset native >/dev/null && cmake --build --preset native --target platform-sim >/dev/null || exit 1
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null || exit 1
prefix=$root/build/$preset/wineprefix

xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  timeout 20 scripts/wine.sh "$arch" "$prefix" server -k 2>/dev/null
}
trap cleanup EXIT
read -r display xvfb_pid < <(scripts/xvfb.sh 150)
export DISPLAY=$display
scripts/wine.sh "$arch" "$prefix" prepare || exit 1

log=$root/build/reliability-tests.log
rm -f "build/$preset/soak-figures.txt"
ctest --preset "$preset" -R '^(sim_start|sim_stop|fault_tests|bad_input_tests|soak_tests)$' -V >"$log" 2>&1
status=$?

echo "### Faults and bad input (the real program under Wine, $(date -u +%Y-%m-%d))"
echo
echo "| case | result |"
echo "|---|---|"
# gtest prints "[       OK ] Suite.Name (N ms)" per case; ctest prefixes "N: ".
grep -E '\[ +(OK|FAILED) +\] (Faults|BadInput)\.' "$log" | sed -E 's/^[0-9]+: //' | sort -u |
  sed -E 's/^\[ +(OK|FAILED) +\] ([A-Za-z]+)\.([A-Za-z]+) \(([0-9]+) ms\)$/| \2: \3 | \1 (\4 ms) |/'

echo
echo "### Soak (one process under $arch Wine)"
echo
if [ -s "build/$preset/soak-figures.txt" ]; then
  sed -E 's/^SOAK /    /' "build/$preset/soak-figures.txt" | tr ' ' '\n' | grep -v '^$' | sed 's/^/- /'
else
  echo "- no soak figures (the soak test did not finish; see $log)"
fi

echo
echo "### Fuzzing (last scripts/fuzz.sh run)"
echo
echo "| target | executions | exec/s | seconds | crashes |"
echo "|---|---|---|---|---|"
for name in json ini cipher settings poll; do
  f=build/fuzz/logs/$name.log
  [ -f "$f" ] || { echo "| $name | not run | | | |"; continue; }
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$f" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$f" | tail -1)
  secs=$(sed -nE 's/^Done [0-9]+ runs in ([0-9]+) second.*/\1/p' "$f" | tail -1)
  crashes=$(find "build/fuzz/artifacts/$name" -type f 2>/dev/null | wc -l)
  echo "| $name | ${execs:-?} | ${rate:-?} | ${secs:-?} | $crashes |"
done
exit $status

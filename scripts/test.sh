#!/usr/bin/env bash
# Builds both presets and runs every test: native ones directly, Windows ones under
# Wine (a private Xvfb for the GUI tests). Exit code non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh || exit 1

status=0
cleanup() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  if [ -d build/windows/wineprefix ]; then
    WINEPREFIX=$root/build/windows/wineprefix timeout 20 wineserver -k 2>/dev/null
  fi
}
trap cleanup EXIT

echo "== native build"
cmake --preset native >/dev/null && cmake --build --preset native || exit 1
echo "== native build with sanitizers"
cmake --preset native-asan >/dev/null && cmake --build --preset native-asan || exit 1
echo "== windows build"
cmake --preset windows >/dev/null && cmake --build --preset windows || exit 1

echo "== native tests"
ctest --preset native 2>&1 | tee build/native-tests.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1

echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --preset native-asan 2>&1 | tee build/native-asan-tests.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1

echo "== fuzz targets, a short run each"
# Logs of these short runs stay apart from the long runs' figures.
FUZZ_LOG_DIR=$root/build/fuzz/smoke-logs scripts/fuzz.sh "${KN_FUZZ_SMOKE_SECONDS:-20}" 2>&1 | tee build/fuzz-smoke.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1

echo "== windows tests (Wine)"
read -r display xvfb_pid < <(scripts/xvfb.sh 90)
export DISPLAY=$display
export WINEPREFIX=$root/build/windows/wineprefix
flock "$WINEPREFIX.lock" scripts/wine-prefix.sh "$WINEPREFIX" || exit 1
ctest --preset windows 2>&1 | tee build/windows-tests.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1

echo "== summary"
for log in build/native-tests.log build/native-asan-tests.log build/windows-tests.log; do
  printf '%s: %s\n' "$(basename "$log" -tests.log)" "$(grep -E 'tests passed' "$log" | tail -1)"
done
printf 'fuzz: %s targets ran without a crash\n' "$(sed -n '/^== summary/,$p' build/fuzz-smoke.log | grep -cE '^[a-z]+ +executions=.*crashes=0$')"
[ $status -eq 0 ] && echo "ALL TESTS PASSED" || echo "SOME TESTS FAILED"
exit $status

#!/usr/bin/env bash
# Builds every preset and runs every test: native ones directly, Windows ones under
# Wine (a private Xvfb for the GUI tests): the 64-bit build everywhere, the 32-bit build
# too where this machine can run 32-bit programs. Exit code non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
logs=$root/build/test-logs
mkdir -p "$logs"

status=0
problems=()   # parts that failed or did not run, for the summary
fail() {
  status=1
  problems+=("$1")
  echo "test: FAILED: $1" >&2
}

# Runs a step with its output in a log; on failure shows the log's end.
step() {
  local name=$1 log=$logs/$2.log
  shift 2
  "$@" >"$log" 2>&1
  local rc=$?
  [ $rc -eq 0 ] && return 0
  fail "$name (exit $rc; $log)"
  tail -n 25 "$log" | sed 's/^/  | /' >&2
  return 1
}

echo "== layers of desktop/"
step "layering check (scripts/check-layers.sh)" layers scripts/check-layers.sh && echo "every include points down"
echo "== duplicate blocks in the product"
step "duplicate-lines check (scripts/check-duplicates.py)" duplicates python3 scripts/check-duplicates.py &&
  echo "no block of 10 or more lines stands in two product files"

echo "== set-up"
if ! scripts/setup.sh; then
  echo "test: installing the packages failed (see above); nothing was built or run" >&2
  echo "SOME TESTS FAILED"
  exit 1
fi

echo "== 32-bit programs"
arch32=$(scripts/wine.sh probe 2>"$logs/probe.log")
if [ "$arch32" = win32 ]; then
  echo "this machine runs 32-bit programs: Windows tests of both builds (64-bit and 32-bit Wine)"
  arches=(win64 win32)
else
  echo "this machine cannot run 32-bit programs ($(cat "$logs/probe.log")): Windows tests of the 64-bit build only; the 32-bit build is built and checked statically"
  arches=(win64)
fi

xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  for a in win32 win64; do
    for p in "$root/build/$(scripts/wine.sh preset $a)"/wineprefix*/; do
      [ -d "$p" ] && timeout 20 scripts/wine.sh $a "${p%/}" server -k 2>/dev/null
    done
  done
}
trap cleanup EXIT

declare -A built
for preset in native native-asan windows windows64; do
  echo "== build $preset"
  if step "build of preset $preset" "build-$preset" \
    sh -c "cmake --preset $preset && cmake --build --preset $preset"; then
    built[$preset]=1
  fi
done

echo "== release zips"
release_note="not made (a Windows build failed)"
if [ -n "${built[windows]:-}" ] && [ -n "${built[windows64]:-}" ]; then
  if step "release zips (scripts/package.sh)" package env KN_PACKAGE_BUILD=0 scripts/package.sh; then
    cp dist/SHA256SUMS "$logs/SHA256SUMS.first"
    if step "release zips made a second time" package-again env KN_PACKAGE_BUILD=0 scripts/package.sh &&
      cmp -s dist/SHA256SUMS "$logs/SHA256SUMS.first"; then
      release_note="$(ls dist/*.zip | xargs -n1 basename | tr '\n' ' ')- the same bytes when made again"
    else
      fail "release zips differ when made a second time"
      release_note="made, but not the same bytes the second time"
    fi
  else
    release_note="scripts/package.sh failed"
  fi
fi
echo "$release_note"

run_ctest() {  # preset log-name
  local preset=$1 log=$root/build/$2-tests.log
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "tests of preset $preset ($log)"
}

echo "== native tests (with the static checks of both Windows builds)"
if [ -n "${built[native]:-}" ]; then run_ctest native native; else fail "native tests: not run (build failed)"; fi

echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
if [ -n "${built[native-asan]:-}" ]; then run_ctest native-asan native-asan; else fail "sanitizer tests: not run (build failed)"; fi

echo "== Inivault's file cases as an unprivileged user"
# Mode bits do not bind root: the permission cases mean most when a plain user runs them.
iv_tests=build/native/tests/unit/inivault/inivault_tests
nobody_note=
if [ "$(id -u)" -ne 0 ]; then
  nobody_note="not needed: the native tests already ran as an unprivileged user"
elif [ -z "${built[native]:-}" ]; then
  nobody_note="not run (build failed)"
elif ! command -v runuser >/dev/null || ! runuser -u nobody -- test -x "$iv_tests" 2>/dev/null; then
  nobody_note="not run: user nobody cannot reach $iv_tests here"
else
  iv_tmp=$(mktemp -d)
  chmod 777 "$iv_tmp"
  runuser -u nobody -- env TMPDIR="$iv_tmp" timeout 300 "$iv_tests" --gtest_filter='InivaultFile*:InivaultExports*' \
    2>&1 | tee build/inivault-nobody-tests.log
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "Inivault's file cases as nobody (build/inivault-nobody-tests.log)"
  rm -rf "$iv_tmp"
fi
[ -n "$nobody_note" ] && echo "$nobody_note"

echo "== fuzz targets, a short run each"
# Logs of these short runs stay apart from the long runs' figures.
FUZZ_LOG_DIR=$root/build/fuzz/smoke-logs scripts/fuzz.sh "${KN_FUZZ_SMOKE_SECONDS:-20}" 2>&1 | tee build/fuzz-smoke.log
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "fuzz smoke runs (build/fuzz-smoke.log)"

if read -r display xvfb_pid < <(scripts/xvfb.sh 90) && [ -n "${xvfb_pid:-}" ]; then
  export DISPLAY=$display
else
  fail "Xvfb did not start: the Windows tests need a display"
fi
for arch in "${arches[@]}"; do
  preset=$(scripts/wine.sh preset "$arch")
  echo "== windows tests of $preset ($arch Wine)"
  if [ -z "${built[$preset]:-}" ]; then
    fail "Windows tests of $preset: not run (build failed)"
    continue
  fi
  if ! scripts/wine.sh "$arch" "$root/build/$preset/wineprefix" prepare ||
    ! KN_WINE_DPI=192 scripts/wine.sh "$arch" "$root/build/$preset/wineprefix-192dpi" prepare; then
    fail "Windows tests of $preset: not run (the $arch Wine prefixes could not be prepared)"
    continue
  fi
  # The zip of this architecture unpacked as a user would, for the release smoke test.
  export KN_RELEASE_DIR=
  zip=$(ls dist/Klangnetz_DesktopTool-*-"$arch".zip 2>/dev/null | head -1)
  if [ -n "$zip" ]; then
    smoke="$root/build/$preset/release-smoke/Meine Programme ä"
    rm -rf "$root/build/$preset/release-smoke"
    mkdir -p "$smoke"
    unzip -q "$zip" -d "$smoke" && KN_RELEASE_DIR="$smoke/$(basename "$zip" .zip)"
  fi
  run_ctest "$preset" "$preset"
done

# "name status" for every ctest entry of a log, and the entries the preset defines.
results() { sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+[* ]*([A-Za-z]+( [A-Za-z]+)*).*/\1 \2/p' "$1"; }
defined() { ctest --preset "$1" -N 2>/dev/null | sed -nE 's/^ *Test +#[0-9]+: (.+)$/\1/p'; }

echo
echo "== summary"
for preset in native native-asan; do
  log=build/$preset-tests.log
  [ -f "$log" ] || continue
  printf '%s: %s\n' "$preset" "$(grep -E 'tests passed' "$log" | tail -1)"
  skipped=$(results "$log" | awk '$2 == "Skipped" {print $1}' | tr '\n' ' ')
  [ -n "$skipped" ] && printf '  skipped: %s\n' "$skipped"
done
if [ -n "$nobody_note" ]; then
  echo "inivault as nobody: $nobody_note"
elif [ -f build/inivault-nobody-tests.log ]; then
  printf 'inivault as nobody: %s\n' "$(grep -E '^\[  (PASSED|FAILED) +\]' build/inivault-nobody-tests.log | tr -s ' ' | tr '\n' ' ')"
  skipped=$(sed -nE 's/^\[  SKIPPED \] ([A-Za-z_.]+)$/\1/p' build/inivault-nobody-tests.log | tr '\n' ' ')
  [ -n "$skipped" ] && printf '  skipped: %s\n' "$skipped"
fi
for a in win32 win64; do
  printf 'static checks of the %s program and DLL: %s\n' "$a" \
    "$( { [ -f build/native-tests.log ] && results build/native-tests.log; } | awk -v t="binaries_$a" '$1 == t {print $2}' | grep . || echo 'not run')"
done
echo "release: $release_note"
printf 'fuzz: %s targets ran without a crash\n' "$(sed -n '/^== summary/,$p' build/fuzz-smoke.log 2>/dev/null | grep -cE '^[a-z]+ +executions=.*crashes=0$')"
for arch in win64 win32; do
  preset=$(scripts/wine.sh preset "$arch")
  log=build/$preset-tests.log
  if [[ " ${arches[*]} " != *" $arch "* ]]; then
    echo "$preset: not run here (no 32-bit programs on this machine)"
    continue
  fi
  passed=() others=()
  while read -r name; do
    st=$( [ -f "$log" ] && results "$log" | awk -v n="$name" '$1 == n {$1 = ""; print substr($0, 2)}' | tail -1)
    if [ "$st" = Passed ]; then passed+=("$name"); else others+=("$name (${st:-not run})"); fi
  done < <(defined "$preset")
  echo "$preset ($arch Wine): ${#passed[@]} passed: ${passed[*]}"
  if [ ${#others[@]} -gt 0 ]; then
    echo "$preset ($arch Wine): NOT PASSED: ${others[*]}"
    [[ " ${problems[*]} " == *"$preset"* ]] || fail "Windows tests of $preset that did not pass"
  fi
done
if [ ${#problems[@]} -gt 0 ]; then
  echo "did not pass or did not run:"
  printf '  - %s\n' "${problems[@]}"
fi
echo "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
[ $status -eq 0 ] && echo "ALL TESTS PASSED" || echo "SOME TESTS FAILED"
exit $status

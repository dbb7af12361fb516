#!/usr/bin/env bash
# Builds what the chosen stages need and runs them; with no arguments every stage,
# as CI does. Windows tests run under Wine (a private Xvfb for the GUI tests): the
# 64-bit build everywhere, the 32-bit build where this machine can run 32-bit programs.
#
#   scripts/test.sh [--only STAGE[,STAGE...]]... [--plan]
#
#   native    the native preset's tests (unit tests, layering, static checks of the
#             Windows binaries), with the layering and duplicate-lines checks first
#   asan      the native tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   nobody    Inivault's file cases as the unprivileged user nobody (when run as root)
#   fuzz      every fuzz target for a short run (KN_FUZZ_SMOKE_SECONDS, default 20)
#   win64     the Windows tests of preset windows64 under 64-bit Wine
#   win32     the Windows tests of preset windows under 32-bit Wine
#   release   the release zips, made twice: the same bytes both times
#   consumer  the library as another project gets it: the native preset's tests
#             inivault_install* and inivault_deb*
#
#   --plan    prints the stages this machine would run and those it would leave out,
#             with the reason, and builds, installs and starts nothing
#
# The summary comes from ctest's own JUnit output (GoogleTest's XML for the nobody
# run). It lists every part that failed or did not run; the last line is ALL TESTS
# PASSED or SOME TESTS FAILED, and the exit code is non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
logs=$root/build/test-logs
mkdir -p "$logs"

all_stages=(native asan nobody fuzz win64 win32 release consumer)
consumer_tests='^inivault_(install|deb)'

usage() {  # [exit code]: the header, from the synopsis to the paragraph on the summary
  sed -n '/^#   scripts\/test.sh/,/^# The summary/{/^# The summary/!p}' "$0" | sed 's/^# \{0,1\}//' >&2
  exit "${1:-2}"
}

# --- which stages ----------------------------------------------------------------
declare -A want=()
plan=
while [ $# -gt 0 ]; do
  case $1 in
    --only) [ $# -ge 2 ] || usage; list=$2; shift 2 ;;
    --only=*) list=${1#--only=}; shift ;;
    --plan) plan=1; shift; continue ;;
    -h | --help) usage 0 ;;
    *) usage ;;
  esac
  IFS=, read -ra chosen <<<"$list"
  for s in "${chosen[@]}"; do
    [[ " ${all_stages[*]} " == *" $s "* ]] || { echo "test: unknown stage '$s'" >&2; usage; }
    want[$s]=1
  done
done
partial=1
if [ ${#want[@]} -eq 0 ]; then
  partial=
  for s in "${all_stages[@]}"; do want[$s]=1; done
fi
wants() { [ -n "${want[$1]:-}" ]; }

# --- bookkeeping -----------------------------------------------------------------
status=0
problems=()   # parts that failed or could not run: each makes the run fail
not_run=()    # parts this run left out on purpose, or that this machine cannot run
fail() {
  status=1
  problems+=("$1")
  echo "test: FAILED: $1" >&2
}

# Runs a command with its output in a log; on failure shows the log's end.
step() {  # description log-name command...
  local name=$1 log=$logs/$2.log
  shift 2
  "$@" >"$log" 2>&1
  local rc=$?
  [ $rc -eq 0 ] && return 0
  fail "$name (exit $rc; $log)"
  tail -n 25 "$log" | sed 's/^/  | /' >&2
  return 1
}

# Configures and builds a preset once per run (only the given targets, if any);
# true when it built.
declare -A built=()
build() {  # preset [target...]
  local preset=$1 key=$*
  shift
  if [ -z "${built[$key]:-}" ]; then
    echo "== build $key"
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    if step "build of $key" "build-${key// /-}" \
      sh -c 'cmake --preset "$0" && cmake --build --preset "$0" "$@"' "$preset" "${targets[@]}"; then
      built[$key]=ok
    else
      built[$key]=failed
    fi
  fi
  [ "${built[$key]}" = ok ]
}

# Runs a preset's tests with their results in JUnit form, beside the list of the
# tests ctest would run, so tests that never ran show too.
run_ctest() {  # description preset result-name [ctest arguments...]
  local what=$1 preset=$2 name=$3
  shift 3
  rm -f "$logs/$name.xml"
  ctest --preset "$preset" --show-only=json-v1 "$@" >"$logs/$name.defined.json" 2>/dev/null
  ctest --preset "$preset" --output-junit "$logs/$name.xml" "$@" 2>&1 | tee "$logs/$name.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "$what ($logs/$name.log)"
}

# "status name" for each test of a result set (passed, failed, skipped, notrun).
results() {  # result-name
  local defined=()
  [ -f "$logs/$1.defined.json" ] && defined=(--defined "$logs/$1.defined.json")
  python3 scripts/junit.py "${defined[@]}" "$logs/$1.xml"
}

# One line of counts, then the names of the tests that did not pass.
summarize() {  # label result-name
  local label=$1 lines
  lines=$(results "$2")
  local passed failed skipped notrun
  passed=$(grep -c '^passed ' <<<"$lines")
  failed=$(grep '^failed ' <<<"$lines" | cut -d' ' -f2- | tr '\n' ' ')
  skipped=$(grep '^skipped ' <<<"$lines" | cut -d' ' -f2- | tr '\n' ' ')
  notrun=$(grep '^notrun ' <<<"$lines" | cut -d' ' -f2- | tr '\n' ' ')
  echo "$label: $passed passed"
  [ -n "$failed" ] && echo "  failed: $failed"
  [ -n "$skipped" ] && echo "  skipped: $skipped"
  [ -n "$notrun" ] && echo "  not run: $notrun"
  return 0
}


# --- static checks, with the native stage ----------------------------------------
if wants native && [ -z "$plan" ]; then
  echo "== layers of desktop/ and filesafe/"
  step "layering check (scripts/check-layers.sh)" layers scripts/check-layers.sh && echo "every include points down"
  echo "== duplicate blocks in the product"
  step "duplicate-lines check (scripts/check-duplicates.py)" duplicates python3 scripts/check-duplicates.py &&
    echo "no block of 6 or more lines (includes aside) stands in two product files"
fi

# Where scripts/setup.sh says why it could not install 32-bit Wine.
setup_note=${KN_SETUP_NOTE:-$root/build/setup-win32.txt}
if [ -z "$plan" ]; then
  echo "== set-up"
  if ! scripts/setup.sh; then
    echo "test: installing the packages every stage needs failed (see above); nothing was built or run" >&2
    echo "SOME TESTS FAILED"
    exit 1
  fi
fi

# --- which Windows architectures this machine runs --------------------------------
probe_log=$(mktemp)
arch32=$(scripts/wine.sh probe 2>"$probe_log")
arches=()
wants win64 && arches+=(win64)
if wants win32; then
  if [ "$arch32" = win32 ]; then
    arches+=(win32)
  elif [ -s "$setup_note" ]; then
    echo "$(cat "$setup_note"): no Windows tests of the 32-bit build"
    not_run+=("windows (win32 Wine): $(cat "$setup_note")")
  else
    echo "this machine cannot run 32-bit programs ($(cat "$probe_log")): no Windows tests of the 32-bit build"
    not_run+=("windows (win32 Wine): this machine cannot run 32-bit programs")
  fi
fi
rm -f "$probe_log"

if [ -n "$plan" ]; then
  run=()
  for s in "${all_stages[@]}"; do
    case $s in
      win32 | win64) [[ " ${arches[*]} " == *" $s "* ]] && run+=("$s") ;;
      *) wants "$s" && run+=("$s") ;;
    esac
  done
  echo "plan: run: ${run[*]}"
  for n in "${not_run[@]}"; do echo "plan: not run: $n"; done
  exit 0
fi

# The display and the Wine servers of this run's Windows tests end with it.
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  for a in "${arches[@]}"; do
    for p in "$root/build/$(scripts/wine.sh preset "$a")"/wineprefix*/; do
      [ -d "$p" ] && timeout 20 scripts/wine.sh "$a" "${p%/}" server -k 2>/dev/null
    done
  done
}
trap cleanup EXIT

# --- builds ------------------------------------------------------------------------
# Before any test: the native tests read both Windows builds, the release packs them.
if wants native || wants nobody || wants consumer; then build native; fi
wants asan && build native-asan
if wants release || [ -z "$partial" ]; then
  build windows
  build windows64
fi
for arch in "${arches[@]}"; do build "$(scripts/wine.sh preset "$arch")"; done
# The Windows tests ask the platform simulator, a native program.
[ ${#arches[@]} -gt 0 ] && build native platform-sim
if wants consumer; then
  # The installs of the Windows trees there are, brought up to date.
  for preset in windows windows64; do
    [ -f "build/$preset/CMakeCache.txt" ] && build "$preset" Inivault
  done
fi

# --- release zips ------------------------------------------------------------------
release_note=
release_made=
if wants release; then
  echo "== release zips"
  release_note="not made (a Windows build failed)"
  if [ "${built[windows]:-}" = ok ] && [ "${built[windows64]:-}" = ok ]; then
    if step "release zips (scripts/package.sh)" package env KN_PACKAGE_BUILD=0 scripts/package.sh; then
      release_made=1
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
  else
    fail "release zips: $release_note"
  fi
  echo "$release_note"
fi

# --- native tests ------------------------------------------------------------------
if wants native; then
  echo "== native tests (with the static checks of both Windows builds)"
  if [ "${built[native]:-}" = ok ]; then
    run_ctest "tests of preset native" native native -E "$consumer_tests"
  else
    fail "native tests: not run (build failed)"
  fi
fi

if wants consumer; then
  echo "== the library as another project gets it"
  if [ "${built[native]:-}" = ok ]; then
    run_ctest "Inivault's install and package tests" native consumer -R "$consumer_tests"
  else
    fail "Inivault's install and package tests: not run (build failed)"
  fi
fi

if wants asan; then
  echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  if [ "${built[native-asan]:-}" = ok ]; then
    run_ctest "tests of preset native-asan" native-asan native-asan
  else
    fail "sanitizer tests: not run (build failed)"
  fi
fi

# --- Inivault as nobody ------------------------------------------------------------
nobody_note=
if wants nobody; then
  echo "== Inivault's file cases as an unprivileged user"
  # Mode bits do not bind root: the permission cases mean most when a plain user runs them.
  iv_tests=build/native/tests/unit/inivault/inivault_tests
  rm -f "$logs/inivault-nobody.xml"
  if [ "$(id -u)" -ne 0 ]; then
    nobody_note="not needed: the native tests already ran as an unprivileged user"
  elif [ "${built[native]:-}" != ok ]; then
    nobody_note="not run (build failed)"
    fail "Inivault's file cases as nobody: not run (build failed)"
  elif ! command -v runuser >/dev/null || ! runuser -u nobody -- test -x "$iv_tests" 2>/dev/null; then
    nobody_note="not run: user nobody cannot reach $iv_tests here"
  else
    iv_tmp=$(mktemp -d)
    chmod 777 "$iv_tmp"
    runuser -u nobody -- env TMPDIR="$iv_tmp" timeout 300 "$iv_tests" --gtest_filter='InivaultFile*:InivaultExports*' \
      --gtest_output="xml:$iv_tmp/results.xml" 2>&1 | tee "$logs/inivault-nobody.log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || fail "Inivault's file cases as nobody ($logs/inivault-nobody.log)"
    cp "$iv_tmp/results.xml" "$logs/inivault-nobody.xml" 2>/dev/null
    rm -rf "$iv_tmp"
  fi
  [ -n "$nobody_note" ] && echo "$nobody_note"
fi

# --- fuzzing -----------------------------------------------------------------------
if wants fuzz; then
  echo "== fuzz targets, a short run each"
  # Logs of these short runs stay apart from the long runs' figures.
  FUZZ_LOG_DIR=$root/build/fuzz/smoke-logs scripts/fuzz.sh "${KN_FUZZ_SMOKE_SECONDS:-20}" 2>&1 |
    tee "$logs/fuzz-smoke.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "fuzz smoke runs ($logs/fuzz-smoke.log)"
fi

# --- Windows tests -----------------------------------------------------------------
if [ ${#arches[@]} -gt 0 ]; then
  if read -r display xvfb_pid < <(scripts/xvfb.sh 90) && [ -n "${xvfb_pid:-}" ]; then
    export DISPLAY=$display
  else
    fail "Xvfb did not start: the Windows tests need a display"
  fi
fi
for arch in "${arches[@]}"; do
  preset=$(scripts/wine.sh preset "$arch")
  echo "== windows tests of $preset ($arch Wine)"
  if [ "${built[$preset]:-}" != ok ] || [ "${built[native platform-sim]:-}" != ok ]; then
    fail "Windows tests of $preset: not run (build failed)"
    continue
  fi
  if ! scripts/wine.sh "$arch" "$root/build/$preset/wineprefix" prepare ||
    ! KN_WINE_DPI=192 scripts/wine.sh "$arch" "$root/build/$preset/wineprefix-192dpi" prepare; then
    fail "Windows tests of $preset: not run (the $arch Wine prefixes could not be prepared)"
    continue
  fi
  # This run's zip of the architecture, unpacked as a user would, for the release
  # smoke test (which skips without one).
  export KN_RELEASE_DIR=
  zip=$(ls dist/Klangnetz_DesktopTool-*-"$arch".zip 2>/dev/null | head -1)
  if [ -n "$release_made" ] && [ -n "$zip" ]; then
    smoke="$root/build/$preset/release-smoke/Meine Programme ä"
    rm -rf "$root/build/$preset/release-smoke"
    mkdir -p "$smoke"
    unzip -q "$zip" -d "$smoke" && KN_RELEASE_DIR="$smoke/$(basename "$zip" .zip)"
  fi
  run_ctest "tests of preset $preset" "$preset" "$preset"
done

# True when a failure of this preset's Windows tests is on the list already.
counted() {  # preset
  local p
  for p in "${problems[@]}"; do
    [[ $p == "tests of preset $1 ("* || $p == "Windows tests of $1:"* ]] && return 0
  done
  return 1
}

# --- summary -----------------------------------------------------------------------
echo
echo "== summary"
wants native && summarize native native
wants consumer && summarize "consumer (inivault_install*, inivault_deb*)" consumer
wants asan && summarize native-asan native-asan
if wants nobody; then
  if [ -n "$nobody_note" ]; then
    echo "inivault as nobody: $nobody_note"
  else
    summarize "inivault as nobody" inivault-nobody
  fi
fi
if wants native; then
  for a in win32 win64; do
    st=$(results native | awk -v t="binaries_$a" '$2 == t {print $1}')
    echo "static checks of the $a program and DLL: ${st:-not run}"
  done
fi
wants release && echo "release: $release_note"
if wants fuzz; then
  printf 'fuzz: %s targets ran without a crash\n' \
    "$(sed -n '/^== summary/,$p' "$logs/fuzz-smoke.log" 2>/dev/null | grep -cE '^[a-z]+ +executions=.*crashes=0$')"
fi
for arch in "${arches[@]}"; do
  preset=$(scripts/wine.sh preset "$arch")
  lines=$(results "$preset")
  # Without this run's zips the release smoke test skips, as it should.
  if [ -z "$release_made" ] && grep -qx 'skipped release_smoke_tests' <<<"$lines"; then
    lines=$(grep -vx 'skipped release_smoke_tests' <<<"$lines")
    not_run+=("release_smoke_tests of $preset: no release zips made in this run")
  fi
  passed=$(awk '$1 == "passed" {print $2}' <<<"$lines" | tr '\n' ' ')
  others=$(awk '$1 != "passed" && NF {printf "%s (%s) ", $2, $1 == "notrun" ? "not run" : $1}' <<<"$lines")
  echo "$preset ($arch Wine): $(wc -w <<<"$passed") passed: $passed"
  if [ -n "$others" ]; then
    echo "$preset ($arch Wine): NOT PASSED: $others"
    counted "$preset" || fail "Windows tests of $preset that did not pass"
  elif [ -z "$lines" ]; then
    counted "$preset" || fail "Windows tests of $preset: no results"
  fi
done
if [ -n "$partial" ]; then
  for s in "${all_stages[@]}"; do wants "$s" || not_run+=("$s: not chosen (--only)"); done
fi
if [ ${#problems[@]} -gt 0 ]; then
  echo "did not pass or did not run:"
  printf '  - %s\n' "${problems[@]}"
fi
if [ ${#not_run[@]} -gt 0 ]; then
  echo "not run in this run:"
  printf '  - %s\n' "${not_run[@]}"
fi
echo "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
[ $status -eq 0 ] && echo "ALL TESTS PASSED" || echo "SOME TESTS FAILED"
exit $status

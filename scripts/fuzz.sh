#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for the given
# number of seconds, one after another.
#
#   scripts/fuzz.sh [seconds] [target...]     default: 600 seconds, every target
#
# Each target starts from its committed inputs in fuzz/corpus/<name>, copied into a
# work corpus build/fuzz/work/<name> that keeps growing across runs (the committed
# corpus stays small). Crash inputs land in build/fuzz/artifacts/<name>/.
# Prints one summary line per target; exits non-zero when a target found a crash.
# Logs go to build/fuzz/logs/ (FUZZ_LOG_DIR chooses another folder).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

seconds="${1:-600}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(json ini cipher settings poll history)
fi
case "$seconds" in
  '' | *[!0-9]*) echo "fuzz.sh: seconds must be a number, got '$seconds'" >&2; exit 2 ;;
esac

build="$root/build/fuzz"
# Runs take turns: two at once would build and fill the same folders.
mkdir -p "$build"
exec 9>"$build/.fuzz-run.lock"
if ! flock -n 9; then
  echo "fuzz.sh: another run is using $build; waiting for it to finish" >&2
  flock 9
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

summary=()
failed=0
for name in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$name"
  if [ ! -x "$bin" ]; then
    echo "fuzz.sh: no target $name ($bin)" >&2
    exit 2
  fi
  work="$build/work/$name"
  artifacts="$build/artifacts/$name"
  log="${FUZZ_LOG_DIR:-$build/logs}/$name.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  cp -f "$root/fuzz/corpus/$name/"* "$work/"

  dict=()
  if [ -f "$root/fuzz/$name.dict" ]; then
    dict=("-dict=$root/fuzz/$name.dict")
  fi

  found_before=$(find "$artifacts" -type f | wc -l)
  echo "== fuzz_$name for ${seconds}s (log: $log)"
  start=$(date +%s)
  set +e
  # The margin covers start-up and the final merge of the corpus; a run that
  # overstays it is stopped and counts as failed.
  timeout --signal=INT --kill-after=30 $((seconds + 120)) \
    "$bin" "$work" "${dict[@]}" \
    -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1
  rc=$?
  set -e
  took=$(( $(date +%s) - start ))
  found_after=$(find "$artifacts" -type f | wc -l)
  crashes=$((found_after - found_before))

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  line=$(printf '%-9s executions=%-10s exec/s=%-7s new_units=%-5s seconds=%-5s crashes=%s' \
    "$name" "${execs:-?}" "${rate:-?}" "${units:-?}" "$took" "$crashes")
  if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    line="$line  FAILED (exit $rc; see $log)"
    failed=1
  fi
  echo "$line"
  summary+=("$line")
done

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"

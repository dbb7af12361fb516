#!/usr/bin/env bash
# Builds the native preset and runs the benchmarks against their baselines, then prints
# one table of time ratios ours / baseline (below 1: ours is faster). The raw results stay
# in build/native/bench/results/. BENCH_MIN_TIME and BENCH_REPETITIONS tune the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kn_bench_json kn_bench_cipher kn_bench_ini kn_bench_pipeline \
  kn_bench_history >/dev/null

bin=build/native/bench
out=$bin/results
rm -rf "$out"
mkdir -p "$out"
min_time=${BENCH_MIN_TIME:-0.3}
repetitions=${BENCH_REPETITIONS:-5}

for b in json cipher ini pipeline history; do
  echo "== $b" >&2
  "$bin/kn_bench_$b" --benchmark_min_time="$min_time" --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true --benchmark_out="$out/$b.json" --benchmark_out_format=json >"$out/$b.txt"
done

python3 bench/ratios.py "$out"/*.json | tee "$out/ratios.txt"

# The parts that need Windows: a full overlay layout and the idle program, under Wine.
scripts/bench-wine.sh "${BENCH_IDLE_SECONDS:-60}"

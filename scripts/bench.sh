#!/usr/bin/env bash
# Builds the bench preset, runs kenv_bench with repetitions and prints, per operation and
# size, the median time, the I/O floor measured in the same run and their ratio. Extra
# arguments go to kenv_bench (e.g. --benchmark_filter='vars:200/'). The workloads live in a
# temporary folder (TMPDIR), never in the real home directory.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
out=$(mktemp "${TMPDIR:-/tmp}/kenv-bench-XXXXXX.json")
trap 'rm -f "$out"' EXIT
./build/bench/bench/kenv_bench --benchmark_repetitions="${KENV_BENCH_REPETITIONS:-5}" \
  --benchmark_min_time="${KENV_BENCH_MIN_TIME:-0.2}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=json --benchmark_out="$out" "$@" >/dev/null
python3 bench/table.py "$out"

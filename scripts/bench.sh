#!/usr/bin/env bash
# Builds the bench preset, runs kenv_bench and prints, per operation and size, the time per
# call of the library and of its I/O floor (measured call by call in turn), the median ratio
# and its interquartile range over the repetitions, then every target with its ratio and
# whether it is met; the exit status is 1 when one is missed. Extra arguments go to kenv_bench
# (e.g. --all, or --benchmark_filter='vars:200/'). The workloads live in a temporary folder
# (TMPDIR), never in the real home directory.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
out=$(mktemp "${TMPDIR:-/tmp}/kenv-bench-XXXXXX.json")
trap 'rm -f "$out"' EXIT
./build/bench/bench/kenv_bench --benchmark_repetitions="${KENV_BENCH_REPETITIONS:-7}" \
  --benchmark_min_time="${KENV_BENCH_MIN_TIME:-0.2}" --benchmark_enable_random_interleaving=true \
  --benchmark_format=json --benchmark_out="$out" "$@" >/dev/null
python3 bench/table.py "$out"

#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each fuzz target for a bounded time, starting from its seed corpus in
# fuzz/corpus/<target>. What the fuzzer learns goes to build/fuzz/corpus/<target>, never into
# the repository; an input that fails a check is kept as build/fuzz/crashes/<target>-* and
# fails the script. The targets run in a throw-away HOME and never touch the real one.
#
#   scripts/fuzz.sh [seconds per target, default 20] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(store_fuzzer restore_fuzzer expand_fuzzer path_edit_fuzzer export_shell_fuzzer request_fuzzer
           state_json_fuzzer state_env_fuzzer)
fi

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

out=build/fuzz
mkdir -p "$out/crashes" "$out/logs"
failed=0
for target in "${targets[@]}"; do
  mkdir -p "$out/corpus/$target"
  log="$out/logs/$target.log"
  echo "== $target: ${seconds}s"
  if ! "$out/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/crashes/$target-" \
      "$out/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    failed=1
    tail -n 40 "$log"
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "   ${execs:-?} executions, ${rate:-?}/s, corpus $(ls "$out/corpus/$target" | wc -l) inputs"
done
exit "$failed"

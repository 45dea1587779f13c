#!/usr/bin/env bash
# Builds the test suite with gcov's instrumentation (the coverage preset, in build/coverage,
# its system scope in that build tree), runs it, and prints gcovr's line and branch figures
# for the library (src/) and for the front-end library (tools/frontend/). Branches that only
# throwing or unreachable code takes are not counted. Counts of an earlier run are removed
# first, so the figures are this run's alone. The script is not part of .ci/run.
#
#   scripts/coverage.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage

bash scripts/install-deps.sh --coverage
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j2
find "$build" -name '*.gcda' -delete
# A failing test still leaves its counts; the figures are printed and the script then fails.
status=0
ctest --preset coverage -j2 || status=$?

figures() {
  gcovr --root . --filter "$1" -j 2 \
    --exclude-throw-branches --exclude-unreachable-branches --print-summary --output /dev/null \
    "$build" | sed -n 's/^\(lines\|branches\): /  \1: /p'
}
for dir in src/ tools/frontend/; do
  echo "coverage of $dir"
  figures "$dir"
done
exit "$status"

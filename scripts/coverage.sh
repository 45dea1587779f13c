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
# Some tests run kenv as another user, who can neither create a count file in this build
# tree nor write one its owner made (and libgcov's complaint would reach the output those
# tests compare). So every count file is made beforehand, empty (libgcov starts such a file
# afresh) and writable by every user; those no test reached stay empty and are removed
# before gcovr reads them.
find "$build" -name '*.gcda' -delete
find "$build" -name '*.gcno' -exec sh -c 'for f; do : >"${f%.gcno}.gcda"; chmod 666 "${f%.gcno}.gcda"; done' sh {} +
# A failing test still leaves its counts; the figures are printed and the script then fails.
status=0
ctest --preset coverage -j2 || status=$?
find "$build" -name '*.gcda' -empty -delete

# gcovr's report of each file is kept beside the build; the summary is printed. (gcovr
# checks that it can write its output by creating and removing the file, so the output is
# never a device such as /dev/null.) The Wine tests' prefix is left out of gcovr's search: its
# drive z: is a link to / , through which gcovr would walk the whole machine. The kill test
# ends kenv with SIGKILL, now and then while libgcov writes its counts, and gcov then prints a
# negative count for a branch; gcovr skips such a line with a warning instead of giving up.
figures() {
  gcovr --root . --filter "$1" -j 2 --exclude-throw-branches --exclude-unreachable-branches \
    --exclude-directories "$build/tests/wine" --gcov-ignore-parse-errors \
    --print-summary --output "$build/gcovr-$2.txt" "$build" | sed -n 's/^\(lines\|branches\): /  \1: /p'
}
echo "coverage of src/"
figures src/ src
echo "coverage of tools/frontend/"
figures tools/frontend/ frontend
exit "$status"

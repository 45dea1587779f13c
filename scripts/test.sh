#!/usr/bin/env bash
# Installs the dependencies, builds the test preset (or the one named) and runs its tests.
# The system scope of a test build lives in the build tree, never in /etc.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-test}

bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2
ctest --preset "$preset" -j2

#!/usr/bin/env bash
# Builds presets in build types other than their own, with g++ and clang, to catch warnings
# (errors here) that only optimised builds raise, such as GCC 12's false -Wrestrict.
# Each build goes to build/types/<preset>-<type>-<compiler>; nothing is run.
#
#   scripts/build-types.sh                       the default list below
#   scripts/build-types.sh test:Release:clang    one preset, build type and compiler
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

combos=("$@")
if [ "${#combos[@]}" -eq 0 ]; then
  combos=(test:Release:gcc test:Release:clang test:MinSizeRel:gcc default:MinSizeRel:clang
          default:Release:gcc winsim:Release:gcc windows:Debug:gcc windows:RelWithDebInfo:gcc
          windows:MinSizeRel:gcc)
fi

for combo in "${combos[@]}"; do
  IFS=: read -r preset type compiler <<<"$combo"
  dir="$root/build/types/$preset-$type-$compiler"
  args=(-B "$dir" -DCMAKE_BUILD_TYPE="$type" -DKENV_SYSCONFDIR="$dir/sysconf"
        -DKENV_LOCALSTATEDIR="$dir/localstate")
  case "$preset:$compiler" in
    windows:*)
      prefix=${KENV_WINDOWS_YYJSON_PREFIX:-$root/build/yyjson-standin-prefix}
      [ -d "$prefix" ] || { echo "build-types: run scripts/windows-check.sh first (yyjson for Windows)" >&2; exit 1; }
      args+=(-DCMAKE_PREFIX_PATH="$prefix")
      [ -n "${KENV_WINDOWS_YYJSON_PREFIX:-}" ] || args+=(-DKENV_ALLOW_YYJSON_STANDIN=ON) ;;
    *:clang) args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *:gcc) args+=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++) ;;
  esac
  echo "build-types: $preset $type $compiler"
  cmake --preset "$preset" "${args[@]}" >/dev/null
  cmake --build "$dir" -j2
done
echo "build-types: all built"

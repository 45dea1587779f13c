#!/usr/bin/env bash
# Cross-compiles the windows preset (kestrune-envvar-editor.dll and kenv.exe) with mingw-w64,
# and runs the Windows backend's checks against wine's registry.
#
# The DLL and kenv.exe need a yyjson built with the same toolchain. Give its install prefix
# in KENV_WINDOWS_YYJSON_PREFIX to build against it: that build is one to run and ship.
# Without it the build links against the project's yyjson stand-in (cmake/yyjson-standin),
# built here with the same toolchain: a link check, whose DLL reads and writes no JSON.
#
# The wine check itself needs no yyjson: the test preset builds it (tests/wine) and runs it
# as the test WinePeer.*.
#
#   scripts/windows-check.sh
#   KENV_WINDOWS_YYJSON_PREFIX=/opt/yyjson-mingw scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh --windows

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
prefix=${KENV_WINDOWS_YYJSON_PREFIX:-}
standin=()
if [ -z "$prefix" ]; then
  prefix="$root/build/yyjson-standin-prefix"
  cmake -S cmake/yyjson-standin -B build/yyjson-standin -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build build/yyjson-standin -j2
  cmake --install build/yyjson-standin >/dev/null
  standin=(-DKENV_ALLOW_YYJSON_STANDIN=ON)
  echo "windows-check: no KENV_WINDOWS_YYJSON_PREFIX; linking against the yyjson stand-in (link check only)"
fi

cmake --preset windows -DCMAKE_PREFIX_PATH="$prefix" "${standin[@]}" >/dev/null
cmake --build --preset windows -j2
for f in build/windows/kestrune-envvar-editor.dll build/windows/kenv.exe; do
  [ -f "$f" ] || { echo "windows-check: $f was not built" >&2; exit 1; }
done
echo "windows-check: built $(cd build/windows && echo kestrune-envvar-editor.dll kenv.exe)"

# kenv.exe under wine, in a prefix in the build tree: its words arrive from the UTF-16 command
# line and leave as UTF-8, every character kept. (Commands that reach the library need a real
# yyjson; this one stops at the usage check.)
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine_dir="$root/build/windows/wine"
mkdir -p "$wine_dir/home"
wine_env=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$wine_dir/home" XDG_CONFIG_HOME="$wine_dir/home/.config"
          XDG_DATA_HOME="$wine_dir/home/.local/share" XDG_CACHE_HOME="$wine_dir/home/.cache"
          WINEPREFIX="$wine_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LANG=C.UTF-8)
if [ ! -f "$wine_dir/prefix/system.reg" ]; then
  "${wine_env[@]}" "$wine64" wineboot --init >"$wine_dir/wine.log" 2>&1 || true
  "${wine_env[@]}" "$(dirname "$wine64")/wineserver" -w
fi
word='café ünï 日本 😀'
got=$("${wine_env[@]}" "$wine64" build/windows/kenv.exe "$word" 2>&1 >/dev/null | tr -d '\r' | head -1 || true)
"${wine_env[@]}" "$(dirname "$wine64")/wineserver" -w
if [ "$got" != "kenv: unknown command '$word'" ]; then
  echo "windows-check: kenv.exe did not keep its arguments' characters: $got" >&2
  exit 1
fi
echo "windows-check: kenv.exe keeps every character of its arguments"

# The backend against wine's registry: the test preset cross-compiles tests/wine and runs it.
cmake --preset test >/dev/null
cmake --build --preset test -j2 --target win_wine_test
ctest --preset test -R '^WinePeer\.'

#!/usr/bin/env bash
# Cross-compiles the windows preset (kestrune-envvar-editor.dll, kenv.exe, kenv-gui.exe and its
# test driver) with mingw-w64, runs the Windows backend's checks against wine's registry, works
# kenv-gui.exe with its driver under wine, and builds and tries the release archive.
#
# The DLL and kenv.exe need a yyjson built with the same toolchain. Give its install prefix
# in KENV_WINDOWS_YYJSON_PREFIX to build against it: that build is one to run and ship.
# Without it the build links against the project's yyjson stand-in (cmake/yyjson-standin),
# built here with the same toolchain: a small JSON reader and writer of its own, good for the
# checks under wine and never shipped.
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
  echo "windows-check: no KENV_WINDOWS_YYJSON_PREFIX; linking against the yyjson stand-in (a build to test)"
fi

cmake --preset windows -DCMAKE_PREFIX_PATH="$prefix" "${standin[@]}" >/dev/null
cmake --build --preset windows -j2
built=(kestrune-envvar-editor.dll kenv.exe kenv-gui.exe kenv_gui_driver.exe kenv_dll_listing.exe)
for f in "${built[@]}"; do
  [ -f "build/windows/$f" ] || { echo "windows-check: build/windows/$f was not built" >&2; exit 1; }
done
echo "windows-check: built ${built[*]}"

# kenv.exe under wine, in a prefix in the build tree: its words arrive from the UTF-16 command
# line and leave as UTF-8, every character kept. (Commands that reach the library need a real
# yyjson or the stand-in; this one stops at the usage check.)
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

# kenv.exe, and a program without the UTF-8 manifest, through the DLL under the ANSI code page
# 1252, with an inherited variable holding characters that code page lacks: a reference to it
# expands whole. kenv.exe's stdout is a pipe or a file here, which kenv writes in binary
# mode: a value's newline stays "\n", in `get` and in `export --format env`. `list` and
# `shell-init` give Windows advice and source the export file by a path written with '/'.
# A user PATH emptied by `path off` leaves no empty value behind.
home_word='C:\Dossier ü 日本'
kenv_exe() { "${wine_env[@]}" MYHOME="$home_word" "$wine64" build/windows/kenv.exe "$@" 2>>"$wine_dir/wine.log"; }
check_failed() { echo "windows-check: $*" >&2; exit 1; }
kenv_exe set KENV_CHECK_HOME '%MYHOME%\bin' >/dev/null
got=$(kenv_exe get --expanded KENV_CHECK_HOME)
[ "$got" = "$home_word\bin" ] || check_failed "kenv.exe expanded %MYHOME%\\bin to: $got"
listing=$(cd build/windows && "${wine_env[@]}" MYHOME="$home_word" "$wine64" kenv_dll_listing.exe 2>>"$wine_dir/wine.log")
[ "$(head -n 1 <<<"$listing")" = 1252 ] || check_failed "kenv_dll_listing.exe ran under code page $(head -n 1 <<<"$listing")"
grep -qF "\"expanded\":\"${home_word//\\/\\\\}\\\\bin\"" <<<"$listing" ||
  check_failed "the DLL expanded %MYHOME%\\bin otherwise: $listing"
kenv_exe set KENV_CHECK_LINES "$(printf 'a\nb')" >/dev/null
kenv_exe get KENV_CHECK_LINES >"$wine_dir/get.out"
printf 'a\nb\n' | cmp -s - "$wine_dir/get.out" || check_failed "kenv.exe get wrote: $(od -c "$wine_dir/get.out")"
kenv_exe export --format env >"$wine_dir/export.env"
if grep -q $'\r' "$wine_dir/export.env"; then check_failed "export --format env wrote CRLF"; fi
listed=$(kenv_exe list | tr -d '\r')
grep -q 'New programs get the variables from the registry' <<<"$listed" || check_failed "kenv.exe list: $listed"
source_line=$(grep 'source it:' <<<"$listed")
[[ "$source_line" == *"source it:  . '"*/Pellomar/exports/user-env.sh\'* && "$source_line" != *\\* ]] ||
  check_failed "kenv.exe list sources the export file as: $source_line"
grep -qF 'Pellomar\exports\user-env.sh' <<<"$listed" || check_failed "kenv.exe list shows the export file as: $listed"
backups=$(kenv_exe backups | tr -d '\r')
grep -qF 'Pellomar\backups\' <<<"$backups" && ! grep -qF 'Pellomar/' <<<"$backups" ||
  check_failed "kenv.exe backups shows the files as: $backups"
init=$(kenv_exe shell-init --shell bash | tr -d '\r')
grep -q 'POSIX shell on Windows' <<<"$init" || check_failed "kenv.exe shell-init: $init"
[[ "$(grep '^for kenv_file in' <<<"$init")" != *\\* ]] || check_failed "kenv.exe shell-init names a path with '\\': $init"
# The user's own PATH switched off to its last entry leaves no empty Path value in HKCU.
if ! "${wine_env[@]}" "$wine64" reg query 'HKCU\Environment' /v Path >/dev/null 2>&1; then
  kenv_exe path add 'C:\kenv-check-only' >/dev/null
  kenv_exe path off 'C:\kenv-check-only' >/dev/null
  if "${wine_env[@]}" "$wine64" reg query 'HKCU\Environment' /v Path >/dev/null 2>&1; then
    check_failed "HKCU's Path stayed after its last entry was switched off"
  fi
  kenv_exe path on 'C:\kenv-check-only' >/dev/null
  kenv_exe path rm 'C:\kenv-check-only' >/dev/null
fi
kenv_exe unset KENV_CHECK_HOME >/dev/null
kenv_exe unset KENV_CHECK_LINES >/dev/null
"${wine_env[@]}" "$(dirname "$wine64")/wineserver" -w
echo "windows-check: under code page 1252 %MYHOME% expands whole through the DLL; kenv.exe prints LF into files and pipes, and gives Windows advice"

# kenv-gui.exe worked by its test driver in a fresh prefix, whose user scope it changes. Wine
# draws the windows with its display-less driver ("null"), so no X server is needed: the
# driver talks to the controls through messages, and --screenshot prints the window itself.
gui_dir="$root/build/windows/wine-gui"
rm -rf "$gui_dir"
mkdir -p "$gui_dir/home"
gui_env=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$gui_dir/home" XDG_CONFIG_HOME="$gui_dir/home/.config"
         XDG_DATA_HOME="$gui_dir/home/.local/share" XDG_CACHE_HOME="$gui_dir/home/.cache"
         WINEPREFIX="$gui_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LANG=C.UTF-8 WINEPATH=)
"${gui_env[@]}" "$wine64" wineboot --init >"$gui_dir/wine.log" 2>&1 || true
"${gui_env[@]}" "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
"${gui_env[@]}" "$(dirname "$wine64")/wineserver" -w
(cd build/windows && "${gui_env[@]}" timeout 600 "$wine64" kenv_gui_driver.exe kenv-gui.exe | tr -d '\r')
"${gui_env[@]}" "$(dirname "$wine64")/wineserver" -w
echo "windows-check: kenv-gui.exe passes its driver's checks under wine"

# The release archive, built as a release would be (with the stand-in allowed when no yyjson
# for the toolchain was given), unpacked into a folder with a non-ASCII name and run from
# there, with nothing of the build on wine's PATH.
release_args=(--yyjson "$prefix")
[ "${#standin[@]}" -gt 0 ] && release_args+=(--allow-standin)
if ! zip=$(bash scripts/windows-release.sh "${release_args[@]}" 2>"$gui_dir/release.log" |
           sed -n 's/^windows-release: \(.*\.zip\)$/\1/p'); then
  tail -n 40 "$gui_dir/release.log" >&2
  echo "windows-check: scripts/windows-release.sh failed (its output: $gui_dir/release.log)" >&2
  exit 1
fi
(cd "$(dirname "$zip")" && sha256sum -c --quiet "$(basename "$zip").sha256")
unpacked="$gui_dir/Entpackt ünï 日本"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked"
app=$(echo "$unpacked"/kestrune-envvar-editor-*)
(cd "$app" && sha256sum -c --quiet SHA256SUMS)
"${gui_env[@]}" "$wine64" "$app/kenv.exe" set KENV_RELEASE_CHECK 'ünï 日本' >/dev/null
listed=$("${gui_env[@]}" "$wine64" "$app/kenv.exe" list | tr -d '\r')
grep -q 'KENV_RELEASE_CHECK=ünï 日本' <<<"$listed" || {
  echo "windows-check: the unpacked kenv.exe did not list what it set:" >&2; echo "$listed" >&2; exit 1; }
"${gui_env[@]}" "$wine64" "$app/kenv-gui.exe" --screenshot 'C:\release-check.bmp' --page variables
[ "$(head -c 2 "$gui_dir/prefix/drive_c/release-check.bmp")" = BM ] || {
  echo "windows-check: the unpacked kenv-gui.exe drew no screenshot" >&2; exit 1; }
"${gui_env[@]}" "$(dirname "$wine64")/wineserver" -w
echo "windows-check: $(basename "$zip") runs from a folder with a non-ASCII name: kenv.exe list and set, kenv-gui.exe --screenshot"

# The backend against wine's registry: the test preset cross-compiles tests/wine and runs it.
cmake --preset test >/dev/null
cmake --build --preset test -j2 --target win_wine_test
ctest --preset test -R '^WinePeer\.'

#!/usr/bin/env bash
# Builds the Windows release archive: kestrune-envvar-editor.dll, kenv.exe and kenv-gui.exe in
# Release with mingw-w64, against a yyjson built with the same toolchain and installed in DIR
# (its include/yyjson.h, its library and its CMake package file), and packs them with
# yyjson's DLL, README.md, LICENSE and a SHA256SUMS file into
#   build/release/kestrune-envvar-editor-<version>-win64.zip
# with the zip's own SHA-256 beside it (<zip>.sha256). The toolchain's C and C++ runtimes are
# linked statically (cmake/mingw-w64-x86_64.cmake); the script checks that every DLL the
# binaries import is either Windows' own or in the archive.
#
# The project's yyjson stand-in (cmake/yyjson-standin) is refused: it is for builds to test.
# --allow-standin accepts it for such a build (CI) and names the archive
# kestrune-envvar-editor-<version>-win64-standin-NOT-FOR-RELEASE.zip.
#
#   scripts/windows-release.sh --yyjson DIR [--allow-standin]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

usage() { echo "usage: $0 --yyjson DIR [--allow-standin]" >&2; exit 2; }
fail() { echo "windows-release: $*" >&2; exit 1; }

yyjson=""
allow_standin=0
while [ $# -gt 0 ]; do
  case "$1" in
    --yyjson) [ $# -ge 2 ] || usage; yyjson=$2; shift 2 ;;
    --allow-standin) allow_standin=1; shift ;;
    *) usage ;;
  esac
done
[ -n "$yyjson" ] || usage
yyjson=$(cd "$yyjson" 2>/dev/null && pwd) || fail "no folder $yyjson"
[ -f "$yyjson/include/yyjson.h" ] || fail "$yyjson/include/yyjson.h is missing: DIR is the install prefix of a yyjson built for mingw-w64"

standin=0
grep -q '^#define KENV_YYJSON_STANDIN' "$yyjson/include/yyjson.h" && standin=1
if [ "$standin" -eq 1 ] && [ "$allow_standin" -eq 0 ]; then
  fail "$yyjson holds the project's yyjson stand-in, which is never shipped; build yyjson for mingw-w64 (see README) or pass --allow-standin for a build to test"
fi

version=$(sed -n 's/^project(kestrune-envvar-editor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
name="kestrune-envvar-editor-$version-win64"
[ "$standin" -eq 1 ] && name="$name-standin-NOT-FOR-RELEASE"

build="$root/build/windows-release"
out="$root/build/release"
# A release is built from nothing, with what the toolchain file sets now. The build's output
# goes to stderr: stdout carries only the archive's name.
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$yyjson" -DKENV_ALLOW_YYJSON_STANDIN=$([ "$standin" -eq 1 ] && echo ON || echo OFF) \
  >&2
cmake --build "$build" -j2 --target kestrune-envvar-editor kenv kenv-gui-win >&2

stage="$out/$name"
rm -rf "$stage" "$out/$name.zip" "$out/$name.zip.sha256"
mkdir -p "$stage"
cp "$build/kestrune-envvar-editor.dll" "$build/kenv.exe" "$build/kenv-gui.exe" "$stage/"
# yyjson's DLL, when it was built as one (a static yyjson is inside the library's DLL).
for dll in "$yyjson"/bin/*yyjson*.dll "$yyjson"/lib/*yyjson*.dll; do
  [ -f "$dll" ] && cp "$dll" "$stage/"
done
cp README.md LICENSE "$stage/"

# Every DLL a binary imports must be Windows' own or one of the archive's.
objdump=$(command -v x86_64-w64-mingw32-objdump) || fail "x86_64-w64-mingw32-objdump is missing (binutils-mingw-w64-x86-64)"
windows_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|comctl32|comdlg32|msvcrt|ucrtbase|api-ms-win-.*|ws2_32|bcrypt|shlwapi|oleaut32|uxtheme)\.dll$'
for bin in "$stage"/*.exe "$stage"/*.dll; do
  for dll in $("$objdump" -p "$bin" | sed -n 's/^\tDLL Name: //p'); do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    [[ "$lower" =~ $windows_dlls ]] && continue
    [ -n "$(find "$stage" -maxdepth 1 -iname "$dll")" ] || fail "$(basename "$bin") needs $dll, which is neither Windows' nor in the archive"
  done
done

(cd "$stage" && sha256sum -- *.exe *.dll README.md LICENSE >SHA256SUMS)
(cd "$out" && rm -f "$name.zip" && zip -qr "$name.zip" "$name" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "windows-release: $out/$name.zip"
[ "$standin" -eq 1 ] && echo "windows-release: built against the yyjson stand-in: NOT FOR RELEASE"
exit 0

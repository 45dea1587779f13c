#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, checks that every file is in place, and
# builds a small C front end against it twice: with find_package and with pkg-config.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR LIBDIR   (LIBDIR as GNUInstallDirs set it)
set -euo pipefail
build=$1 source=$2 libdir=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/kenv-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

# Nothing below may read or write the real home directory.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install failed"; }

for f in include/kestrune_env.h bin/kenv "$libdir/libkestrune-envvar-editor.so.0" \
  "$libdir/cmake/kestrune-envvar-editor/kestrune-envvar-editor-config.cmake" \
  "$libdir/pkgconfig/kestrune-envvar-editor.pc" share/man/man1/kenv.1.gz \
  share/bash-completion/completions/kenv share/fish/vendor_completions.d/kenv.fish \
  share/zsh/site-functions/_kenv; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
for package in libkestrune-envvar-editor0 libkestrune-envvar-editor-dev kenv; do
  grep -q '^License: MIT$' "$prefix/share/doc/$package/copyright" || fail "$package's copyright names no MIT"
  [ -s "$prefix/share/doc/$package/changelog.gz" ] || fail "$package has no changelog"
done

# kenv finds its library next to it, in the installed tree.
loaded=$(ldd "$prefix/bin/kenv" | sed -n 's/^.*libkestrune-envvar-editor.so.0 => \(.*\) (0x.*$/\1/p')
[ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$prefix/$libdir/libkestrune-envvar-editor.so.0")" ] ||
  fail "installed kenv does not load the installed library: $(ldd "$prefix/bin/kenv")"
[ "$("$prefix/bin/kenv" --version)" = "kenv $(sed -n 's/^Version: //p' "$prefix/$libdir/pkgconfig/kestrune-envvar-editor.pc")" ] ||
  fail "installed kenv --version"

# find_package and the imported target.
cmake -S "$source/tests/install/consumer" -B "$work/by-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package(kestrune-envvar-editor) failed"; }
cmake --build "$work/by-cmake" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "consumer build failed"; }
"$work/by-cmake/consumer"

# pkg-config, relocated: the .pc file names its directories relative to itself.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion kestrune-envvar-editor)" != "" ] || fail "pkg-config finds no version"
# shellcheck disable=SC2046
cc -Wall -Werror -o "$work/consumer-pc" "$source/tests/install/consumer/consumer.c" \
  $(pkg-config --cflags --libs kestrune-envvar-editor)
LD_LIBRARY_PATH=$prefix/$libdir "$work/consumer-pc"
[ ! -e "$HOME/.local/share/pellomar/user-env.json" ] || fail "a listing wrote the store"

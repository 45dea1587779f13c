#!/usr/bin/env bash
# Builds the Debian package from a build tree, extracts it into a throwaway root and runs
# kenv from there; checks its dependencies, its copyright file, and that its postrm script
# keeps the system scope's drop-ins on remove and deletes exactly them on purge, keeping the
# system scope's store and backups.
# Usage: check_deb.sh BUILD_DIR SYSCONFDIR VERSION LOCALSTATEDIR
set -euo pipefail
build=$1 sysconfdir=$2 version=$3 localstatedir=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/kenv-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "check_deb: $*" >&2; exit 1; }
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
debs=("$work"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = kestrune-envvar-editor ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libyyjson0 (>= 0.12)' <<<"$depends" || fail "Depends lacks libyyjson0 (>= 0.12): $depends"
grep -q 'libc6' <<<"$depends" || fail "Depends lacks the C library: $depends"

root=$work/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/kestrune-envvar-editor
grep -q '^License: MIT$' "$doc/copyright" || fail "the copyright file names no MIT licence"
grep -q '^Files: \*$' "$doc/copyright" || fail "the copyright file is not machine-readable"
for f in usr/bin/kenv usr/include/kestrune_env.h usr/share/man/man1/kenv.1.gz \
  usr/share/bash-completion/completions/kenv usr/share/fish/vendor_completions.d/kenv.fish; do
  [ -e "$root/$f" ] || fail "not in the package: $f"
done
compgen -G "$root/usr/share/zsh/*/_kenv" >/dev/null || fail "no zsh completion in the package"

# kenv and the library come from the extracted root; yyjson and the C++ runtime from the
# machine, as they would once the dependencies are installed.
kenv=$root/usr/bin/kenv
loaded=$(ldd "$kenv" | sed -n 's/^.*libkestrune-envvar-editor.so.0 => \(.*\) (0x.*$/\1/p')
[ -n "$loaded" ] && [[ "$(realpath "$loaded")" == "$root"/usr/lib/* ]] ||
  fail "kenv does not load the package's library: $(ldd "$kenv")"
! ldd "$kenv" | grep -q 'not found' || fail "unresolved libraries: $(ldd "$kenv")"
[ "$("$kenv" --version)" = "kenv $version" ] || fail "kenv --version"

# The maintainer script, run as dpkg runs it for a root given with --root.
dpkg-deb -e "$deb" "$work/control"
postrm=$work/control/postrm
[ -x "$postrm" ] || fail "no executable postrm"
envd=$root$sysconfdir/environment.d/99-pellomar-system.conf
profile=$root$sysconfdir/profile.d/99-pellomar-system.sh
other=$root$sysconfdir/environment.d/50-other.conf
state=$root$localstatedir/lib/pellomar
mkdir -p "$(dirname "$envd")" "$(dirname "$profile")" "$state/backups"
echo '{"vars": []}' >"$state/system-env.json"
echo 'EDITOR=vim' >"$envd"
echo "export EDITOR='vim'" >"$profile"
echo 'OTHER=1' >"$other"

out=$(DPKG_ROOT=$root "$postrm" remove)
[ -f "$envd" ] && [ -f "$profile" ] || fail "remove deleted the variables"
grep -q "kept $envd" <<<"$out" || fail "remove does not say what it kept: $out"

out=$(DPKG_ROOT=$root "$postrm" purge)
[ ! -e "$envd" ] && [ ! -e "$profile" ] || fail "purge left the drop-ins"
[ -f "$other" ] || fail "purge deleted a file that is not the library's"
grep -q "removed $envd" <<<"$out" && grep -q "removed $profile" <<<"$out" ||
  fail "purge does not say what it removed: $out"
[ -f "$state/system-env.json" ] && grep -q "kept $state" <<<"$out" ||
  fail "purge does not keep the system scope's store, or does not say so: $out"
rm -rf "$state"
[ -z "$(DPKG_ROOT=$root "$postrm" purge)" ] || fail "a second purge claims to remove something"

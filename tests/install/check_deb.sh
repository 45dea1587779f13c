#!/usr/bin/env bash
# Builds the Debian packages from a build tree and checks them as a Debian maintainer
# would: the four packages and what they depend on, the control files each carries (the
# library's shlibs, symbols and ldconfig trigger; kenv's postrm and no other script),
# lintian without errors; then installs all four with dpkg into a throwaway root, runs kenv
# and kenv-gui from there, removes kenv (the system scope's drop-ins stay) and purges all
# four (the drop-ins go, the system scope's store stays, nothing of the packages is left).
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
declare -A deb
for name in libkestrune-envvar-editor0 libkestrune-envvar-editor-dev kenv kenv-gui; do
  deb[$name]=$work/out/${name}_${version}_$(dpkg --print-architecture).deb
  [ -f "${deb[$name]}" ] || fail "no package $name: $(ls "$work/out")"
done
[ "$(ls "$work"/out/*.deb | wc -l)" -eq 4 ] || fail "more than four packages: $(ls "$work/out")"

# Every dependency is one of the four at the same version, or met on this machine (which
# builds and runs the project, so has what the packages need).
dependency_met() {
  local name=$1 relation=$2 wanted=$3 have
  if [ -n "${deb[$name]:-}" ]; then have=$version; else have=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || return 1; fi
  [ -z "$relation" ] || dpkg --compare-versions "$have" "$relation" "$wanted"
}
for name in "${!deb[@]}"; do
  depends=$(dpkg-deb -f "${deb[$name]}" Depends)
  while IFS= read -r dep; do
    [[ $dep =~ ^\ *([^ ]+)(\ \(([<>=]+)\ ([^\)]+)\))?\ *$ ]] || fail "$name: cannot read the dependency '$dep'"
    dependency_met "${BASH_REMATCH[1]}" "${BASH_REMATCH[3]}" "${BASH_REMATCH[4]}" || fail "$name: '$dep' is not met"
  done < <(tr ',' '\n' <<<"$depends")
done
expect_depends() { grep -qF "$2" <<<"$(dpkg-deb -f "${deb[$1]}" Depends)" || fail "$1 does not depend on $2"; }
expect_depends libkestrune-envvar-editor0 'libyyjson0 (>= 0.12)'
expect_depends libkestrune-envvar-editor-dev "libkestrune-envvar-editor0 (= $version)"
expect_depends kenv "libkestrune-envvar-editor0 (= $version)"
expect_depends kenv-gui "kenv (= $version)"
expect_depends kenv-gui 'libqt6widgets6'

control_files() { dpkg-deb -e "${deb[$1]}" "$work/control-$1" && ls "$work/control-$1" | tr '\n' ' '; }
[ "$(control_files libkestrune-envvar-editor0)" = "control md5sums shlibs symbols triggers " ] ||
  fail "the library's control files: $(control_files libkestrune-envvar-editor0)"
[ "$(control_files kenv)" = "control md5sums postrm " ] || fail "kenv's control files: $(control_files kenv)"
for name in libkestrune-envvar-editor-dev kenv-gui; do
  [ "$(control_files $name)" = "control md5sums " ] || fail "$name has maintainer scripts: $(control_files $name)"
done
grep -qx "libkestrune-envvar-editor 0 libkestrune-envvar-editor0 (>= $version)" \
  "$work/control-libkestrune-envvar-editor0/shlibs" || fail "shlibs"

lintian --no-cfg --fail-on error "${deb[@]}" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian reports errors"; }

# The throwaway root: an empty dpkg database, maintainer scripts run outside a chroot with
# DPKG_ROOT set (the root has no shell), the dependencies checked above instead of by dpkg.
if [ "$(id -u)" -ne 0 ]; then
  echo "check_deb: dpkg --root needs root; the install in a throwaway root was skipped"
  exit 77
fi
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
in_root() { dpkg --root="$root" --log=/dev/null --force-script-chrootless --force-depends "$@" 2>&1; }
in_root -i "${deb[@]}" >"$work/install.log" || { cat "$work/install.log"; fail "dpkg -i failed"; }
for f in usr/share/applications/org.kestrune.EnvvarEditor.desktop usr/share/man/man1/kenv-gui.1.gz \
  usr/share/polkit-1/actions/org.kestrune.envvar-editor.policy usr/share/doc/kenv/copyright; do
  [ -e "$root/$f" ] || fail "not installed: $f"
done
"$root/usr/bin/kenv" list >"$work/list.log" || fail "kenv list failed in the root: $(cat "$work/list.log")"
grep -q '^Scope user' "$work/list.log" || fail "kenv list: $(cat "$work/list.log")"
[ "$("$root/usr/bin/kenv-gui" --version)" = "kenv-gui $version" ] || fail "kenv-gui --version"
! ldd "$root/usr/bin/kenv-gui" | grep -q 'not found' || fail "unresolved libraries: $(ldd "$root/usr/bin/kenv-gui")"

envd=$root$sysconfdir/environment.d/99-pellomar-system.conf
profile=$root$sysconfdir/profile.d/99-pellomar-system.sh
other=$root$sysconfdir/environment.d/50-other.conf
state=$root$localstatedir/lib/pellomar
mkdir -p "$(dirname "$envd")" "$(dirname "$profile")" "$state/backups"
echo '{"vars": []}' >"$state/system-env.json"
echo 'EDITOR=vim' >"$envd"
echo "export EDITOR='vim'" >"$profile"
echo 'OTHER=1' >"$other"

out=$(in_root -r kenv-gui kenv)
[ -f "$envd" ] && [ -f "$profile" ] || fail "remove deleted the variables"
grep -q "kept $envd" <<<"$out" || fail "remove does not say what it kept: $out"

out=$(in_root -P kenv-gui kenv libkestrune-envvar-editor-dev libkestrune-envvar-editor0)
[ ! -e "$envd" ] && [ ! -e "$profile" ] || fail "purge left the drop-ins"
[ -f "$other" ] || fail "purge deleted a file that is not the library's"
grep -q "removed $envd" <<<"$out" && grep -q "removed $profile" <<<"$out" ||
  fail "purge does not say what it removed: $out"
[ -f "$state/system-env.json" ] && grep -q "kept $state" <<<"$out" ||
  fail "purge does not keep the system scope's store, or does not say so: $out"
left=$(find "$root" \( -type f -o -type l \) ! -path "$root/var/lib/dpkg/*" ! -path "$root$sysconfdir/*" \
  ! -path "$root$localstatedir/*")
[ -z "$left" ] && [ ! -e "$root/usr" ] || fail "purge left files of the packages: $left $(ls "$root")"
[ -z "$(dpkg-query --admindir="$root/var/lib/dpkg" -W 2>/dev/null)" ] || fail "the root still knows packages"

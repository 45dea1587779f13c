#!/usr/bin/env bash
# Installs what the project needs to build and test, and nothing else, on Debian 12.
#
# Debian's own packages come through apt as the machine is configured. yyjson 0.12 or later
# is not in Debian 12, so its packages are fetched from the unstable suite of the same
# archive: the archive address and keyring are read from the machine's apt configuration
# (scripts/debian-archive.sh), a temporary sources list is used for the download only, and
# the packages are installed with dpkg. The machine's apt configuration is left as it was.
# With everything installed the script changes nothing and needs no root; otherwise it runs
# as root, through sudo when there is one.
#
#   scripts/install-deps.sh            build and test dependencies
#   scripts/install-deps.sh --windows  also mingw-w64 and wine64 for the Windows checks
#   scripts/install-deps.sh --fleet    also Ansible and debootstrap for the fleet test
#   scripts/install-deps.sh --coverage also gcovr for scripts/coverage.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/yyjson-debs.sh
. "$here/yyjson-debs.sh"

want_windows=0
want_fleet=0
want_coverage=0
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=1 ;;
    --fleet) want_fleet=1 ;;
    --coverage) want_coverage=1 ;;
    *) echo "usage: $0 [--windows] [--fleet] [--coverage]" >&2; exit 2 ;;
  esac
done

say() { printf 'install-deps: %s\n' "$*"; }
fail() { printf 'install-deps: %s\n' "$*" >&2; exit 1; }

# Why each package is here: "<reason>|<packages>".
package_groups=(
  "to build the library and kenv|cmake g++ ninja-build pkg-config"
  "to build and run the tests and benchmarks|libgtest-dev libgmock-dev googletest libbenchmark-dev valgrind"
  "the peers the tests check against (systemd's environment.d generator, the shells)|systemd bash dash zsh fish"
  "for the kill test, which stops kenv with SIGKILL at chosen system calls, and the root helper's test, which watches what files it opens|strace"
  "for the sanitizer and fuzzing builds and the style check|clang libclang-rt-14-dev clang-format"
  "to build and check the Debian package and the man page|dpkg-dev file groff-base"
  "to build kenv-gui (Qt 6 Widgets) and run its tests on an X server in memory, with fonts so text renders|qt6-base-dev xvfb xauth fonts-dejavu-core"
  "to check kenv-gui's menu entry, AppStream data and polkit policy, and the Debian packages as Debian's own tools do|desktop-file-utils appstream libxml2-utils lintian"
)
if [ "$want_windows" -eq 1 ]; then
  package_groups+=("for the Windows build and its tests under wine|g++-mingw-w64-x86-64-posix wine64")
  package_groups+=("to pack the Windows release archive and unpack it for its check|zip unzip")
fi
if [ "$want_fleet" -eq 1 ]; then
  package_groups+=("for the fleet test: ansible-playbook drives fresh Debian roots made by debootstrap through the Ansible collection|ansible debootstrap")
fi
if [ "$want_coverage" -eq 1 ]; then
  package_groups+=("for scripts/coverage.sh: gcovr sums the line and branch counts of the coverage build|gcovr")
fi

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

# yyjson counts as installed when its development package is and the header it ships says
# 0.12 or later (the hex is 0xMMmmpp).
yyjson_minimum_hex=0x000C00
yyjson_header() { dpkg-query -L libyyjson-dev 2>/dev/null | grep -m1 '/yyjson\.h$'; }
yyjson_define() { sed -n "s/^#define $1[ \t]*\"\{0,1\}\([0-9A-Za-z.x]*\).*/\1/p" "$(yyjson_header)"; }
have_yyjson() {
  installed libyyjson-dev && yyjson_header >/dev/null || return 1
  local hex
  hex=$(yyjson_define YYJSON_VERSION_HEX)
  [ -n "$hex" ] && (( hex >= yyjson_minimum_hex ))
}
yyjson_installed_text() {
  echo "yyjson $(yyjson_define YYJSON_VERSION_STRING) (libyyjson-dev $(dpkg-query -W -f='${Version}' libyyjson-dev))"
}

missing_groups=()
missing=()
for group in "${package_groups[@]}"; do
  group_missing=()
  for p in ${group#*|}; do installed "$p" || group_missing+=("$p"); done
  if [ "${#group_missing[@]}" -gt 0 ]; then
    missing_groups+=("${group_missing[*]}: ${group%%|*}")
    missing+=("${group_missing[@]}")
  fi
done
need_yyjson=0
have_yyjson || need_yyjson=1

if [ "${#missing[@]}" -eq 0 ] && [ "$need_yyjson" -eq 0 ]; then
  say "everything is installed; $(yyjson_installed_text)"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    say "not root: continuing through sudo"
    exec sudo -- bash "$here/install-deps.sh" "$@"
  fi
  [ "$need_yyjson" -eq 1 ] && missing+=("yyjson-0.12-or-later")
  fail "missing ${missing[*]}, and no sudo here; as root run: bash $here/install-deps.sh${*:+ $*}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# apt's and dpkg's progress goes to a log that is shown only when they fail; their errors
# and warnings reach the terminal as they write them.
quietly() {
  if ! "$@" >"$work/log"; then
    tail -n 20 "$work/log" >&2
    fail "failed: $*"
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  for line in "${missing_groups[@]}"; do say "to install: $line"; done
  say "apt-get update: reading the package lists of the machine's apt sources"
  quietly apt-get update
  say "apt-get install: ${#missing[@]} packages and what they depend on"
  quietly env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "$need_yyjson" -eq 1 ]; then
  debian_archive
  say "yyjson 0.12 or later is not in Debian 12: fetching it from the unstable suite of $archive_uri"
  fetch_yyjson_debs "$work"
  say "dpkg -i: $yyjson_library and libyyjson-dev $yyjson_version from unstable"
  quietly dpkg -i "$work"/debs/*.deb
  have_yyjson || fail "libyyjson-dev $yyjson_version from unstable is older than yyjson 0.12"
  say "installed $(yyjson_installed_text)"
fi
say "done"

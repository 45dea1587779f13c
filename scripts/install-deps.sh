#!/usr/bin/env bash
# Installs what the project needs to build and test, and nothing else.
#
# Debian's own packages come through apt as the machine is configured. yyjson 0.12 is not in
# Debian 12, so its two packages are fetched from the unstable suite of the same archive: the
# archive address and keyring are read from the machine's apt configuration, a temporary
# sources list is used for the download only, and the packages are installed with dpkg. The
# machine's apt configuration is left as it was. Re-running the script is cheap: nothing is
# fetched when everything is already installed.
#
#   scripts/install-deps.sh            build and test dependencies
#   scripts/install-deps.sh --windows  also mingw-w64 and wine64 for the Windows checks
set -euo pipefail

want_windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=1 ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

debian_pkgs=(cmake g++ clang clang-format ninja-build pkg-config libgtest-dev libgmock-dev
             googletest libbenchmark-dev systemd dash bash zsh fish valgrind libclang-rt-14-dev)
if [ "$want_windows" -eq 1 ]; then
  debian_pkgs+=(g++-mingw-w64-x86-64-posix wine64)
fi

missing=()
for p in "${debian_pkgs[@]}"; do installed "$p" || missing+=("$p"); done
if [ "${#missing[@]}" -gt 0 ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

yyjson_version=0.12.0+ds-2
have_yyjson() {
  for p in libyyjson0 libyyjson-dev; do
    [ "$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null)" = "$yyjson_version" ] || return 1
  done
}
have_yyjson && exit 0

# The first deb822 stanza of the main archive (not the security one) gives the address and
# keyring; a one-line sources.list is the fallback.
archive_uri=""; archive_key=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  read -r archive_uri archive_key < <(awk '
    BEGIN { RS=""; FS="\n" }
    {
      uri=""; key=""; suites="";
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^URIs:/)      { sub(/^URIs:[ \t]*/, "", $i); split($i, u, /[ \t]+/); uri = u[1] }
        if ($i ~ /^Signed-By:/) { sub(/^Signed-By:[ \t]*/, "", $i); key = $i }
        if ($i ~ /^Suites:/)    { suites = $i }
      }
      if (uri != "" && suites !~ /security/ && uri ~ /debian\/?$/) {
        print uri, key; exit
      }
    }' "$f") || true
  [ -n "$archive_uri" ] && break
done
if [ -z "$archive_uri" ] && [ -f /etc/apt/sources.list ]; then
  archive_uri=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }' /etc/apt/sources.list)
fi
if [ -z "$archive_uri" ]; then
  echo "install-deps: no Debian archive found in the apt configuration" >&2
  exit 1
fi
[ -n "$archive_key" ] || archive_key=/usr/share/keyrings/debian-archive-keyring.gpg

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts"
cat > "$work/unstable.sources" <<SRC
Types: deb
URIs: $archive_uri
Suites: unstable
Components: main
Signed-By: $archive_key
SRC

apt_opts=(-o "Dir::Etc::SourceList=$work/unstable.sources"
          -o "Dir::Etc::SourceParts=$work/parts"
          -o "Dir::State::Lists=$work/lists"
          -o "Dir::Cache::Archives=$work/archives"
          -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
          -o "APT::Get::List-Cleanup=0")
apt-get "${apt_opts[@]}" update -qq
(cd "$work" && apt-get "${apt_opts[@]}" download "libyyjson0=$yyjson_version" "libyyjson-dev=$yyjson_version")
as_root dpkg -i "$work"/libyyjson0_*.deb "$work"/libyyjson-dev_*.deb
have_yyjson

# shellcheck shell=bash
# Sourced by install-deps.sh and the fleet test: yyjson 0.12 or later is not in Debian 12,
# so its packages are fetched from the unstable suite of the archive this machine's apt
# configuration names, through a temporary sources list; the machine's apt configuration is
# left as it was. The caller defines say, fail and quietly COMMAND... (which logs to
# WORK/log).
#
#   fetch_yyjson_debs WORK   downloads libyyjson-dev and its library package, in whatever
#                            revision unstable holds, into WORK/debs; sets yyjson_version
#                            and yyjson_library

# shellcheck source=scripts/debian-archive.sh
. "$(dirname "${BASH_SOURCE[0]}")/debian-archive.sh"

fetch_yyjson_debs() {
  local work=$1 expired dev_deb
  local -a apt_opts
  debian_archive
  # apt fetches as the user _apt: the folders it writes to must be its own, and the ones
  # above them readable, or it falls back to downloading as root with a warning.
  chmod 755 "$work"
  mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts" "$work/debs"
  if id -u _apt >/dev/null 2>&1; then
    chown _apt:root "$work/lists/partial" "$work/archives/partial" "$work/debs"
    chmod 700 "$work/lists/partial" "$work/archives/partial"
  fi
  cat >"$work/unstable.sources" <<SRC
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

  say "apt-get update: reading unstable's package list through a temporary sources list"
  if ! apt-get "${apt_opts[@]}" update >"$work/log" 2>"$work/update-errors"; then
    # unstable's Release file is valid for a week only; a mirror or snapshot that lags
    # behind serves one past that date. Only the date check is skipped, and only for this
    # one source: the signature is still checked against the archive keyring.
    expired=$(grep -o 'is expired ([^)]*)' "$work/update-errors" || true)
    if [ -z "$expired" ]; then
      cat "$work/update-errors" >&2
      fail "failed: apt-get update of the unstable suite"
    fi
    say "unstable's Release file ${expired#is }: reading it again with -o Acquire::Check-Valid-Until=false (its signature is still checked)"
    quietly apt-get "${apt_opts[@]}" -o Acquire::Check-Valid-Until=false update
  else
    cat "$work/update-errors" >&2
  fi

  # Whatever revision unstable holds; the development package names the library package
  # (and so its soname) it belongs with.
  (cd "$work/debs" && quietly apt-get "${apt_opts[@]}" download libyyjson-dev)
  dev_deb=$(echo "$work"/debs/libyyjson-dev_*.deb)
  yyjson_version=$(dpkg-deb -f "$dev_deb" Version)
  yyjson_library=$(dpkg-deb -f "$dev_deb" Depends | grep -oE 'libyyjson[0-9][^ ,(]*' | head -n1)
  [ -n "$yyjson_library" ] || fail "libyyjson-dev $yyjson_version names no libyyjson library package"
  (cd "$work/debs" && quietly apt-get "${apt_opts[@]}" download "$yyjson_library=$yyjson_version")
}

# shellcheck shell=bash
# Sourced by fresh-machine-check.sh and the fleet test: minimal Debian 12 roots made by
# debootstrap from the archive this machine's apt configuration names, and commands run in
# them with chroot inside a mount namespace of their own (so nothing stays mounted on this
# machine, whatever happens). The caller defines say, fail and logged LOG COMMAND...
#
#   minbase_tarball DIR   makes DIR/bookworm-minbase.tar.gz unless it is there and comes
#                         from the same archive; sets base to its path
#   fresh_root DIR [TAR]  unpacks TAR (default: $base) into DIR, empty before
#   remove_root DIR       removes DIR, refusing while anything is mounted below it
#   in_root ROOT USER CMD runs CMD in a login shell of USER inside ROOT
#
# Needs root; installs debootstrap when it is missing.

# shellcheck source=scripts/debian-archive.sh
. "$(dirname "${BASH_SOURCE[0]}")/debian-archive.sh"

debian_suite=bookworm

elapsed_since() { echo $(( $(date +%s) - $1 )); }

minbase_tarball() {
  local work=$1 started
  if ! command -v debootstrap >/dev/null && [ ! -x /usr/sbin/debootstrap ]; then
    say "installing debootstrap"
    logged "$work/apt.log" apt-get update
    logged "$work/apt.log" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
  fi
  PATH=$PATH:/usr/sbin:/sbin
  debian_archive
  base=$work/$debian_suite-minbase.tar.gz
  if [ -f "$base" ] && [ "$(cat "$base.source" 2>/dev/null)" = "$archive_uri" ]; then return 0; fi
  say "debootstrap --variant=minbase $debian_suite from $archive_uri (kept as $base)"
  started=$(date +%s)
  rm -rf "$work/debootstrap"
  logged "$work/debootstrap.log" debootstrap --variant=minbase --keyring="$archive_key" \
    "$debian_suite" "$work/debootstrap" "$archive_uri"
  tar -C "$work/debootstrap" -czf "$base.part" .
  mv "$base.part" "$base"
  echo "$archive_uri" >"$base.source"
  rm -rf "$work/debootstrap"
  say "minimal root made in $(elapsed_since "$started") s"
}

# A root is removed only when nothing is mounted below it.
remove_root() {
  if findmnt -rno TARGET | grep -q "^$1/"; then fail "$1 still has mounts; not removing it"; fi
  rm -rf "$1"
}

# The root gets this machine's name resolution and the hosts file Debian's installer writes
# (sudo looks its own host name up there).
fresh_root() {
  remove_root "$1"
  mkdir -p "$1"
  tar -C "$1" -xzf "${2:-$base}"
  cp -L /etc/resolv.conf "$1/etc/resolv.conf"
  hostname >"$1/etc/hostname"
  printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$(hostname)" >"$1/etc/hosts"
}

# The environment is the one a login on that machine has.
in_root() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount -- bash -c '
    set -e
    mount -t proc proc "$1/proc"
    mount --rbind /dev "$1/dev"
    mount -t sysfs sysfs "$1/sys"
    exec chroot "$1" /usr/bin/env -i TERM=dumb /usr/sbin/runuser -l "$2" -c "$3"
  ' in_root "$@"
}

# shellcheck shell=bash
# Sourced by install-deps.sh and fresh-machine-check.sh: finds the Debian archive this
# machine's apt configuration names, so that no archive address is written into the project.
#
#   debian_archive   sets archive_uri and archive_key (the keyring file that signs it)
#
# The first deb822 stanza of the main archive (not the security one) in
# /etc/apt/sources.list.d/*.sources gives both; a one-line sources.list, as debootstrap
# writes it, is the fallback. Without a Signed-By the archive's own keyring is used.

debian_archive() {
  archive_uri=""
  archive_key=""
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    read -r archive_uri archive_key < <(awk '
      BEGIN { RS = ""; FS = "\n" }
      {
        uri = ""; key = ""; suites = ""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/)      { sub(/^URIs:[ \t]*/, "", $i); split($i, u, /[ \t]+/); uri = u[1] }
          if ($i ~ /^Signed-By:/) { sub(/^Signed-By:[ \t]*/, "", $i); key = $i }
          if ($i ~ /^Suites:/)    { suites = $i }
        }
        if (uri != "" && suites !~ /security/ && uri ~ /debian\/?$/) { print uri, key; exit }
      }' "$f") || true
    [ -n "$archive_uri" ] && break
  done
  if [ -z "$archive_uri" ]; then
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      read -r archive_uri archive_key < <(awk '
        $1 == "deb" && $0 !~ /security/ {
          key = ""
          if (match($0, /signed-by=[^] \t]+/)) key = substr($0, RSTART + 10, RLENGTH - 10)
          for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i, key; exit }
        }' "$f") || true
      [ -n "$archive_uri" ] && break
    done
  fi
  if [ -z "$archive_uri" ]; then
    echo "no Debian archive found in the apt configuration (/etc/apt/sources.list.d, /etc/apt/sources.list)" >&2
    return 1
  fi
  # A key given inline in the stanza is not a file; the archive's own keyring signs it too.
  if [ -z "$archive_key" ] || [ ! -f "$archive_key" ]; then
    archive_key=/usr/share/keyrings/debian-archive-keyring.gpg
  fi
}

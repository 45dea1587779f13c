#!/usr/bin/env bash
# A playbook drives the system scope of three fresh Debian 12 roots through the collection
# kestrune.env and Ansible's chroot connection:
#
#   1. the first run changes every host, whose `kenv export --scope system` is then the play;
#   2. the same run again changes nothing and writes nothing, no backup either;
#   3. --check --diff shows the pending change and writes nothing;
#   4. exact: true removes what the play lacks;
#   5. a host whose /etc/environment.d is read-only fails with kenv's message, its files as
#      they were, while the other two change.
#
# The roots are unpacked from a base kept beside the fresh-machine check's minimal root
# (python3 and yyjson's library added), the packages cpack makes from this build are
# installed in each, and every ansible-playbook run happens in a mount namespace of its
# own, so nothing stays mounted. Needs root.
#
#   fleet_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$build_dir/fleet
cache=$source_dir/build/fresh-machine

say() { printf 'fleet: %s\n' "$*"; }
fail() { printf 'fleet: FAILED: %s\n' "$*" >&2; exit 1; }
logged() {
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "$* (log: $log)"
  fi
}
quietly() { logged "$work/quietly.log" "$@"; }
# shellcheck source=scripts/debian-root.sh
. "$source_dir/scripts/debian-root.sh"
# shellcheck source=scripts/yyjson-debs.sh
. "$source_dir/scripts/yyjson-debs.sh"

[ "$(id -u)" -eq 0 ] || fail "needs root (chroot, mount)"
started=$(date +%s)
rm -rf "$work"
mkdir -p "$work" "$cache"
minbase_tarball "$cache"

# The fleet's base: the minimal root with python3 (which Ansible's modules run on) and
# yyjson's packages, remade when the minimal root is.
fleet_base=$cache/$debian_suite-fleet-base.tar.gz
base_key=$(sha256sum <"$base")
if [ ! -f "$fleet_base" ] || [ "$(cat "$fleet_base.source" 2>/dev/null)" != "$base_key" ]; then
  say "making the fleet's base: python3 and yyjson's packages (kept as $fleet_base)"
  mkdir -p "$work/yyjson"
  fetch_yyjson_debs "$work/yyjson"
  fresh_root "$work/base"
  cp "$work"/yyjson/debs/*.deb "$work/base/tmp/"
  logged "$work/base.log" in_root "$work/base" root \
    "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends python3 /tmp/*.deb &&
     apt-get clean && rm -rf /var/lib/apt/lists/* /tmp/*.deb"
  tar -C "$work/base" -czf "$fleet_base.part" .
  mv "$fleet_base.part" "$fleet_base"
  echo "$base_key" >"$fleet_base.source"
  remove_root "$work/base"
fi

say "the packages of this build (cpack)"
logged "$work/cpack.log" cpack --config "$build_dir/CPackConfig.cmake" -B "$work/debs"
mapfile -t debs < <(find "$work/debs" -maxdepth 1 -name '*.deb' ! -name '*gui*' | sort)
[ "${#debs[@]}" -gt 0 ] || fail "cpack made no package"

hosts=(fleet-1 fleet-2 fleet-3)
root_of() { echo "$work/roots/$1"; }
for host in "${hosts[@]}"; do
  root=$(root_of "$host")
  fresh_root "$root" "$fleet_base"
  mkdir "$root/tmp/debs" && cp "${debs[@]}" "$root/tmp/debs/"
  logged "$work/$host-dpkg.log" in_root "$root" root "dpkg -i /tmp/debs/*.deb && rm -rf /tmp/debs"
done
say "three roots with $(basename -a "${debs[@]}" | tr '\n' ' ')"

# Ansible keeps its state in the test's own home; the collection is installed the way its
# README says, from the tarball `ansible-galaxy collection build` makes.
export HOME=$work/home ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_COLLECTIONS_PATH=$work/collections
mkdir -p "$HOME"
printf '[defaults]\ninventory = %s\nlocal_tmp = %s\nretry_files_enabled = false\nnocolor = true\n' \
  "$work/inventory.ini" "$work/ansible-tmp" >"$ANSIBLE_CONFIG"
{
  echo "[fleet]"
  for host in "${hosts[@]}"; do echo "$host ansible_host=$(root_of "$host")"; done
  printf '[fleet:vars]\nansible_connection=community.general.chroot\nansible_python_interpreter=/usr/bin/python3\n'
} >"$work/inventory.ini"
logged "$work/galaxy.log" ansible-galaxy collection build "$source_dir/contrib/ansible" --output-path "$work/collection"
logged "$work/galaxy.log" ansible-galaxy collection install -p "$work/collections" "$work"/collection/kestrune-env-*.tar.gz

# play NAME READONLY_HOST EXTRA_VARS [ANSIBLE_ARGS...]: runs the play, its output in
# $work/NAME.log; /proc and /dev are mounted in every root, and READONLY_HOST's
# /etc/environment.d is made read-only, only in the play's own mount namespace.
play() {
  local name=$1 readonly_root=${2:+$(root_of "$2")} extra=$3
  shift 3
  set +e
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount -- bash -c '
    set -e
    roots=$1 readonly_root=$2; shift 2
    for root in "$roots"/*; do mount -t proc proc "$root/proc"; mount --rbind /dev "$root/dev"; done
    if [ -n "$readonly_root" ]; then
      mount --bind "$readonly_root/etc/environment.d" "$readonly_root/etc/environment.d"
      mount -o remount,bind,ro "$readonly_root/etc/environment.d"
    fi
    exec ansible-playbook "$@"
  ' play "$work/roots" "$readonly_root" "$source_dir/tests/fleet/site.yml" -e "$extra" "$@" >"$work/$name.log" 2>&1
  play_status=$?
  set -e
}

failures=0
check() {
  local what=$1; shift
  if "$@"; then say "ok: $what"; else say "NOT OK: $what"; failures=$((failures + 1)); fi
}
# recap_says NAME HOST WORDS: the play's recap line for HOST holds each WORD (changed=1, ...).
recap_says() {
  local line word
  line=$(grep -E "^$2 +: ok=" "$work/$1.log") || return 1
  for word in "${@:3}"; do [[ " $line " == *" $word "* ]] || return 1; done
}
every_host() {
  local host
  for host in "${hosts[@]}"; do "$@" "$host" || return 1; done
}
recap_of_all() { local name=$1 word=$2; every_host recap_with "$name" "$word"; }
recap_with() { recap_says "$1" "$3" "$2"; }
# What a change writes: the store, backups and the native and export files of the scope.
files_of() {
  local root
  root=$(root_of "$1")
  (cd "$root" && { find etc/environment.d etc/profile.d var/lib/pellomar -type f -exec sha256sum {} + 2>/dev/null || true; } | sort -k2)
}
snapshot() { local host; for host in "${hosts[@]}"; do files_of "$host" >"$work/$1.$host"; done; }
same_files() { files_of "$2" | cmp -s - "$work/$1.$2"; }
# exported_state_is JSON HOST: the host's `kenv export --scope system` is the document JSON.
exported_state_is() {
  in_root "$(root_of "$2")" root "kenv export --scope system --format json" >"$work/export.$2" &&
    python3 -c 'import json, sys
sys.exit(json.load(open(sys.argv[1])) != json.loads(sys.argv[2]))' "$work/export.$2" "$1"
}
state() { printf '{"format": "kenv-state/1", "scope": "system", "vars": %s, "path": %s}' "$1" "$2"; }

java=/usr/lib/jvm/java-17-openjdk-amd64
say "1. first run"
play first "" "{\"fleet_vars\": {\"JAVA_HOME\": \"$java\", \"FLEET_TIER\": \"web\"}, \"fleet_path\": [\"$java/bin\"]}"
first_state=$(state "[{\"name\": \"JAVA_HOME\", \"value\": \"$java\"}, {\"name\": \"FLEET_TIER\", \"value\": \"web\"}]" "[\"$java/bin\"]")
check "the first run succeeds (log: $work/first.log)" test "$play_status" -eq 0
check "the first run changes every host" recap_of_all first changed=1
check "every host's system scope is the play" every_host exported_state_is "$first_state"

say "2. the same run again"
snapshot after-first
play again "" "{\"fleet_vars\": {\"JAVA_HOME\": \"$java\", \"FLEET_TIER\": \"web\"}, \"fleet_path\": [\"$java/bin\"]}"
check "the second run succeeds" test "$play_status" -eq 0
check "the second run changes no host" recap_of_all again changed=0
check "the second run writes nothing, no backup either" every_host same_files after-first

say "3. --check --diff"
play check "" "{\"fleet_vars\": {\"JAVA_HOME\": \"/opt/jdk-21\", \"FLEET_TIER\": null}, \"fleet_path\": [\"$java/bin\"]}" --check --diff
check "the check run succeeds" test "$play_status" -eq 0
check "the check run reports a pending change on every host" recap_of_all check changed=1
check "the diff shows the new value" grep -q -x -e '+      "value": "/opt/jdk-21"' "$work/check.log"
check "the diff shows the removed variable" grep -q -x -e '-      "name": "FLEET_TIER",' "$work/check.log"
check "the check run writes nothing" every_host same_files after-first

say "4. exact: true"
in_root "$(root_of fleet-1)" root "kenv set --scope system LOCAL_ONLY 1" >/dev/null
play exact "" "{\"fleet_vars\": {\"JAVA_HOME\": \"$java\"}, \"fleet_path\": [], \"fleet_exact\": true}"
check "the exact run succeeds" test "$play_status" -eq 0
check "the exact run changes every host" recap_of_all exact changed=1
check "every host holds exactly the play" every_host exported_state_is "$(state "[{\"name\": \"JAVA_HOME\", \"value\": \"$java\"}]" "[]")"

say "5. one host's /etc/environment.d read-only"
snapshot before-readonly
play readonly fleet-3 "{\"fleet_vars\": {\"JAVA_HOME\": \"/opt/jdk-21\"}, \"fleet_path\": []}"
check "the run fails" test "$play_status" -ne 0
check "fleet-1 changes" recap_says readonly fleet-1 changed=1 failed=0
check "fleet-2 changes" recap_says readonly fleet-2 changed=1 failed=0
check "fleet-3 fails" recap_says readonly fleet-3 changed=0 failed=1
check "fleet-3's failure is kenv's message" grep -q -E '^fatal: \[fleet-3\]: FAILED! => .*"msg": "kenv: [^"]*/etc/environment\.d/99-pellomar-system\.conf' "$work/readonly.log"
check "fleet-3's files are as they were" same_files before-readonly fleet-3

say "$(elapsed_since "$started") s"
[ "$failures" -eq 0 ] || fail "$failures checks (the logs and roots are in $work)"
for host in "${hosts[@]}"; do remove_root "$(root_of "$host")"; done

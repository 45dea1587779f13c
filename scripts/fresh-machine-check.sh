#!/usr/bin/env bash
# Runs the README's two set-up commands on a fresh Debian 12, as a new user would: a minimal
# root made by debootstrap from the archive this machine's apt configuration names, a clean
# clone of the current commit copied in, and the commands run inside it with chroot, with
# /proc, /dev and /sys mounted in a mount namespace of their own (so nothing stays mounted
# on this machine, whatever happens).
#
#   1. as root: the main command, then the test command;
#   2. in a second fresh root, as a new user with password-less sudo and a clone of its own:
#      the main command.
#
# Each command's exit status and time are printed, its output goes to a log under
# build/fresh-machine/, and the script fails if any of them fails. The debootstrapped root
# is kept as a tarball there, so a second run starts in seconds. Needs root; installs
# debootstrap when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# shellcheck source=scripts/debian-root.sh
. scripts/debian-root.sh

say() { printf 'fresh-machine: %s\n' "$*"; }
fail() { printf 'fresh-machine: %s\n' "$*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mount): sudo bash scripts/fresh-machine-check.sh"

user=ada
clone_name=kestrune-envvar-editor
work=$repo/build/fresh-machine
head=$(git -C "$repo" rev-parse HEAD)
mkdir -p "$work"

# The two commands are the README's, as committed: the indented lines of its set-up section.
mapfile -t readme_commands < <(git -C "$repo" show "$head:README.md" | awk '
  /^## / { on = ($0 ~ /^## Set-up on a fresh machine/); next }
  on && /^    [^ ]/ { sub(/^    /, ""); print }')
[ "${#readme_commands[@]}" -eq 2 ] ||
  fail "expected two commands in the README's set-up section, found ${#readme_commands[@]}"
main_command=${readme_commands[0]}
test_command=${readme_commands[1]}

# Shows the end of a log when a step fails.
logged() {
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "failed: $* (log: $log)"
  fi
}

minbase_tarball "$work"

# clone_into ROOT HOME OWNER: a clean clone of the current commit in HOME/kestrune-envvar-editor.
clone_into() {
  local dest=$1$2/$clone_name
  git clone --quiet --no-checkout "$repo" "$dest"
  git -C "$dest" checkout --quiet --detach "$head"
  in_root "$1" root "chown -R $3: $2/$clone_name" >/dev/null
}

# Prefixes each line with the seconds since $1, so that a log tells where the time went.
seconds_since() {
  local line
  while IFS= read -r line; do printf '%4ss %s\n' "$(elapsed_since "$1")" "$line"; done
}

failures=0
# run_readme_command ROOT USER NAME COMMAND
run_readme_command() {
  local root=$1 who=$2 name=$3 command=$4 status started
  say "$name, as $who: $command (log: $work/$name.log)"
  started=$(date +%s)
  set +e
  in_root "$root" "$who" "cd ~/$clone_name && $command" 2>&1 | seconds_since "$started" >"$work/$name.log"
  status=${PIPESTATUS[0]}
  set -e
  say "$name, as $who: exit status $status after $(elapsed_since "$started") s"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/$name.log" >&2
    failures=$((failures + 1))
  fi
}

total_started=$(date +%s)
say "commit $head; the README's commands:"
say "  main: $main_command"
say "  test: $test_command"

root_as_root=$work/root
fresh_root "$root_as_root"
clone_into "$root_as_root" /root root
run_readme_command "$root_as_root" root main-as-root "$main_command"
run_readme_command "$root_as_root" root test-as-root "$test_command"

root_as_user=$work/root-$user
fresh_root "$root_as_user"
say "second fresh root: sudo installed, user $user with password-less sudo"
logged "$work/sudo.log" in_root "$root_as_user" root "
  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends sudo &&
  useradd --create-home --shell /bin/bash $user &&
  echo '$user ALL=(ALL:ALL) NOPASSWD: ALL' >/etc/sudoers.d/$user && chmod 0440 /etc/sudoers.d/$user"
clone_into "$root_as_user" "/home/$user" "$user"
run_readme_command "$root_as_user" "$user" main-as-$user "$main_command"

say "total $(elapsed_since "$total_started") s"
if [ "$failures" -ne 0 ]; then
  fail "$failures of the README's commands failed; the roots are kept in $work for a look"
fi
remove_root "$root_as_root"
remove_root "$root_as_user"
say "passed"

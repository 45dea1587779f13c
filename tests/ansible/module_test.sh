#!/usr/bin/env bash
# kestrune.env.environment on this machine's user scope, in a sandboxed home, through
# Ansible's local connection: check mode writes nothing, a run changes and a second one
# does not, a null value removes, refusals fail with kenv's message, and the document's
# temporary file is gone afterwards.
#
#   module_test.sh SOURCE_DIR KENV
set -uo pipefail
source_dir=$1
kenv=$2
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
export HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data \
  XDG_STATE_HOME=$sandbox/state XDG_CACHE_HOME=$sandbox/cache \
  ANSIBLE_CONFIG=$sandbox/ansible.cfg ANSIBLE_COLLECTIONS_PATH=$sandbox/collections
mkdir -p "$HOME"
printf '[defaults]\nnocolor = true\nlocalhost_warning = false\n[inventory]\ninventory_unparsed_warning = false\n' >"$ANSIBLE_CONFIG"
ansible-galaxy collection install -p "$ANSIBLE_COLLECTIONS_PATH" "$source_dir/contrib/ansible" >/dev/null || exit 1

failures=0
# case WHAT ARGS WANTED_OUTPUT_REGEX WANTED_STATE [ANSIBLE_OPTIONS...]: WANTED_STATE is the
# user scope's vars and path afterwards, as JSON ({"vars": [...], "path": [...]}).
case_() {
  local what=$1 args=$2 wanted=$3 state=$4 out now
  out=$(ansible localhost -c local -m kestrune.env.environment -a "$args" "${@:5}" 2>&1)
  now=$("$kenv" export --scope user --format json)
  if ! grep -q -E "$wanted" <<<"$out"; then
    printf 'NOT OK: %s: output lacks /%s/:\n%s\n' "$what" "$wanted" "$out"; failures=$((failures + 1))
  elif ! python3 -c 'import json, sys
now, want = json.loads(sys.argv[1]), json.loads(sys.argv[2])
sys.exit(now["vars"] != want["vars"] or now["path"] != want["path"])' "$now" "$state"; then
    printf 'NOT OK: %s: the scope is %s\n' "$what" "$now"; failures=$((failures + 1))
  else
    printf 'ok: %s\n' "$what"
  fi
}

k="\"kenv\": \"$kenv\""
empty='{"vars": [], "path": []}'
set_both="{$k, \"vars\": {\"EDITOR\": \"vim\", \"PAGER\": \"less\"}, \"path\": [\"/opt/a/bin\"]}"
both='{"vars": [{"name": "EDITOR", "value": "vim"}, {"name": "PAGER", "value": "less"}], "path": ["/opt/a/bin"]}'
case_ "check mode reports the change and writes nothing" "$set_both" '"changed": true' "$empty" --check
if [ -e "$XDG_DATA_HOME/pellomar/user-env.json" ]; then
  printf 'NOT OK: check mode wrote the store\n'; failures=$((failures + 1))
fi
case_ "a run changes the scope" "$set_both" '"changed": true' "$both"
case_ "the same run again changes nothing" "$set_both" '"changed": false' "$both"
case_ "a null value removes the variable" "{$k, \"vars\": {\"PAGER\": null}}" '"changed": true' \
  '{"vars": [{"name": "EDITOR", "value": "vim"}], "path": ["/opt/a/bin"]}'
case_ "exact keeps only what the task names" "{$k, \"vars\": {\"VISUAL\": \"vi\"}, \"exact\": true}" '"changed": true' \
  '{"vars": [{"name": "VISUAL", "value": "vi"}], "path": []}'
visual='{"vars": [{"name": "VISUAL", "value": "vi"}], "path": []}'
case_ "a name kenv refuses fails with kenv's message" "{$k, \"vars\": {\"1BAD\": \"x\"}}" \
  '"msg": "[^"]*not a valid variable name' "$visual"
case_ "a boolean is refused" "{$k, \"vars\": {\"A\": true}}" 'quote it' "$visual"
case_ "a missing kenv is named" '{"kenv": "/nonexistent/kenv", "vars": {"A": "x"}}' "/nonexistent/kenv: no such program" "$visual"
left=$(find "$sandbox" -name 'kenv-state-*')
if [ -n "$left" ]; then printf 'NOT OK: documents left behind: %s\n' "$left"; failures=$((failures + 1)); fi
exit "$failures"

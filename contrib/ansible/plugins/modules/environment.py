#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The kestrune-envvar-editor authors
# MIT License (see LICENSE)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: environment
short_description: Persistent environment variables and PATH entries, set through kenv
version_added: 0.1.0
description:
  - Makes the user or the system scope of a machine hold the given variables and PATH
    entries, through C(kenv apply), as one change with one backup.
  - Writes the desired state to a temporary file on the target (removed whatever happens)
    and reports what kenv changed. Nothing is written when the scope already holds it.
  - The user scope is that of the remote user; use C(become) to pick another user, or root
    for the system scope.
  - Needs kenv (the C(kenv) package) on the target.
options:
  scope:
    description: The scope to change.
    type: str
    choices: [user, system]
    default: user
  vars:
    description:
      - Variables, a mapping of name to value. A null value means the variable is absent.
      - Values are strings; numbers are written as text, booleans are refused (quote them).
    type: dict
    default: {}
  path:
    description:
      - PATH entries the scope's own PATH holds. Missing entries are added at the end, in
        this order; entries already there stay where they are.
    type: list
    elements: str
    default: []
  exact:
    description:
      - With C(true) the scope ends holding exactly I(vars) and I(path) (its own PATH in
        this order), as C(kenv apply --prune) does. Names kenv protects are kept and
        reported as warnings.
    type: bool
    default: false
  kenv:
    description: The path of the kenv program; by default it is looked up on PATH.
    type: path
notes:
  - Supports check mode (nothing is written; C(changed) tells whether something would
    change) and diff mode (the scope as C(kenv export) writes it, before and after).
author:
  - The kestrune-envvar-editor authors
"""

EXAMPLES = r"""
- name: Java for every login on every host
  kestrune.env.environment:
    scope: system
    vars:
      JAVA_HOME: /usr/lib/jvm/java-17-openjdk-amd64
      OLD_JAVA: null
    path:
      - /usr/lib/jvm/java-17-openjdk-amd64/bin
  become: true

- name: The deploy user's environment holds these and nothing else
  kestrune.env.environment:
    vars:
      EDITOR: vim
    exact: true
  become: true
  become_user: deploy
"""

RETURN = r"""
changes:
  description: What changed (in check mode, what would change), as kenv reports it.
  returned: always
  type: list
  elements: dict
  sample:
    - {op: set, name: JAVA_HOME, old: null, new: /usr/lib/jvm/java-17-openjdk-amd64}
    - {op: path_add, name: PATH, old: null, new: /usr/lib/jvm/java-17-openjdk-amd64/bin}
backup:
  description: The backup kenv took before the change, null when nothing changed.
  returned: always
  type: str
  sample: /var/lib/pellomar/backups/20260101T120000Z-1.json
"""

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import string_types

# kenv apply --check exits with 3 when something would change.
CHECK_PENDING = 3


def text_value(module, name, value):
    if value is None or isinstance(value, string_types):
        return value
    if isinstance(value, bool):
        module.fail_json(msg="%s: a boolean is not a value; quote it (\"true\")" % name)
    if isinstance(value, (int, float)):
        return str(value)
    module.fail_json(msg="%s: a value is a string, a number or null" % name)


def kenv_program(module):
    program = module.params["kenv"] or module.get_bin_path("kenv")
    if not program:
        module.fail_json(msg="kenv was not found on the target's PATH; install the kenv package or set the kenv option")
    if not os.access(program, os.X_OK):
        module.fail_json(msg="%s: no such program; install the kenv package or set the kenv option" % program)
    return program


def kenv_failed(module, rc, out, err):
    module.fail_json(msg=(err or out).strip() or "kenv failed with exit status %d" % rc, rc=rc, stdout=out, stderr=err)


def export_state(module, kenv, scope):
    rc, out, err = module.run_command([kenv, "export", "--scope", scope, "--format", "json"])
    if rc != 0:
        kenv_failed(module, rc, out, err)
    try:
        return json.loads(out)
    except ValueError:
        module.fail_json(msg="kenv export wrote no JSON document", stdout=out)


def put_var(doc_vars, name, value):
    for var in doc_vars:
        if var["name"] == name:
            var["value"] = value
            return
    doc_vars.append({"name": name, "value": value})


def desired_document(scope, wanted, path, exact):
    """The document kenv applies, and whether it must be applied with --prune.

    With exact the document is the wanted state, applied with --prune. Otherwise a null
    value stays null in the document, which asks kenv to remove that variable alone.
    """
    doc = {"format": "kenv-state/1", "scope": scope, "path": list(path)}
    doc["vars"] = [{"name": n, "value": v} for n, v in wanted.items() if v is not None or not exact]
    return doc, exact


def state_after(before, changes, path, exact):
    """The scope's state once the changes are made, for check mode's diff."""
    after = {"format": before["format"], "scope": before["scope"], "vars": [dict(v) for v in before["vars"]], "path": list(before["path"])}
    for change in changes:
        if change["op"] == "set":
            put_var(after["vars"], change["name"], change["new"])
        elif change["op"] == "delete":
            after["vars"] = [v for v in after["vars"] if v["name"] != change["name"]]
    if exact:
        after["path"] = list(path)
    elif any(change["op"].startswith("path_") for change in changes):
        after["path"] += [entry for entry in path if entry not in after["path"]]
    return after


def render(state):
    """The document as kenv export writes it: JSON indented by two spaces, UTF-8 as it is."""
    return json.dumps(state, indent=2, ensure_ascii=False) + "\n"


def apply_document(module, kenv, doc, prune):
    fd, doc_file = tempfile.mkstemp(prefix="kenv-state-", suffix=".json", dir=module.tmpdir)
    try:
        with os.fdopen(fd, "w") as out:
            json.dump(doc, out, ensure_ascii=False)
        argv = [kenv, "apply", doc_file, "--scope", doc["scope"], "--json"]
        argv += ["--prune"] if prune else []
        argv += ["--check"] if module.check_mode else []
        rc, out, err = module.run_command(argv)
    finally:
        os.unlink(doc_file)
    if rc not in (0, CHECK_PENDING) or (rc == CHECK_PENDING and not module.check_mode):
        kenv_failed(module, rc, out, err)
    try:
        result = json.loads(out)
    except ValueError:
        module.fail_json(msg="kenv apply wrote no JSON result", stdout=out, stderr=err)
    for line in err.splitlines():
        module.warn(line)
    return result


def main():
    module = AnsibleModule(
        argument_spec=dict(
            scope=dict(type="str", choices=["user", "system"], default="user"),
            vars=dict(type="dict", default={}),
            path=dict(type="list", elements="str", default=[]),
            exact=dict(type="bool", default=False),
            kenv=dict(type="path"),
        ),
        supports_check_mode=True,
    )
    scope, path, exact = module.params["scope"], module.params["path"], module.params["exact"]
    wanted = dict((name, text_value(module, name, value)) for name, value in module.params["vars"].items())
    kenv = kenv_program(module)

    before = export_state(module, kenv, scope) if module._diff else None
    doc, prune = desired_document(scope, wanted, path, exact)
    result = apply_document(module, kenv, doc, prune)

    changed = bool(result.get("changed"))
    response = dict(changed=changed, changes=result.get("changes", []), backup=result.get("backup"))
    if module._diff:
        if not changed:
            after = before
        elif module.check_mode:
            after = state_after(before, response["changes"], path, exact)
        else:
            after = export_state(module, kenv, scope)
        response["diff"] = dict(before=render(before), after=render(after),
                                before_header="%s scope" % scope, after_header="%s scope" % scope)
    module.exit_json(**response)


if __name__ == "__main__":
    main()

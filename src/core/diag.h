// PATH diagnostics for the listing document.
#pragma once

#include "core/json_out.h"
#include "core/views.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A warning about the library's own state: a store it cannot use ("store", named by its
// file), or a variable whose store and native values disagree ("native").
struct env_warning {
  const char *code;
  std::string name;
  std::string message;
};

// The scope's PATH entries (`path` split, the scope's PATH variable or nullptr; for the user
// scope the entries shell start-up files add), flagged for existence and duplicates.
// `session` places the entries: the scope's own ones where its own file puts them, among the
// read-only entries other files add.
void path_diag_entries(env_scope scope, const env_kv *path, const env_session &session,
                       const std::function<std::string(std::string_view)> &expand, path_entry_list &out);
// The "session" member: the variables a new session gets, each with the file that set it
// and what a login shell that sources the export files gets instead.
void session_write(env_json_out &out, env_scope scope, const env_session &session);
// The "path" member: one object per entry.
void path_diag_write_entries(env_json_out &out, const path_entry_list &entries);
// The "warnings" member: each entry's warnings, then PATH length warnings, then per variable
// its value-length and "%"-in-name warnings, then the warnings about the library's state.
void path_diag_write_warnings(env_json_out &out, const path_entry_list &entries, const env_kv *path,
                              const env_kv_list &merged, const std::vector<env_warning> &state);

// The listing's "session" member: what a new login session gets (the backend computes it as
// the platform's session start does), and beside each variable what a login shell gets that
// starts from the inherited environment and sources the export files, the system scope's
// and then the user scope's: variables other files set reach sessions but not such shells.
#include "core/diag.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/order.h"
#include "core/state.h"
#include "core/views.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"

#include <cstdlib>
#include <unordered_map>

namespace {

// A shell's variables: those the export files assigned over the inherited ones.
class shell_env {
public:
  std::optional<std::string> get(std::string_view name) const {
    auto at = assigned_.find(key(name));
    if (at != assigned_.end())
      return at->second;
    return env_plat_process_variable(name);
  }
  // One `export` line of an export file: references take the shell's values of the moment,
  // and PATH adds its entries to the shell's PATH.
  void source(const env_kv &kv) {
    bool dollar = env_plat_reference_style() == env_ref_style::dollar;
    bool references = dollar && kv.value.find('$') != std::string::npos;
    std::string value = references ? expand_value(kv.value, env_ref_style::dollar,
                                                  [this](std::string_view n) { return get(n); })
                                   : kv.value;
    std::optional<std::string> path = kv.name == "PATH" ? get("PATH") : std::nullopt;
    if (path && !path->empty())
      value = *path + env_plat_path_sep() + value;
    assigned_[key(kv.name)] = std::move(value);
  }

private:
  std::unordered_map<std::string, std::string> assigned_;
  static std::string key(std::string_view name) {
    std::string k(name);
    if (env_plat_names_fold_case())
      for (char &c : k)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return k;
  }
};

// The export file's lines, in the order it writes them.
void source_store(const env_kv_list &stored, shell_env &shell) {
  for (std::size_t at : assignment_order(stored))
    if (export_writes(stored[at]))
      shell.source(stored[at]);
}

// The system scope's store, which a user scope's listing has not read.
void source_system_store(shell_env &shell) {
  env_layout files;
  if (env_layout_of(env_scope::system, files) != 0)
    return;
  env_kv_list stored;
  store_each(files.store, false, [&](const char *name, const char *value) {
    stored.push_back(env_kv{name, value, ""});
  });
  source_store(stored, shell);
}

void write_text(env_json_out &out, const char *key, std::string_view text) {
  out.key(key);
  out.string(text);
}

} // namespace

void session_write(env_json_out &out, env_scope scope, const env_session &session,
                   const env_kv_list &stored) {
  // A store that cannot be located gives the shell nothing; the listing's own message about
  // it (the one a caller reads after a listing) stays.
  std::string message = env_last_error();
  shell_env shell;
  if (scope == env_scope::user)
    source_system_store(shell);
  source_store(stored, shell);
  if (message.empty())
    env_clear_error();
  else
    env_set_error("%s", message.c_str());
  out.key("session");
  out.begin_array();
  for (const env_session_var &v : session.vars) {
    std::optional<std::string> in_shell = shell.get(v.name);
    out.begin_object();
    write_text(out, "name", v.name);
    write_text(out, "value", v.value);
    write_text(out, "file", v.file);
    out.key("shell");
    if (in_shell)
      out.string(*in_shell);
    else
      out.null();
    out.key("differs");
    out.integer(in_shell && *in_shell == v.value ? 0 : 1);
    out.end_object();
  }
  out.end_array();
}

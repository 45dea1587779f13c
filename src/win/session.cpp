// The environment a new process gets from the registry: Windows assigns the machine's
// variables and then the user's, a user variable replacing a machine variable of the same
// name except PATH, which becomes the machine's PATH followed by the user's. Each value's
// %NAME% references are expanded against what was assigned before it, else against the
// environment the process inherits.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#include "core/views.h"
#include "platform/env_plat.h"

namespace {

const char *key_name(env_scope scope) {
  return scope == env_scope::system ? "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"
                                    : "HKCU\\Environment";
}

env_session_var *find(env_session &s, std::string_view name) {
  for (env_session_var &v : s.vars)
    if (env_name_eq(v.name, name))
      return &v;
  return nullptr;
}

std::string expand(env_session &s, const std::string &value) {
  return expand_value(value, env_ref_style::percent,
                      [&](std::string_view name) -> std::optional<std::string> {
                        if (const env_session_var *v = find(s, name))
                          return v->value;
                        return env_plat_process_variable(name);
                      });
}

void add_entries(env_session &s, const std::string &value, const char *file, bool own) {
  for (std::size_t start = 0; !value.empty() && start <= value.size();) {
    std::size_t end = std::min(value.find(';', start), value.size());
    s.path.push_back({value.substr(start, end - start), file, own});
    start = end + 1;
  }
}

void assign_key(env_session &s, env_scope key, env_scope scope) {
  env_kv_list vars;
  if (env_plat_native_vars(key, vars) != 0)
    return;
  for (const env_kv &kv : vars) {
    std::string value = expand(s, kv.value);
    bool is_path = env_name_is_path(kv.name.c_str());
    if (is_path)
      add_entries(s, value, key_name(key), key == scope);
    env_session_var *v = find(s, kv.name);
    if (v && is_path && !v->value.empty() && !value.empty())
      value = v->value + ";" + value;
    if (v)
      *v = {v->name, std::move(value), key_name(key)};
    else
      s.vars.push_back({kv.name, std::move(value), key_name(key)});
  }
}

} // namespace

int env_plat_session(env_scope scope, env_session &out, env_native_view *native) {
  out = env_session();
  if (native) {
    *native = env_native_view();
    native->rc = env_plat_native_vars(scope, native->vars);
  }
  assign_key(out, env_scope::system, scope);
  if (scope == env_scope::user)
    assign_key(out, env_scope::user, scope);
  out.own_file = key_name(scope);
  out.own_at = out.path.size();
  for (std::size_t i = 0; i < out.path.size(); ++i)
    if (out.path[i].own) {
      out.own_at = i;
      break;
    }
  return 0;
}

#endif

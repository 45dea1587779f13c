// env_set and env_del: one variable through the change pipeline.
#include "kestrune_env.h"

#include "core/change.h"
#include "core/frame.h"

#include <algorithm>

namespace {

int set_variable(env_scope scope, const char *name, const char *value) {
  if (env_validate_name(name) != 0)
    return 0;
  if (!value) {
    env_set_error("NULL value");
    return 0;
  }
  // Known before anything is read: a refused pair leaves no trace, not even the lock file.
  if (env_plat_native_check(scope, name, value) != 0)
    return 0;
  return run_change(scope, store_policy::must_be_usable, [&](const scope_state &st, change_plan &plan) {
    plan.store = st.store.vars;
    store_put(plan.store, name, value);
    plan.native.push_back({name, std::string(value)});
    return plan_verdict::go;
  });
}

// Removes every record whose name matches; false when none matched.
bool remove_name(env_kv_list &vars, const char *name) {
  auto gone =
      std::remove_if(vars.begin(), vars.end(), [&](const env_kv &kv) { return env_name_eq(kv.name, name); });
  bool found = gone != vars.end();
  vars.erase(gone, vars.end());
  return found;
}

int delete_variable(env_scope scope, const char *name) {
  if (env_validate_name(name) != 0)
    return 0;
  if (env_name_is_protected(name)) {
    env_set_error("refused: '%s' is a protected name (PATH/SystemRoot/WINDIR/TEMP/TMP) "
                  "\xE2\x80\x94 deleting bricks shells",
                  name);
    return 0;
  }
  return run_change(scope, store_policy::must_be_usable, [&](const scope_state &st, change_plan &plan) {
    plan.store = st.store.vars;
    // The store decides existence, and the backup is taken before that is known.
    if (!remove_name(plan.store, name)) {
      env_set_error("variable '%s' not found in %s store", name, env_scope_name(scope));
      return plan_verdict::refused_after_backup;
    }
    plan.native.push_back({name, std::nullopt});
    return plan_verdict::go;
  });
}

} // namespace

extern "C" KENV_API int env_set(const char *scope, const char *name, const char *value) {
  return env_run_framed(0, [&] {
    env_scope s;
    return env_scope_arg(scope, s) ? set_variable(s, name, value) : 0;
  });
}

extern "C" KENV_API int env_del(const char *scope, const char *name) {
  return env_run_framed(0, [&] {
    env_scope s;
    return env_scope_arg(scope, s) ? delete_variable(s, name) : 0;
  });
}

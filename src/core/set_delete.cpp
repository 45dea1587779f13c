// env_set and env_del: one variable through the whole write chain (backup, store, native
// store, export file, broadcast). Steps already done are never undone.
#include "kestrune_env.h"

#include "core/frame.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <algorithm>

namespace {

int set_variable(const char *scope, const char *name, const char *value) {
  if (env_validate_name(name) != 0)
    return 0;
  if (!value) {
    env_set_error("NULL value");
    return 0;
  }
  env_data_lock lock;
  store_file store;
  store_read(scope, store);
  if (make_backup(scope, store.vars) != 0)
    return 0;
  store_put(store.vars, name, value);
  if (store_save(scope, store.vars, store) != 0)
    return 0;
  if (env_plat_native_set(scope, name, value) != 0 || emit_export(scope, store.vars) != 0)
    return 0;
  env_plat_broadcast();
  return 1;
}

// Removes every record whose name matches; false when none matched.
bool remove_name(env_kv_list &vars, const char *name) {
  auto gone =
      std::remove_if(vars.begin(), vars.end(), [&](const env_kv &kv) { return env_name_eq(kv.name, name); });
  bool found = gone != vars.end();
  vars.erase(gone, vars.end());
  return found;
}

int delete_variable(const char *scope, const char *name) {
  if (env_validate_name(name) != 0)
    return 0;
  if (env_name_is_protected(name)) {
    env_set_error("refused: '%s' is a protected name (PATH/SystemRoot/WINDIR/TEMP/TMP) "
                  "\xE2\x80\x94 deleting bricks shells",
                  name);
    return 0;
  }
  env_data_lock lock;
  store_file store;
  store_read(scope, store);
  if (make_backup(scope, store.vars) != 0)
    return 0;
  if (!remove_name(store.vars, name)) {
    env_set_error("variable '%s' not found in %s store", name, scope);
    return 0;
  }
  if (store_save(scope, store.vars, store) != 0)
    return 0;
  // The store decides existence; a native store that keeps the name is tolerated.
  if (env_plat_native_del(scope, name) != 0)
    env_clear_error();
  if (emit_export(scope, store.vars) != 0)
    return 0;
  env_plat_broadcast();
  return 1;
}

} // namespace

extern "C" KENV_API int env_set(const char *scope, const char *name, const char *value) {
  return env_run_framed(0, [&] {
    const char *s = env_scope_arg(scope);
    return s ? set_variable(s, name, value) : 0;
  });
}

extern "C" KENV_API int env_del(const char *scope, const char *name) {
  return env_run_framed(0, [&] {
    const char *s = env_scope_arg(scope);
    return s ? delete_variable(s, name) : 0;
  });
}

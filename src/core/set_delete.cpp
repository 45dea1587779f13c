// env_set and env_del: one variable through the whole write chain (backup, store, native
// store, export file, broadcast). Steps already done are never undone.
#include "kestrune_env.h"

#include "core/frame.h"
#include "core/state.h"
#include "platform/env_plat.h"

namespace {

int set_variable(const char *scope, const char *name, const char *value) {
  if (env_validate_name(name) != 0)
    return 0;
  if (!value) {
    env_set_error("NULL value");
    return 0;
  }
  env_data_lock lock;
  if (make_backup(scope) != 0 || store_upsert(scope, name, value) != 0)
    return 0;
  if (env_plat_native_set(scope, name, value) != 0 || emit_export(scope) != 0)
    return 0;
  env_plat_broadcast();
  return 1;
}

// The store minus every record whose name matches; false when none matched.
bool without_name(const env_kv_list &vars, const char *name, env_kv_list &kept) {
  kept.reserve(vars.size());
  for (const env_kv &kv : vars)
    if (!env_name_eq(kv.name, name))
      kept.push_back(kv);
  return kept.size() != vars.size();
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
  if (make_backup(scope) != 0)
    return 0;
  env_kv_list vars, kept;
  store_load(scope, vars);
  if (!without_name(vars, name, kept)) {
    env_set_error("variable '%s' not found in %s store", name, scope);
    return 0;
  }
  if (store_save(scope, kept) != 0)
    return 0;
  // The store decides existence; a native store that keeps the name is tolerated.
  if (env_plat_native_del(scope, name) != 0)
    env_clear_error();
  if (emit_export(scope) != 0)
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

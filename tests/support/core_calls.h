// Shorthands for tests of the core's parts: each runs one step of the change pipeline on
// its own, as a change would run it, on the scope's files.
#pragma once

#include "core/files.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <optional>
#include <string>

inline env_scope to_scope(const char *text) {
  env_scope scope = env_scope::user;
  (void)env_scope_arg(text, scope);
  return scope;
}

inline env_layout scope_files(env_scope scope = env_scope::user) {
  env_layout files;
  (void)env_layout_of(scope, files);
  return files;
}

inline env_kv_list stored_vars(env_scope scope = env_scope::user) {
  store_file store;
  store_read(scope_files(scope).store, store);
  return store.vars;
}

inline int backup_store(env_scope scope = env_scope::user) {
  env_layout files;
  if (env_layout_of(scope, files) != 0)
    return -1;
  store_file store;
  store_read(files.store, store);
  return make_backup(files, scope, store);
}

inline int save_store(const env_kv_list &vars, env_scope scope = env_scope::user) {
  env_layout files = scope_files(scope);
  store_file before;
  store_read(files.store, before);
  return store_write(files, store_text(vars, before.records), before);
}

inline int put_in_store(const char *name, const char *value, env_scope scope = env_scope::user) {
  env_kv_list vars = stored_vars(scope);
  store_put(vars, name, value);
  return save_store(vars, scope);
}

inline int export_store(env_scope scope = env_scope::user) {
  return emit_export(scope_files(scope), scope, stored_vars(scope));
}

// One native change on its own, with no store pairs to heal.
inline int native_change(env_scope scope, const char *name, std::optional<std::string> value) {
  env_native_undo undo;
  return env_plat_native_write(scope, {env_native_change{name ? name : "", std::move(value)}}, {}, undo);
}
inline int native_set(env_scope scope, const char *name, const char *value) {
  if (env_plat_native_check(scope, name, value ? value : "") != 0)
    return -1;
  return native_change(scope, name, std::string(value ? value : ""));
}
inline int native_del(env_scope scope, const char *name) {
  return native_change(scope, name, std::nullopt);
}

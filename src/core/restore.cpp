// Backups on disk: env_backups lists them (backup_list.cpp), env_restore brings one back
// into the user scope.
#include "kestrune_env.h"

#include "core/backups.h"
#include "core/change.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "core/views.h"
#include "platform/env_plat.h"

namespace {

// Reads and checks the backup file; the restore list holds its variables in order.
int read_backup(const char *backup_path, env_kv_list &vars) {
  std::string text;
  int rc = env_read_file(backup_path, text);
  if (rc == env_not_regular) {
    env_set_error("cannot read backup: %s (not a regular file)", backup_path);
    return -1;
  }
  if (rc != 0) {
    env_set_error("cannot read backup: %s", backup_path);
    return -1;
  }
  yy_doc doc = env_json_read(text);
  if (!doc) {
    env_set_error("invalid backup JSON");
    return -1;
  }
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root) || yyjson_obj_size(root) == 0) {
    env_set_error("backup missing vars array");
    return -1;
  }
  yyjson_val *scope = env_json_member(root, "scope");
  if (yyjson_is_str(scope) && env_name_casecmp(yyjson_get_str(scope), "system") == 0) {
    env_set_error("restore is user-scope only");
    return -1;
  }
  yyjson_val *list = env_json_member(root, "vars");
  if (!yyjson_is_arr(list)) {
    env_set_error("backup missing vars array");
    return -1;
  }
  env_json_take_vars(list, "overlay", vars);
  return 0;
}

// Makes the user scope equal to the backup: its pairs are set, and every name the store
// held that the backup lacks is removed from the native store too, except a protected name
// where the native store holds the whole of it (the registry's PATH, which installers
// write): that one is left, and the note says so.
plan_verdict plan_restore(const env_kv_list &backup, const scope_state &st, change_plan &plan) {
  plan.store = backup;
  for (const env_kv &kv : backup)
    plan.native.push_back({kv.name, kv.value});
  std::string kept;
  // Looked up by index: a scope of thousands of names must not cost millions of comparisons.
  env_kv_index in_backup(backup);
  for (const env_kv &kv : st.store.vars) {
    if (in_backup.find(kv.name) >= 0)
      continue;
    if (env_name_is_protected(kv.name.c_str()) && env_plat_native_owns_protected()) {
      kept += (kept.empty() ? "'" : ", '") + kv.name + "'";
      continue;
    }
    plan.native.push_back({kv.name, std::nullopt});
  }
  if (!kept.empty())
    plan.note = "restored; left in the " + std::string(env_plat_write_policy()) + " (protected): " + kept;
  return plan_verdict::go;
}

int restore(const char *backup_path) {
  if (!backup_path || !*backup_path) {
    env_set_error("NULL or empty backup_path");
    return 0;
  }
  env_kv_list backup;
  if (read_backup(backup_path, backup) != 0)
    return 0;
  // Every pair is checked before anything is read or written: the first one refused
  // refuses the whole file.
  for (const env_kv &kv : backup)
    if (env_plat_native_check(env_scope::user, kv.name.c_str(), kv.value.c_str()) != 0)
      return 0;
  return run_change(env_scope::user, store_policy::may_be_replaced,
                    [&](const scope_state &st, change_plan &plan) { return plan_restore(backup, st, plan); });
}

} // namespace

extern "C" KENV_API char *env_backups(void) {
  return env_run_framed<char *>(nullptr, [] { return list_backups(); });
}

extern "C" KENV_API int env_restore(const char *backup_path) {
  return env_run_framed(0, [&] { return restore(backup_path); });
}

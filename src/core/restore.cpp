// Backups on disk: env_backups lists them (backup_list.cpp), env_restore brings one back
// into the scope it names (the user scope unless its "scope" says system).
#include "kestrune_env.h"

#include "core/backups.h"
#include "core/change.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "core/views.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// What env_restore reads of a document: the variables to restore, the scope they go to and,
// when the document was composed from the scope's store (a front end applying a set of
// variables), the store as it was read then.
struct restore_doc {
  env_scope scope = env_scope::user;
  env_kv_list vars;
  std::optional<std::string> records; // the front ends' records it brings back
  bool has_base = false;
  env_kv_list base;
  std::optional<std::string> base_records;
};

bool cut_by_nul(yyjson_val *v) {
  return yyjson_is_str(v) && std::strlen(yyjson_get_str(v)) != yyjson_get_len(v);
}

// A NUL inside the scope, a name or a value would cut the text where it becomes a C string
// ("PATH\u0000x" would become a second PATH record), so the document is refused whole; so is
// a name given twice, which would leave two records of one variable.
int refuse_cut_or_twice(yyjson_val *scope, yyjson_val *list, const env_kv_list &vars) {
  if (cut_by_nul(scope)) {
    env_set_error("refused: the backup's scope holds a NUL character");
    return -1;
  }
  std::size_t idx, max;
  yyjson_val *elem;
  yyjson_arr_foreach(list, idx, max, elem) {
    if (cut_by_nul(env_json_member(elem, "name")) || cut_by_nul(env_json_member(elem, "value"))) {
      env_set_error("refused: \"vars\" element %llu holds a NUL character",
                    static_cast<unsigned long long>(idx));
      return -1;
    }
  }
  env_kv_index index(vars);
  for (std::size_t i = 0; i < vars.size(); ++i)
    if (index.find(vars[i].name) != static_cast<long>(i)) {
      env_set_error("refused: '%s' is given twice", vars[i].name.c_str());
      return -1;
    }
  return 0;
}

// Reads and checks the backup file; the restore list holds its variables in order.
int read_backup(const char *backup_path, restore_doc &out) {
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
  if (yyjson_is_str(scope) && env_name_casecmp(yyjson_get_str(scope), "system") == 0)
    out.scope = env_scope::system;
  yyjson_val *list = env_json_member(root, "vars");
  if (!yyjson_is_arr(list)) {
    env_set_error("backup missing vars array");
    return -1;
  }
  env_json_take_vars(list, "overlay", out.vars);
  if (refuse_cut_or_twice(scope, list, out.vars) != 0)
    return -1;
  out.records = store_records_of(root);
  yyjson_val *base = env_json_member(root, "based_on");
  out.has_base = yyjson_is_arr(base);
  if (out.has_base)
    env_json_take_vars(base, "overlay", out.base);
  yyjson_val *base_records = env_json_member(root, "based_on_records");
  if (yyjson_is_str(base_records))
    out.base_records = std::string(yyjson_get_str(base_records), yyjson_get_len(base_records));
  return 0;
}

// The pairs of a list sorted, so that two lists holding the same records in another order
// compare equal: the front end reads the store through the listing, whose order may differ.
std::vector<std::pair<std::string, std::string>> sorted_pairs(const env_kv_list &vars) {
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(vars.size());
  for (const env_kv &kv : vars)
    out.emplace_back(kv.name, kv.value);
  std::sort(out.begin(), out.end());
  return out;
}

// Makes the scope equal to the backup: its pairs are set, and every name the store
// held that the backup lacks is removed from the native store too, except a protected name
// where the native store holds the whole of it (the registry's PATH, which installers
// write): that one is left, and the note says so. A document composed from the store is
// refused when the store no longer holds what it was composed from: another change came
// in between, and restoring would undo it.
plan_verdict plan_restore(const restore_doc &doc, const scope_state &st, change_plan &plan) {
  if (doc.has_base &&
      (sorted_pairs(doc.base) != sorted_pairs(st.store.vars) || doc.base_records != st.store.records)) {
    env_set_error("the %s scope changed while applying; nothing was changed; run it again",
                  env_scope_name(st.scope));
    return plan_verdict::refused;
  }
  const env_kv_list &backup = doc.vars;
  plan.store = backup;
  plan.sets_records = true;
  plan.records = doc.records;
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
  restore_doc doc;
  if (read_backup(backup_path, doc) != 0)
    return 0;
  // Every pair is checked before anything is read or written: the first one refused
  // refuses the whole file.
  for (const env_kv &kv : doc.vars)
    if (env_plat_native_check(doc.scope, kv.name.c_str(), kv.value.c_str()) != 0)
      return 0;
  // A document composed from the store needs the store it was composed from; a backup does
  // not, and may replace a store that cannot be used.
  store_policy policy = doc.has_base ? store_policy::must_be_usable : store_policy::may_be_replaced;
  return run_change(doc.scope, policy,
                    [&](const scope_state &st, change_plan &plan) { return plan_restore(doc, st, plan); });
}

} // namespace

extern "C" KENV_API char *env_backups(void) {
  return env_run_framed<char *>(nullptr, [] { return list_backups(); });
}

extern "C" KENV_API int env_restore(const char *backup_path) {
  return env_run_framed(0, [&] { return restore(backup_path); });
}

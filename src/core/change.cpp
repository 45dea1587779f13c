// The change pipeline (see change.h).
#include "core/change.h"

#include "core/env_size.h"
#include "core/frame.h"
#include "core/journal.h"
#include "core/own_files.h"
#include "core/views.h"
#include "kestrune_env.h"

#include <algorithm>
#include <string>

namespace {

int store_unusable(const scope_state &st) {
  const char *how =
      st.scope == env_scope::user ? "restore a backup (kenv restore --latest)" : "fix or move the file";
  env_set_error("store %s cannot be used (%s): nothing was changed; %s", st.files.store.c_str(),
                st.store.problem.c_str(), how);
  return -1;
}

int read_state(env_scope scope, store_policy policy, scope_state &st) {
  st.scope = scope;
  store_read(st.files.store, st.store);
  if (!st.store.problem.empty() && policy == store_policy::must_be_usable)
    return store_unusable(st);
  return 0;
}

// What the native store must do to agree with the store after a killed change: every pair
// of the store, and the removals the killed change planned of names the store no longer
// holds.
std::vector<env_native_change> healing_changes(const scope_state &st, const change_journal &j) {
  std::vector<env_native_change> changes;
  env_kv_index in_store(st.store.vars);
  for (const std::string &name : j.removed)
    if (in_store.find(name) < 0)
      changes.push_back({name, std::nullopt});
  for (const env_kv &kv : st.store.vars)
    if (env_plat_native_check(st.scope, kv.name.c_str(), kv.value.c_str()) == 0)
      changes.push_back({kv.name, kv.value});
  env_clear_error();
  return changes;
}

// Finishes the change the journal names (see core/journal.h). A store that cannot be used
// says nothing about it: the journal then stays for the change that repairs the store.
int finish_interrupted(const scope_state &st) {
  change_journal j;
  bool readable = false;
  if (!st.store.problem.empty() || !journal_read(st.files, j, readable))
    return 0;
  if (readable) {
    if (journal_hash(st.store.bytes) != j.store_hash)
      journal_drop_backup(st.files, j.backup_serial);
    env_native_undo undo;
    if (env_plat_native_write(st.scope, healing_changes(st, j), st.store.vars, undo) != 0 ||
        emit_export(st.files, st.scope, st.store.vars) != 0)
      return -1;
  }
  journal_clear(st.files);
  return 0;
}

// A change that takes the total above the limit is refused; one that does not grow the
// total always goes, so that a scope above the limit can always be brought back under it.
int check_size(const scope_state &st, const change_plan &plan) {
  std::size_t beside = env_size_beside(st.scope);
  std::size_t before = beside + env_size_of(st.store.vars), after = beside + env_size_of(plan.store);
  if (after <= env_size_limit || after <= before)
    return 0;
  env_set_error("refused: the variables would take %llu bytes (NAME=value and one byte each%s), above the "
                "limit of 1 MiB (%llu bytes), half of what Linux passes to a program by default; nothing was "
                "changed",
                static_cast<unsigned long long>(after),
                st.scope == env_scope::user ? ", the system scope's included" : "",
                static_cast<unsigned long long>(env_size_limit));
  return -1;
}

int check_native(env_scope scope, const change_plan &plan) {
  for (const env_native_change &c : plan.native)
    if (c.value && env_plat_native_check(scope, c.name.c_str(), c.value->c_str()) != 0)
      return -1;
  return 0;
}

// Puts back what a failed change wrote, in reverse order, keeping the failure's message
// and adding to it whatever could not be put back. True when everything was put back.
bool put_back(const scope_state &st, const env_native_undo *undo) {
  std::string first = env_last_error();
  std::string also;
  if (undo && *undo && (*undo)() != 0)
    also = env_last_error();
  if (store_put_back(st.files, st.store) != 0)
    also += (also.empty() ? "" : "; ") + std::string(env_last_error());
  if (also.empty())
    env_set_error("%s", first.c_str());
  else
    env_set_error("%s; putting it back failed too: %s", first.c_str(), also.c_str());
  return also.empty();
}

// The store, the native store and the export file; 1 on success. The journal goes once the
// three agree again, after the change or after it was put back.
int write_change(scope_state &st, const change_plan &plan, const std::string &store_text) {
  if (store_write(st.files, store_text, st.store) != 0) {
    journal_clear(st.files);
    return 0;
  }
  env_native_undo undo;
  if (env_plat_native_write(st.scope, plan.native, plan.store, undo) != 0) {
    if (put_back(st, nullptr))
      journal_clear(st.files);
    return 0;
  }
  if (emit_export(st.files, st.scope, plan.store) != 0) {
    if (put_back(st, &undo))
      journal_clear(st.files);
    return 0;
  }
  env_plat_broadcast();
  journal_clear(st.files);
  if (!plan.note.empty())
    env_set_error("%s", plan.note.c_str());
  return 1;
}

change_journal journal_of(const change_plan &plan, const pending_backup &backup,
                          const std::string &store_text) {
  change_journal j{backup.tmp.serial(), journal_hash(store_text), {}};
  for (const env_native_change &c : plan.native)
    if (!c.value)
      j.removed.push_back(c.name);
  return j;
}

// Steps 5 and 6 of change.h, from the plan on.
int carry_out(scope_state &st, plan_verdict verdict, change_plan &plan) {
  if (verdict == plan_verdict::go && (check_size(st, plan) != 0 || check_native(st.scope, plan) != 0))
    return 0;
  std::string refusal = env_last_error();
  tidy_scope(st.files, st.scope);
  if (verdict == plan_verdict::refused_after_backup) {
    if (make_backup(st.files, st.scope, st.store) == 0)
      env_set_error("%s", refusal.c_str());
    return 0;
  }
  std::string text = store_text(plan.store, plan.sets_records ? plan.records : st.store.records);
  if (text.empty()) {
    env_set_error("failed to serialize store");
    return 0;
  }
  pending_backup backup;
  if (backup_prepare(st.files, st.scope, st.store, backup) != 0 ||
      journal_write(st.files, journal_of(plan, backup, text)) != 0)
    return 0;
  if (backup_commit(st.files, st.scope, backup) != 0) {
    journal_clear(st.files);
    return 0;
  }
  return write_change(st, plan, text);
}

bool is_path_change(const env_native_change &c) {
  return env_name_is_path(c.name.c_str()) != 0;
}

// A scope's own PATH that the change leaves empty. Where the native store holds the whole
// PATH (the registry), an empty user PATH would stay behind as an empty value in the store
// and the native store, adding nothing: both go instead, though PATH is protected from
// deletion otherwise. The machine's PATH left empty would leave every program without one.
plan_verdict settle_empty_path(env_scope scope, change_plan &plan) {
  if (!env_plat_native_owns_protected())
    return plan_verdict::go;
  auto empty_record = [](const env_kv &kv) { return env_name_is_path(kv.name.c_str()) && kv.value.empty(); };
  bool emptied = std::any_of(plan.native.begin(), plan.native.end(), [](const env_native_change &c) {
    return is_path_change(c) && c.value && c.value->empty();
  });
  if (scope == env_scope::system && emptied) {
    env_set_error("refused: the machine's PATH would be left without entries, and every program's PATH "
                  "starts with it");
    return plan_verdict::refused;
  }
  if (scope == env_scope::system ||
      (!emptied && std::none_of(plan.store.begin(), plan.store.end(), empty_record)))
    return plan_verdict::go;
  std::erase_if(plan.store, empty_record);
  std::erase_if(plan.native, is_path_change);
  plan.native.push_back({"PATH", std::nullopt});
  return plan_verdict::go;
}

} // namespace

int run_change(env_scope scope, store_policy policy, const change_planner &planner) {
  scope_state st;
  // A native store this process may not write refuses the change before the lock, whose
  // folder such a process may not be able to create either.
  if (env_layout_of(scope, st.files) != 0 || env_resolve_own_files(st.files) != 0 ||
      env_plat_native_ready(scope) != 0)
    return 0;
  // Made here with the scope's mode: the lock would make the folder private.
  (void)env_mkdir_p(st.files.data_dir.c_str(), st.files.dir_mode);
  env_plat_lock_handle lock;
  if (env_plat_lock_file(st.files.lock, lock) != 0 || read_state(scope, policy, st) != 0 ||
      finish_interrupted(st) != 0)
    return 0;
  change_plan plan;
  plan_verdict verdict = planner(st, plan);
  if (verdict == plan_verdict::go)
    verdict = settle_empty_path(scope, plan);
  if (verdict == plan_verdict::refused)
    return 0;
  return carry_out(st, verdict, plan);
}

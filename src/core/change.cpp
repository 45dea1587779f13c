// The change pipeline (see change.h).
#include "core/change.h"

#include "core/frame.h"
#include "core/own_files.h"
#include "kestrune_env.h"

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

int check_native(env_scope scope, const change_plan &plan) {
  for (const env_native_change &c : plan.native)
    if (c.value && env_plat_native_check(scope, c.name.c_str(), c.value->c_str()) != 0)
      return -1;
  return 0;
}

// Puts back what a failed change wrote, in reverse order, keeping the failure's message
// and adding to it whatever could not be put back.
void put_back(const scope_state &st, const env_native_undo *undo) {
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
}

int write_change(scope_state &st, const change_plan &plan) {
  if (store_write(st.files, plan.store, st.store) != 0)
    return 0;
  env_native_undo undo;
  if (env_plat_native_write(st.scope, plan.native, plan.store, undo) != 0) {
    put_back(st, nullptr);
    return 0;
  }
  if (emit_export(st.files, st.scope, plan.store) != 0) {
    put_back(st, &undo);
    return 0;
  }
  env_plat_broadcast();
  if (!plan.note.empty())
    env_set_error("%s", plan.note.c_str());
  return 1;
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
  if (env_plat_lock_file(st.files.lock, lock) != 0 || read_state(scope, policy, st) != 0)
    return 0;
  change_plan plan;
  plan_verdict verdict = planner(st, plan);
  if (verdict == plan_verdict::refused)
    return 0;
  if (verdict == plan_verdict::go && check_native(scope, plan) != 0)
    return 0;
  std::string refusal = env_last_error();
  tidy_scope(st.files, scope);
  if (make_backup(st.files, scope, st.store.vars) != 0)
    return 0;
  if (verdict == plan_verdict::refused_after_backup) {
    env_set_error("%s", refusal.c_str());
    return 0;
  }
  return write_change(st, plan);
}

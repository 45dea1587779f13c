// The one pipeline every change of a scope runs through: env_set, env_del, the three PATH
// editors and env_restore are thin front doors that only say what they want changed.
//
//  1. Resolve the scope's files (a link in place of one is followed to the file it leads to
//     in the user scope and refused in the system scope; see env_resolve_own_files), check
//     that the native store's own files are fit to be written by this process
//     (env_plat_native_ready), and take the lock in the scope's folder.
//  2. Read the store once. A store that exists but cannot be used stops every change but a
//     restore: saving over it would lose what it holds.
//  3. Finish a change of the scope that was killed part-way (core/journal.h), so that every
//     change starts from a store, native store and export file that agree.
//  4. Plan: the front door works out the store after the change and what the native store
//     must do, from the state read, and may refuse. Where the native store holds the whole
//     PATH (the registry), a user PATH the plan leaves empty is removed from the store and
//     the native store instead, and a system PATH left empty is refused.
//  5. Check every value the change writes with the backend (env_plat_native_check).
//     Nothing has been written yet, so a refusal leaves no trace, not even a backup. Then
//     the temporary files that killed changes of the scope left behind are removed.
//  6. Write, in order: a backup of the store as it was (first to its temporary file, then the
//     journal naming it, then into the backups folder), the store, the native store, the
//     export file; then the broadcast, and the journal goes. When the native store or the
//     export file fails, what was already written is put back (the backup stays: it records
//     the state before the attempt), so that after any failed change the store, the native
//     store and the export file agree with each other and with the state before it. When
//     putting back fails too, the message says both, and the journal stays for the next
//     change to finish.
#pragma once

#include "core/state.h"
#include "platform/env_plat.h"

#include <functional>
#include <string>
#include <vector>

// What a change starts from, read once under the lock.
struct scope_state {
  env_scope scope = env_scope::user;
  env_layout files;
  store_file store;
};

// What a change does, decided before anything is written.
struct change_plan {
  env_kv_list store;                     // the store as the change leaves it
  std::vector<env_native_change> native; // what the native store must do
  std::string note;                      // left in the last-error text on success
  // The front ends' records the change leaves in the store; only a restore sets them, every
  // other change keeps the store's.
  bool sets_records = false;
  std::optional<std::string> records;
};

enum class plan_verdict {
  go,
  refused,             // nothing is written; the message is recorded
  refused_after_backup // the backup is written, then the change fails with the message
};

using change_planner = std::function<plan_verdict(const scope_state &, change_plan &)>;

enum class store_policy {
  must_be_usable, // every change but a restore
  may_be_replaced // a restore, which does not need what the store holds
};

// Runs one change; 1 on success, 0 on failure with the message recorded.
int run_change(env_scope scope, store_policy policy, const change_planner &plan);

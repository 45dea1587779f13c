// The operations measured, each as an untimed preparation, the timed library call and an
// untimed reset that brings the workload back to where it was, so that every iteration
// measures the same thing.
#pragma once

#include "workload.h"

namespace bench {

enum class op {
  list,
  set_new,
  set_existing,
  del,
  path_add,
  path_move,
  restore,
  backups,
  kenv_restore_latest,
  kenv_apply
};

const char *op_name(op o);
// True for the operations that change the scope (and take the data directory's lock).
bool op_changes(op o);

// `kenv restore --latest`, run as a user runs it, in the workload entered last; false when
// it failed, or when the benchmark was built without kenv.
bool run_kenv_restore_latest();
// The same run through kenv_peak_rss: kenv's peak resident set in KiB, or -1.
long kenv_restore_latest_peak_kib();
// `kenv apply FILE` and `kenv set NAME VALUE`, run as a user runs them; false on failure.
bool run_kenv_apply(const std::string &file);
bool run_kenv_set(const char *name, const char *value);

// Each returns false when the library reported a failure.
bool op_prepare(op o, workload &w);
bool op_call(op o, workload &w, long iteration);
bool op_reset(op o, workload &w);
bool op_has_prepare(op o);
bool op_has_reset(op o);

} // namespace bench

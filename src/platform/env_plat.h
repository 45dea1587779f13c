// The platform interface: everything the core asks of the operating system. Each platform
// has one backend implementing all of it (src/posix, src/win); both are compiled in every
// build and exactly one yields code. Results are 0 for success and -1 for failure with the
// message already recorded through env_set_error. Scopes arrive as "user" or "system".
#pragma once

#include "core/names.h"

#include <string>
#include <vector>

// A PATH entry that a shell start-up file adds, with the label the listing shows for it.
struct env_rc_extra {
  std::string path;
  std::string label;
};

// A shell start-up file that was read, and whether the library wrote it (never, so far).
struct env_rc_file {
  std::string path;
  int written = 0;
};

// "linux", "windows", ...: a static text.
const char *env_plat_name();
// The PATH separator character.
int env_plat_path_sep();
// 1 when two PATH entries denote the same entry, 0 otherwise or when either is NULL.
int env_plat_path_eq(const char *a, const char *b);
// "environment.d" or "registry": where changes are written natively.
const char *env_plat_write_policy();

// The data directory, created when missing; at most env_path_max - 1 bytes.
int env_plat_data_dir(std::string &out);

// The native store's variables of the scope, unexpanded, in the store's order. `out` is
// emptied first, so it is valid whatever the result.
int env_plat_native_vars(const char *scope, env_kv_list &out);
int env_plat_native_set(const char *scope, const char *name, const char *value);
// A name the native store does not hold is no failure.
int env_plat_native_del(const char *scope, const char *name);
// Tells running programs the environment changed; the outcome is never read.
void env_plat_broadcast();
// Writes every pair into the user scope's native store in order, stopping at the first
// failure; variables the list does not name are left alone.
int env_plat_apply_snapshot(const env_kv_list &list);

// Reports about the user's shell start-up files; both always succeed.
int env_plat_rc_path_extras(std::vector<env_rc_extra> &out);
int env_plat_rc_meta(std::vector<env_rc_file> &out);

// Advisory lock on the data directory's lock file, held across a changing operation so two
// processes never interleave their read-modify-write cycles. Waits for the lock. Returns a
// descriptor (POSIX) or handle to pass to env_plat_unlock_data, or -1 / nullptr when the
// data directory cannot be located (the operation then reports that itself).
int env_plat_lock_data(void **handle);
void env_plat_unlock_data(int fd, void *handle);

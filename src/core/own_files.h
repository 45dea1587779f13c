// The library's own folders as a killed change or another user may have left them: the
// temporary files of changes that never finished, and folders others may write.
#pragma once

#include "core/diag.h"
#include "core/files.h"

#include <vector>

// Removes the temporary files that killed changes of the scope left beside its files (the
// store, the backups' temporary files, the backup index, the export file, the change
// journal, the native store's own file), and nothing else. The caller holds the scope's lock,
// so no change of the scope is in flight. The front ends' files in the scope's folder (the
// documents they hand to env_restore, "restore.json.tmp-<pid>-<n>", and the temporary files
// of their profiles folder, "profiles/<file>.tmp-<pid>-<n>") are written without the lock:
// of those only the files of processes that are gone are removed.
void tidy_scope(const env_layout &files, env_scope scope);

// A "writable" warning for each folder of the scope (the data directory, its backups and
// exports, the native store's) that others than its owner may write: any local user could
// plant files there that the library reads, or that sessions and shells take in.
void writable_dir_warnings(const env_layout &files, env_scope scope, std::vector<env_warning> &out);

// An "interrupted" warning for each line of the native store's own file that a killed change
// meant to remove (core/journal.h): the file, and the line and name in the message.
void interrupted_warnings(const env_layout &files, env_scope scope, const env_kv_list &stored,
                          std::vector<env_warning> &out);

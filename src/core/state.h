// The library's persistent state in the data directory: the store of each scope, the
// backups and the sourceable export files. All run under the caller's frame.
#pragma once

#include "core/names.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The store: the scope's variables set through the library, as a JSON file.
// Loading never fails visibly: a missing, unreadable or malformed file gives an empty list.
void store_load(const char *scope, env_kv_list &out);
// Hands the records store_load would list to `take` (name, value) one by one, in order,
// without building the list.
void store_each(const char *scope, const std::function<void(const char *, const char *)> &take);
// Rewrites the whole store file. A file that does not read as a store is kept beside it as
// "<file>.unreadable-<UTC time>" before it is replaced.
int store_save(const char *scope, const env_kv_list &vars);
// Replaces the value of the first record whose name matches (ASCII case ignored), keeping
// its name and place, or appends the record.
int store_upsert(const char *scope, const char *name, const char *value);

// One reading of the store file, for a change that reads it once and passes it along: the
// variables as store_load gives them and, when the file holds bytes that are not a store
// document, those bytes, which the save keeps.
struct store_file {
  env_kv_list vars;
  std::string unreadable;
};
void store_read(const char *scope, store_file &out);
// store_save for a file that `loaded` was read from in the same call, under the data lock:
// the file is not read again.
int store_save(const char *scope, const env_kv_list &vars, const store_file &loaded);
// store_upsert's rule on a list in memory.
void store_put(env_kv_list &vars, const char *name, const char *value);
// Reads a store document's variables; false when the text is not a store document.
bool store_parse(std::string_view text, env_kv_list &out);

// Counts the backups this process took (wraps after 2^32 - 1); only ever under g_mu.
extern std::uint32_t g_backup_seq;

// Writes a new backup file of the scope's store; never replaces an existing file.
int make_backup(const char *scope);
// The same, for the store's variables already read in this call.
int make_backup(const char *scope, const env_kv_list &vars);

// Regenerates the scope's export file from its store.
int emit_export(const char *scope);
// The same, for the variables the store was just saved with.
int emit_export(const char *scope, const env_kv_list &vars);
// Names that some shell treats as its own: assigning them aborts dash (OPTIND), bash in
// POSIX mode or zsh, and the start-up file that sources the export file stops there. The
// export file leaves them out with a comment.
bool export_name_is_reserved(const std::string &name);
// The export file's text for the given variables (exposed for tests).
int export_text(const std::string &path, const char *scope, const env_kv_list &vars, long long now,
                std::string &out);

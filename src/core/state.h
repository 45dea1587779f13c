// The library's persistent state in the data directory: the store of each scope, the
// backups and the sourceable export files. All run under the caller's frame.
#pragma once

#include "core/names.h"

#include <cstdint>
#include <string>
#include <string_view>

// The store: the scope's variables set through the library, as a JSON file.
// Loading never fails visibly: a missing, unreadable or malformed file gives an empty list.
void store_load(const char *scope, env_kv_list &out);
// Rewrites the whole store file. A file that does not read as a store is kept beside it as
// "<file>.unreadable-<UTC time>" before it is replaced.
int store_save(const char *scope, const env_kv_list &vars);
// Replaces the value of the first record whose name matches (ASCII case ignored), keeping
// its name and place, or appends the record.
int store_upsert(const char *scope, const char *name, const char *value);
// Reads a store document's variables; false when the text is not a store document.
bool store_parse(std::string_view text, env_kv_list &out);

// Counts the backups this process took (wraps after 2^32 - 1); only ever under g_mu.
extern std::uint32_t g_backup_seq;

// Writes a new backup file of the scope's store; never replaces an existing file.
int make_backup(const char *scope);

// Regenerates the scope's export file from its store.
int emit_export(const char *scope);
// The export file's text for the given variables (exposed for tests).
int export_text(const std::string &path, const char *scope, const env_kv_list &vars, long long now,
                std::string &out);

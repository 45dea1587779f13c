// The library's persistent state in the data directory: the store of each scope, the
// backups and the sourceable export files. All run under the caller's frame, on the file
// layout the call resolved once (core/files.h).
#pragma once

#include "core/files.h"
#include "core/names.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// yyjson's value, declared here so that what includes this header needs no yyjson: the
// Windows checks under wine are built without one.
typedef struct yyjson_val yyjson_val;

// The store file as one call read it: its variables, and exactly the bytes it held, so that
// a change that fails later can put the file back as it was. A missing file is an empty
// store. A file that exists but cannot be read or is not a store document has `problem`
// set ("Permission denied", "not a store document", ...): no change goes ahead on it, since
// saving would lose every variable it holds.
struct store_file {
  env_kv_list vars;
  // The front ends' records of the scope (profiles switched on, PATH entries switched off):
  // a text the library never reads, kept in the store so that it changes in the same write
  // as the variables it describes and comes back with them from a backup. nullopt when the
  // store has none.
  std::optional<std::string> records;
  bool exists = false;
  std::string bytes;
  std::string problem;
  std::string kept_as; // where store_write kept a file that could not be used
};
void store_read(const std::string &path, store_file &out);
// A record of the store that reading leaves out: its name (or "") and a message saying so.
struct store_skipped {
  std::string name;
  std::string message;
};
// Hands the records store_read would list to `take` (name, value) one by one, in order,
// without building the list, and the records it leaves out to `skipped` when given.
// Without `follow_links` a symbolic link in place of the file is not read. Returns the
// problem of a file that cannot be used, or "".
std::string store_each(const std::string &path, bool follow_links,
                       const std::function<void(const char *, const char *)> &take,
                       std::vector<store_skipped> *skipped = nullptr,
                       std::optional<std::string> *records = nullptr);
// Reads a store document's variables; false when the text is not a store document. A
// leading UTF-8 byte order mark (some editors write one) is skipped.
bool store_parse(std::string_view text, env_kv_list &out, std::optional<std::string> *records = nullptr);
struct yyjson_val;
// The "records" member of a store or backup document: its text when it is one.
std::optional<std::string> store_records_of(yyjson_val *root);
// Replaces the value of the first record whose name matches (ASCII case ignored), keeping
// its name and place, or appends the record.
void store_put(env_kv_list &vars, const char *name, const char *value);
// The store document of the variables and records; "" when it could not be written.
std::string store_text(const env_kv_list &vars, const std::optional<std::string> &records);
// Saves the store document (store_text) over the file `before` was read from, creating the
// data directory when missing. When `before` could not be used, its bytes are first kept
// beside it as "<file>.unreadable-<UTC time>".
int store_write(const env_layout &files, const std::string &text, store_file &before);
// Puts the file back exactly as `before` read it: its bytes, or no file.
int store_put_back(const env_layout &files, const store_file &before);

// The counter in the name of the last backup this process took; only ever under g_mu.
extern std::uint32_t g_backup_seq;
// Writes a new backup file of the scope's store variables; never replaces an existing file.
// The caller holds the data lock: the counter in the name is one more than the highest taken
// in that second, so that name order is time order across processes.
int make_backup(const env_layout &files, env_scope scope, const store_file &store);
// make_backup in two steps, for a change that must say which backup is its own before the
// backup appears in the folder: the backup written to its temporary file (whose serial
// number then names it), and the temporary file given its name in the backups folder.
struct pending_backup {
  env_temp_file tmp;
  std::string text, ts, stamp;
  std::uint64_t counter = 0;
  std::int64_t vars = 0;
};
int backup_prepare(const env_layout &files, env_scope scope, const store_file &store, pending_backup &out);
int backup_commit(const env_layout &files, env_scope scope, pending_backup &b);
// Where a backup's temporary file is written before it is linked into the backups folder:
// "<data>/<scope>-backup.tmp-<pid>-<n>". It lies outside that folder so that removing what
// a killed change left never needs to read a folder of thousands of backups.
std::string backup_temp_base(const env_layout &files, env_scope scope);

// Regenerates the scope's export file for the store's variables. Values of any length are
// written whole, so only the file system can make this fail.
int emit_export(const env_layout &files, env_scope scope, const env_kv_list &vars);
// Names that some shell treats as its own: assigning them aborts dash (OPTIND), bash in
// POSIX mode or zsh, and the start-up file that sources the export file stops there. The
// export file leaves them out with a comment.
bool export_name_is_reserved(const std::string &name);
// Whether the export file gives a shell the variable (an `export` line, not a comment).
bool export_writes(const env_kv &kv);
// The export file's text for the given variables.
std::string export_text(const std::string &path, env_scope scope, const env_kv_list &vars, long long now);

// The data directory's layout and the whole-file helpers shared by the core and backends.
#pragma once

#include "core/names.h"

#include <cstddef>
#include <string>
#include <string_view>

// Paths are limited to what the fixed 8192-byte buffers of the file format allow.
constexpr std::size_t env_path_max = 8192;

// Creates the directory and its missing parents; 0 when it exists afterwards (a file of
// that name also counts, and the later file operation reports it). New directories get
// `mode` on POSIX. Records no message.
int env_mkdir_p(const char *path, int mode = 0700);
int env_file_exists(const char *path);
int env_is_dir(const char *path);

// Reads the whole file into `out`; 0 on success, -1 when it cannot be opened or read.
// Files of 2 GiB and more are refused. Records no message.
// `spare` bytes of capacity are kept past the text (for a parser that needs padding).
int env_read_file(const char *path, std::string &out, std::size_t spare = 0);

// Replaces the file atomically: a temporary file in the same directory is written, flushed
// to disk and renamed over the target, so readers see the old content or the new, never
// half; on any failure the previous file is intact and the temporary file is gone. The
// new file gets `mode` on POSIX. Records no message.
int env_write_file(const char *path, std::string_view data, int mode = 0600);

// Like env_write_file, but never replaces an existing file: returns 1 when `path` already
// exists (nothing written), 0 when written, -1 on failure.
int env_write_file_new(const char *path, std::string_view data, int mode = 0600);

// Where the library keeps a scope's files, resolved once per call. Resolving creates
// nothing: a change creates the directories it writes into, and reading leaves no trace.
struct env_layout {
  std::string data_dir;
  std::string store;       // the scope's store
  std::string backups;     // the folder of backups, shared by both scopes
  std::string exports;     // the folder of export files
  std::string export_file; // the scope's export file
  std::string lock;        // the lock file every change holds
};
// -1 with the platform's message or "path too long".
int env_layout_of(env_scope scope, env_layout &out);

// "%s/%s" with the length rule of the fixed buffers: -1 (no message) when the result
// would not fit `limit` bytes with its NUL.
int env_join_path(std::string &out, std::string_view parent, std::string_view child,
                  std::size_t limit = env_path_max);

// A clock reading in UTC formatted with strftime; one reading can be formatted twice.
std::string env_format_utc(long long seconds, const char *format);
long long env_now();

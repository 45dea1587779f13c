// The data directory's layout and the whole-file helpers shared by the core and backends.
#pragma once

#include "core/names.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Paths are limited to what the fixed 8192-byte buffers of the file format allow.
constexpr std::size_t env_path_max = 8192;

// Creates the directory and its missing parents; 0 when it exists afterwards (a file of
// that name also counts, and the later file operation reports it). New directories get
// `mode` on POSIX. Records no message.
int env_mkdir_p(const char *path, int mode = 0700);
int env_file_exists(const char *path);
int env_is_dir(const char *path);

// Reads the whole file into `out`; 0 on success, -1 when it cannot be opened or read (errno
// says why), env_not_regular when the path names something else than a regular file (a
// FIFO, a device, a directory; errno is then EISDIR or EINVAL): that is never read, and
// opening it never waits. Files of
// 2 GiB and more are refused. Records no message.
// `spare` bytes of capacity are kept past the text (for a parser that needs padding).
int env_read_file(const char *path, std::string &out, std::size_t spare = 0);
constexpr int env_not_regular = -2;

// Replaces the file atomically: a temporary file in the same directory is written, flushed
// to disk and renamed over the target, so readers see the old content or the new, never
// half; on any failure the previous file is intact and the temporary file is gone. The
// new file gets `mode` on POSIX. Records no message.
int env_write_file(const char *path, std::string_view data, int mode = 0600);

// Like env_write_file, but never replaces an existing file: returns 1 when `path` already
// exists (nothing written), 0 when written, -1 on failure.
int env_write_file_new(const char *path, std::string_view data, int mode = 0600);

// Writes a file that is not worth a flush: one derived from others, rebuilt when lost. It
// is still replaced atomically, so a reader sees the old content or the new.
int env_write_file_unflushed(const char *path, std::string_view data, int mode = 0600);

// A flushed temporary file that is then given one or more tries at a final name, each by a
// hard link that never replaces a file, so that a name found taken costs no new write. The
// temporary file goes with the object.
class env_temp_file {
public:
  env_temp_file() = default;
  env_temp_file(const env_temp_file &) = delete;
  env_temp_file &operator=(const env_temp_file &) = delete;
  ~env_temp_file();
  // Writes the data into a new file "<base>.tmp-<pid>-<n>" (env_temp_suffix); 0 or -1.
  int write(const std::string &base, std::string_view data, int mode);
  // 0 when the file now also has the name `path` (its directory flushed), 1 when the name is
  // taken, -1 on failure with errno (EXDEV: another file system than the temporary file's).
  int link_as(const std::string &path);
  // The file's serial number (0 where the platform has none).
  unsigned long long serial() const { return serial_; }

private:
  std::string path_;
  unsigned long long serial_ = 0;
};

// True when `name` is a temporary file of the library's: "<own>.tmp-<pid>-<n>", where
// `own` is exactly the given file name or that name followed by a '.' and more (as in the
// "<store>.unreadable-<time>" copies).
bool env_temp_name_of(std::string_view name, std::string_view own);
// Removes the library's temporary files of the named files from the directory: those a
// change left when it was killed. The caller holds the lock of every change that writes
// such files, so none of them is in use. Nothing else is touched; failures are ignored.
void env_remove_stale_temps(const std::string &dir, const std::vector<std::string> &owns);
// The same for files written without the scope's lock: only the temporary files of
// processes that are no longer running. An empty `own` takes every temporary name.
void env_remove_dead_temps(const std::string &dir, std::string_view own);

// The directory part of a path ("." for none) and its last component.
std::string env_dir_of(const std::string &path);
std::string env_base_of(const std::string &path);

// Where the library keeps a scope's files, resolved once per call. Resolving creates
// nothing: a change creates the directories it writes into, and reading leaves no trace.
//
// The user scope's files are private to the user: the folders 0700, the files 0600. The
// system scope's store and export file are read by every user (the export file is sourced
// by every login shell, and holds what the world-readable environment.d holds anyway): the
// folders 0755, those files 0644. Backups keep every earlier value, so their folder is
// always 0700 and each backup 0600, as is the lock.
struct env_layout {
  bool follow_links = true; // false for the system scope: its own files are never links
  int dir_mode = 0700;      // the scope's folder and the export file's folder
  int file_mode = 0600;     // the store and the export file
  std::string data_dir;     // the scope's folder: store, backups and lock
  std::string store;        // the scope's store
  std::string backups;      // the scope's folder of backups
  std::string exports;      // the folder of the export file
  std::string export_file;  // the scope's export file
  std::string lock;         // the lock file every change holds
};
// -1 with the platform's message or "path too long".
int env_layout_of(env_scope scope, env_layout &out);

// Makes the layout's own files the files a change reads and writes. In the user scope a
// symbolic link in place of one is kept, and its final target is read and replaced instead
// (dotfile managers link such files). In the system scope a link is refused: a file every
// session reads must never be written through one. Anything else than a regular file in
// place of the export file is refused too (the store's own reading reports it). -1 with the
// message recorded.
int env_resolve_own_files(env_layout &files);
// The same for one file: "" when `path` may be read and written (and is now the file to use),
// else why not.
std::string env_resolve_own_file(std::string &path, bool follow_links);

// "%s/%s" with the length rule of the fixed buffers: -1 (no message) when the result
// would not fit `limit` bytes with its NUL.
int env_join_path(std::string &out, std::string_view parent, std::string_view child,
                  std::size_t limit = env_path_max);

// A clock reading in UTC formatted with strftime; one reading can be formatted twice.
std::string env_format_utc(long long seconds, const char *format);
long long env_now();

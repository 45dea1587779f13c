// The system calls the file helpers make, gathered in one table so that tests can make any
// of them fail (a full disk, a failing rename or flush) without another code path, and so
// that the helpers carry no platform code: each backend defines the default table.
#pragma once

#include <cstddef>

struct env_file_ops {
  // Opens as open(2) does; a file it creates gets exactly `mode` (no umask) on POSIX.
  int (*open)(const char *path, int flags, unsigned mode);
  long (*write)(int fd, const void *data, std::size_t size);
  int (*fsync)(int fd);
  int (*close)(int fd);
  // Replaces `to`.
  int (*rename)(const char *from, const char *to);
  // Gives the file a second name, never replacing one: EEXIST when `to` exists.
  int (*link)(const char *from, const char *to);
  int (*unlink)(const char *path);
  // Creates one directory with exactly `mode` (no umask) on POSIX; EEXIST when it is there.
  int (*mkdir)(const char *path, int mode);
  // Flushes a directory's entries after a rename into it, where the platform needs it.
  void (*sync_dir)(const char *dir);
  // The file's st_mode, following links; -1 with errno when it cannot be examined.
  int (*stat_mode)(const char *path, unsigned *mode);
};

// The table in use; tests replace members and restore env_file_ops_default afterwards.
extern env_file_ops env_file_sys;
extern const env_file_ops env_file_ops_default;

// The system calls the file helpers make, gathered in one table so that tests can make any
// of them fail (a full disk, a failing rename or flush) without another code path.
#pragma once

#include <cstddef>

struct env_file_ops {
  int (*open)(const char *path, int flags, unsigned mode);
  long (*write)(int fd, const void *data, std::size_t size);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char *from, const char *to);
  int (*link)(const char *from, const char *to);
  int (*unlink)(const char *path);
};

// The table in use; tests replace members and restore env_file_ops_default afterwards.
extern env_file_ops env_file_sys;
extern const env_file_ops env_file_ops_default;

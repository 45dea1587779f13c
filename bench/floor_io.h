// The I/O floor: the file work an operation cannot avoid, done with the same system calls
// the library makes (src/core/files.cpp) and nothing else. Each helper returns false when a
// call failed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bench {

// open, fstat, read until the size fstat gave, close.
bool floor_read(const std::string &path, std::string &buf);
// The last `size` bytes: open, fstat, lseek, read, close.
bool floor_read_tail(const std::string &path, std::size_t size, std::string &buf);
// One status query (true even when the path is missing: the query is the work).
bool floor_stat(const std::string &path);
// A line added at the end of a file: open (append), fstat, write, close; nothing flushed.
bool floor_append(const std::string &path, std::string_view data);
// opendir, readdir to the end, closedir; the names are left in `names`.
bool floor_list(const std::string &dir, std::vector<std::string> &names);
// Atomic replacement: temporary file beside the target (O_EXCL), fchmod, write, fsync,
// close, rename over the target, then fsync of the directory.
bool floor_replace(const std::string &path, std::string_view data, int mode);
// A new file that never replaces one: as floor_replace, with link and unlink in place of
// the rename.
bool floor_create(const std::string &path, std::string_view data, int mode);

// The advisory lock of the data directory: open the lock file, flock, close on release.
class floor_lock {
public:
  explicit floor_lock(const std::string &path);
  ~floor_lock();
  floor_lock(const floor_lock &) = delete;
  floor_lock &operator=(const floor_lock &) = delete;
  bool held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

} // namespace bench

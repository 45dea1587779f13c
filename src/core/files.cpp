// Whole-file helpers: directories, status tests, reading, and atomic replacement.
#if defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
// A 64-bit st_size, so that the size limit of env_read_file sees files of 2 GiB and more.
#define _FILE_OFFSET_BITS 64
#endif
#include "core/files.h"

#include "core/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(_WIN32)
#include "win/utf16.h"

#include <direct.h>
#include <io.h>
#endif

namespace {

#if defined(_WIN32)
// Paths are UTF-8. The wide calls take every character of them; the narrow ones would read
// them in the ANSI code page, and miss the data directory of a user named "José" or "陈".
win_wstring wide(const char *path) {
  return win_to_wide(path);
}
int sys_open(const char *path, int flags, unsigned mode) {
  return ::_wopen(wide(path).c_str(), flags, static_cast<int>(mode));
}
int sys_unlink(const char *path) {
  return ::_wunlink(wide(path).c_str());
}
#else
int sys_open(const char *path, int flags, unsigned mode) {
  return ::open(path, flags, mode);
}
int sys_unlink(const char *path) {
  return ::unlink(path);
}
#endif
long sys_write(int fd, const void *data, std::size_t size) {
  return static_cast<long>(::write(fd, data, size));
}
#if defined(_WIN32)
int sys_fsync(int fd) {
  return ::_commit(fd);
}
// Not every Windows file system has hard links. A rename that refuses to replace an existing
// file gives env_write_file_new the same guarantee; the temporary file is then gone already,
// and removing it afterwards finds nothing.
int sys_link(const char *from, const char *to) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return 0;
  DWORD err = GetLastError();
  errno = (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) ? EEXIST : EACCES;
  return -1;
}
int sys_rename(const char *from, const char *to) {
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : (errno = EACCES, -1);
}
#else
int sys_fsync(int fd) {
  return ::fsync(fd);
}
int sys_link(const char *from, const char *to) {
  return ::link(from, to);
}
int sys_rename(const char *from, const char *to) {
  return ::rename(from, to);
}
#endif
int sys_close(int fd) {
  return ::close(fd);
}

#if !defined(O_CLOEXEC)
#define O_CLOEXEC 0
#endif
#if !defined(O_BINARY)
#define O_BINARY 0
#endif

int make_dir(const char *path, int mode) {
#if defined(_WIN32)
  (void)mode;
  return ::_wmkdir(wide(path).c_str());
#else
  return ::mkdir(path, static_cast<mode_t>(mode));
#endif
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    long n = env_file_sys.write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Creates a new temporary file beside `path`; its name is left in `tmp`.
int open_temp_beside(const char *path, int mode, std::string &tmp) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u", static_cast<long>(::getpid()), ++counter);
    tmp.assign(path).append(suffix);
    int fd = env_file_sys.open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_BINARY,
                               static_cast<unsigned>(mode));
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

void sync_parent_dir(const std::string &path) {
#if !defined(_WIN32)
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)env_file_sys.fsync(fd);
    ::close(fd);
  }
#else
  (void)path;
#endif
}

// Writes the data into a flushed temporary file beside `path`; on failure nothing is left.
int write_temp(const char *path, std::string_view data, int mode, std::string &tmp) {
  int fd = open_temp_beside(path, mode, tmp);
  if (fd < 0)
    return -1;
#if !defined(_WIN32)
  (void)::fchmod(fd, static_cast<mode_t>(mode));
#endif
  bool ok = write_all(fd, data) && env_file_sys.fsync(fd) == 0;
  ok = (env_file_sys.close(fd) == 0) && ok;
  if (!ok) {
    env_file_sys.unlink(tmp.c_str());
    return -1;
  }
  return 0;
}

} // namespace

const env_file_ops env_file_ops_default = {sys_open,   sys_write, sys_fsync, sys_close,
                                           sys_rename, sys_link,  sys_unlink};
env_file_ops env_file_sys = env_file_ops_default;

int env_mkdir_p(const char *path, int mode) {
  if (!path || !*path)
    return -1;
  std::string buf(path);
  if (buf.size() > 4095)
    return -1;
  // Nearly always the directory is there already: one call settles it.
  if (make_dir(buf.c_str(), mode) == 0 || errno == EEXIST)
    return 0;
  for (std::size_t i = 1; i < buf.size(); ++i) {
    if (buf[i] != '/' && buf[i] != '\\')
      continue;
    char sep = buf[i];
    buf[i] = '\0';
    (void)make_dir(buf.c_str(), mode);
    buf[i] = sep;
  }
  if (make_dir(buf.c_str(), mode) == 0 || errno == EEXIST)
    return 0;
  return -1;
}

// The file's mode, or false when it cannot be examined.
static bool mode_of(const char *path, unsigned &mode) {
#if defined(_WIN32)
  struct _stat64 st;
  bool ok = ::_wstat64(wide(path).c_str(), &st) == 0;
#else
  struct stat st;
  bool ok = ::stat(path, &st) == 0;
#endif
  mode = ok ? static_cast<unsigned>(st.st_mode) : 0;
  return ok;
}

int env_file_exists(const char *path) {
  unsigned mode;
  return path && *path && mode_of(path, mode);
}

int env_is_dir(const char *path) {
  unsigned mode;
  return path && *path && mode_of(path, mode) && S_ISDIR(mode);
}

int env_read_file(const char *path, std::string &out, std::size_t spare) {
  out.clear();
  if (!path)
    return -1;
  int fd = sys_open(path, O_RDONLY | O_CLOEXEC | O_BINARY, 0);
  if (fd < 0)
    return -1;
  // Closes the descriptor on every way out, the bad_alloc of a buffer too large included.
  struct closer {
    int fd;
    ~closer() { ::close(fd); }
  } close_fd{fd};
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && st.st_size >= 0 && st.st_size < 0x80000000LL;
  if (ok) {
    out.reserve(static_cast<std::size_t>(st.st_size) + spare);
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (ok && got < out.size()) {
      long n = static_cast<long>(::read(fd, out.data() + got, out.size() - got));
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        ok = false;
      else if (n == 0)
        break;
      else
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
  }
  if (!ok)
    out.clear();
  return ok ? 0 : -1;
}

int env_write_file(const char *path, std::string_view data, int mode) {
  if (!path || !*path)
    return -1;
  std::string tmp;
  if (write_temp(path, data, mode, tmp) != 0)
    return -1;
  if (env_file_sys.rename(tmp.c_str(), path) != 0) {
    env_file_sys.unlink(tmp.c_str());
    return -1;
  }
  sync_parent_dir(tmp);
  return 0;
}

int env_write_file_new(const char *path, std::string_view data, int mode) {
  if (!path || !*path)
    return -1;
  std::string tmp;
  if (write_temp(path, data, mode, tmp) != 0)
    return -1;
  // link() refuses to replace an existing name, so a backup is never overwritten.
  int rc = env_file_sys.link(tmp.c_str(), path);
  int err = errno;
  env_file_sys.unlink(tmp.c_str());
  if (rc != 0)
    return err == EEXIST ? 1 : -1;
  sync_parent_dir(tmp);
  return 0;
}

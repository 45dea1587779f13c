// Whole-file helpers: directories, status tests, reading, and atomic replacement.
#include "core/files.h"

#include "core/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    int fd = env_file_sys.open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, static_cast<unsigned>(mode));
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

void sync_parent_dir(const std::string &path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
  env_file_sys.sync_dir(dir.c_str());
}

// Writes the data into a flushed temporary file beside `path`; on failure nothing is left.
int write_temp(const char *path, std::string_view data, int mode, std::string &tmp) {
  int fd = open_temp_beside(path, mode, tmp);
  if (fd < 0)
    return -1;
  bool ok = write_all(fd, data) && env_file_sys.fsync(fd) == 0;
  ok = (env_file_sys.close(fd) == 0) && ok;
  if (!ok) {
    env_file_sys.unlink(tmp.c_str());
    return -1;
  }
  return 0;
}

} // namespace

env_file_ops env_file_sys = env_file_ops_default;

int env_mkdir_p(const char *path, int mode) {
  if (!path || !*path)
    return -1;
  std::string buf(path);
  if (buf.size() > 4095)
    return -1;
  // Nearly always the directory is there already: one call settles it.
  if (env_file_sys.mkdir(buf.c_str(), mode) == 0 || errno == EEXIST)
    return 0;
  for (std::size_t i = 1; i < buf.size(); ++i) {
    if (buf[i] != '/' && buf[i] != '\\')
      continue;
    char sep = buf[i];
    buf[i] = '\0';
    (void)env_file_sys.mkdir(buf.c_str(), mode);
    buf[i] = sep;
  }
  if (env_file_sys.mkdir(buf.c_str(), mode) == 0 || errno == EEXIST)
    return 0;
  return -1;
}

// The file's mode, or false when it cannot be examined.
static bool mode_of(const char *path, unsigned &mode) {
  return env_file_sys.stat_mode(path, &mode) == 0;
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
  int fd = env_file_sys.open(path, O_RDONLY, 0);
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

// Whole-file helpers: directories, status tests, reading, and atomic replacement.
#include "core/files.h"

#include "core/file_ops.h"
#include "platform/env_plat.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Creates a new temporary file "<base>.tmp-<pid>-<n>"; its name is left in `tmp`.
int open_temp(const std::string &base, int mode, std::string &tmp) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u", static_cast<long>(::getpid()), ++counter);
    tmp.assign(base).append(suffix);
    int fd = env_file_sys.open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, static_cast<unsigned>(mode));
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

void sync_parent_dir(const std::string &path) {
  env_file_sys.sync_dir(env_dir_of(path).c_str());
}

// Writes the data into a temporary file named after `base`, flushed unless `flush` is false;
// on failure nothing is left.
int write_temp(const std::string &base, std::string_view data, int mode, std::string &tmp, bool flush = true,
               unsigned long long *serial = nullptr) {
  int fd = open_temp(base, mode, tmp);
  if (fd < 0)
    return -1;
  struct stat st {};
  if (serial && ::fstat(fd, &st) == 0)
    *serial = static_cast<unsigned long long>(st.st_ino);
  bool ok = write_all(fd, data) && (!flush || env_file_sys.fsync(fd) == 0);
  ok = (env_file_sys.close(fd) == 0) && ok;
  if (!ok) {
    int err = errno;
    env_file_sys.unlink(tmp.c_str());
    errno = err;
    return -1;
  }
  return 0;
}

int replace_with_temp(const char *path, std::string_view data, int mode, bool flush) {
  if (!path || !*path)
    return -1;
  std::string tmp;
  if (write_temp(path, data, mode, tmp, flush) != 0)
    return -1;
  if (env_file_sys.rename(tmp.c_str(), path) != 0) {
    int err = errno;
    env_file_sys.unlink(tmp.c_str());
    errno = err;
    return -1;
  }
  if (flush)
    sync_parent_dir(tmp);
  return 0;
}

bool all_digits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
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
  if (::fstat(fd, &st) != 0)
    return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL; // for callers that report errno
    return env_not_regular;
  }
  bool ok = st.st_size >= 0 && st.st_size < 0x80000000LL;
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
  return replace_with_temp(path, data, mode, true);
}

int env_write_file_unflushed(const char *path, std::string_view data, int mode) {
  return replace_with_temp(path, data, mode, false);
}

int env_write_file_new(const char *path, std::string_view data, int mode) {
  if (!path || !*path)
    return -1;
  env_temp_file tmp;
  if (tmp.write(path, data, mode) != 0)
    return -1;
  return tmp.link_as(path);
}

env_temp_file::~env_temp_file() {
  if (!path_.empty())
    env_file_sys.unlink(path_.c_str());
}

int env_temp_file::write(const std::string &base, std::string_view data, int mode) {
  if (!path_.empty())
    env_file_sys.unlink(path_.c_str());
  path_.clear();
  std::string tmp;
  if (write_temp(base, data, mode, tmp, true, &serial_) != 0)
    return -1;
  path_ = std::move(tmp);
  return 0;
}

// link() refuses to replace an existing name, so a file is never overwritten.
int env_temp_file::link_as(const std::string &path) {
  if (env_file_sys.link(path_.c_str(), path.c_str()) != 0)
    return errno == EEXIST ? 1 : -1;
  sync_parent_dir(path);
  return 0;
}

namespace {

// The process number in a temporary name's ".tmp-<pid>-<n>" ending that starts at or after
// `from`, or -1 when the name has no such ending.
long long temp_pid(std::string_view name, std::size_t from) {
  std::size_t tmp = name.rfind(".tmp-");
  if (tmp == std::string_view::npos || tmp < from)
    return -1;
  std::string_view numbers = name.substr(tmp + 5);
  std::size_t dash = numbers.find('-');
  if (dash == std::string_view::npos || dash > 18 || !all_digits(numbers.substr(0, dash)) ||
      !all_digits(numbers.substr(dash + 1)))
    return -1;
  return std::stoll(std::string(numbers.substr(0, dash)));
}

} // namespace

bool env_temp_name_of(std::string_view name, std::string_view own) {
  if (name.size() <= own.size() || name.substr(0, own.size()) != own || name[own.size()] != '.')
    return false;
  return temp_pid(name, own.size()) >= 0;
}

void env_remove_dead_temps(const std::string &dir, std::string_view own) {
  std::vector<std::string> dead;
  (void)env_plat_list_dir(dir, [&](const char *name, unsigned long long, bool) {
    if (!own.empty() && !env_temp_name_of(name, own))
      return;
    long long pid = temp_pid(name, 1);
    if (pid >= 0 && !env_plat_process_alive(pid))
      dead.emplace_back(name);
  });
  for (const std::string &name : dead)
    (void)env_file_sys.unlink((dir + "/" + name).c_str());
}

void env_remove_stale_temps(const std::string &dir, const std::vector<std::string> &owns) {
  std::vector<std::string> stale;
  (void)env_plat_list_dir(dir, [&](const char *name, unsigned long long, bool) {
    for (const std::string &own : owns)
      if (env_temp_name_of(name, own)) {
        stale.emplace_back(name);
        return;
      }
  });
  for (const std::string &name : stale)
    (void)env_file_sys.unlink((dir + "/" + name).c_str());
}

std::string env_dir_of(const std::string &path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
}

std::string env_base_of(const std::string &path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

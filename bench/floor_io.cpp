// The floor's system calls, one for one with those of the library's file helpers.
#include "floor_io.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The flushed temporary file beside `path`, as the library writes it.
bool write_temp(const std::string &path, std::string_view data, int mode, std::string &tmp) {
  static unsigned counter = 0;
  tmp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0)
    return false;
  (void)::fchmod(fd, static_cast<mode_t>(mode));
  bool ok = write_all(fd, data) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok)
    ::unlink(tmp.c_str());
  return ok;
}

bool sync_parent(const std::string &path) {
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

} // namespace

bool floor_read(const std::string &path, std::string &buf) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok) {
    buf.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (ok && got < buf.size()) {
      ssize_t n = ::read(fd, buf.data() + got, buf.size() - got);
      if (n < 0 && errno == EINTR)
        continue;
      ok = n > 0;
      got += ok ? static_cast<std::size_t>(n) : 0;
    }
  }
  ::close(fd);
  return ok;
}

bool floor_read_tail(const std::string &path, std::size_t size, std::string &buf) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  off_t from = st.st_size > static_cast<off_t>(size) ? st.st_size - static_cast<off_t>(size) : 0;
  ok = ok && ::lseek(fd, from, SEEK_SET) == from;
  buf.resize(size);
  ok = ok && ::read(fd, buf.data(), size) > 0;
  ::close(fd);
  return ok;
}

bool floor_stat(const std::string &path) {
  struct stat st {};
  (void)::stat(path.c_str(), &st);
  return true;
}

bool floor_append(const std::string &path, std::string_view data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  struct stat st {};
  bool ok =
      ::fstat(fd, &st) == 0 && ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ::close(fd);
  return ok;
}

bool floor_list(const std::string &dir, std::vector<std::string> &names) {
  names.clear();
  DIR *d = ::opendir(dir.c_str());
  if (!d)
    return false;
  while (const dirent *e = ::readdir(d))
    names.emplace_back(e->d_name);
  ::closedir(d);
  return true;
}

bool floor_replace(const std::string &path, std::string_view data, int mode) {
  std::string tmp;
  if (!write_temp(path, data, mode, tmp))
    return false;
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return sync_parent(tmp);
}

bool floor_create(const std::string &path, std::string_view data, int mode) {
  std::string tmp;
  if (!write_temp(path, data, mode, tmp))
    return false;
  bool ok = ::link(tmp.c_str(), path.c_str()) == 0;
  ::unlink(tmp.c_str());
  return ok && sync_parent(tmp);
}

floor_lock::floor_lock(const std::string &path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

floor_lock::~floor_lock() {
  if (fd_ >= 0)
    ::close(fd_);
}

} // namespace bench

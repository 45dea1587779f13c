// The system calls behind the whole-file helpers, and the UTC clock, on POSIX: also under
// the Windows simulation build, whose files are this system's.
#if !defined(_WIN32)

#include "core/file_ops.h"
#include "platform/env_plat.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A created file gets exactly `mode`: the umask would take the read bits of the system
// environment.d file away from other users' sessions. Opening for reading never waits: a
// FIFO in place of a file opens at once (for a regular file the flag changes nothing), and
// the reader refuses it.
int sys_open(const char *path, int flags, unsigned mode) {
  if ((flags & O_ACCMODE) == O_RDONLY)
    flags |= O_NONBLOCK;
  int fd = ::open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd >= 0 && (flags & O_CREAT))
    (void)::fchmod(fd, static_cast<mode_t>(mode));
  return fd;
}
long sys_write(int fd, const void *data, std::size_t size) {
  return static_cast<long>(::write(fd, data, size));
}
int sys_fsync(int fd) {
  return ::fsync(fd);
}
int sys_close(int fd) {
  return ::close(fd);
}
int sys_rename(const char *from, const char *to) {
  return ::rename(from, to);
}
int sys_link(const char *from, const char *to) {
  return ::link(from, to);
}
int sys_unlink(const char *path) {
  return ::unlink(path);
}
// A created directory gets exactly `mode` too: a umask of 077 would hide the system
// scope's store from every other user.
int sys_mkdir(const char *path, int mode) {
  if (::mkdir(path, static_cast<mode_t>(mode)) != 0)
    return -1;
  (void)::chmod(path, static_cast<mode_t>(mode));
  return 0;
}
// A failed flush of the directory is ignored: the new content is in place already.
void sys_sync_dir(const char *dir) {
  int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)env_file_sys.fsync(fd);
    ::close(fd);
  }
}

int sys_stat_mode(const char *path, unsigned *mode) {
  struct stat st {};
  if (::stat(path, &st) != 0)
    return -1;
  *mode = static_cast<unsigned>(st.st_mode);
  return 0;
}

} // namespace

const env_file_ops env_file_ops_default = {sys_open, sys_write,  sys_fsync, sys_close,    sys_rename,
                                           sys_link, sys_unlink, sys_mkdir, sys_sync_dir, sys_stat_mode};

namespace {

// The path a link's text names: a relative text is taken against the link's directory.
std::string link_destination(const std::string &link, const std::string &text) {
  if (!text.empty() && text[0] == '/')
    return text;
  std::size_t slash = link.find_last_of('/');
  return slash == std::string::npos ? text : link.substr(0, slash + 1) + text;
}

bool read_link(const std::string &path, std::string &text) {
  std::vector<char> buf(256);
  for (;;) {
    ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0)
      return false;
    if (static_cast<std::size_t>(n) < buf.size()) {
      text.assign(buf.data(), static_cast<std::size_t>(n));
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

} // namespace

env_file_kind env_plat_file_kind(const std::string &path, std::string *target) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return env_file_kind::missing; // what cannot be looked at, the read or write reports
  if (S_ISREG(st.st_mode))
    return env_file_kind::regular;
  if (S_ISDIR(st.st_mode))
    return env_file_kind::directory;
  if (!S_ISLNK(st.st_mode))
    return env_file_kind::other;
  if (!target)
    return env_file_kind::link;
  // As the kernel does, at most 40 links in a row; past that the link leads nowhere.
  std::string at = path, text;
  for (int hops = 0; hops < 40; ++hops) {
    if (!read_link(at, text))
      break;
    at = link_destination(at, text);
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = at;
      return env_file_kind::link;
    }
  }
  target->clear();
  return env_file_kind::link;
}

int env_plat_list_dir(
    const std::string &dir,
    const std::function<void(const char *name, unsigned long long serial, bool maybe_file)> &take) {
  DIR *d = ::opendir(dir.c_str());
  if (!d)
    return -1;
  struct closer {
    DIR *d;
    ~closer() { ::closedir(d); }
  } close_dir{d};
  errno = 0;
  while (const dirent *e = ::readdir(d)) {
    bool maybe_file = e->d_type == DT_REG || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN;
    take(e->d_name, static_cast<unsigned long long>(e->d_ino), maybe_file);
  }
  return errno == 0 ? 0 : -1;
}

bool env_plat_dir_open_to_others(const std::string &dir, unsigned &mode) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return false;
  mode = static_cast<unsigned>(st.st_mode & 07777);
  return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

bool env_plat_gmtime(long long seconds, std::tm &out) {
  std::time_t t = static_cast<std::time_t>(seconds);
  return gmtime_r(&t, &out) != nullptr;
}

bool env_plat_process_alive(long long pid) {
  if (pid <= 0 || pid != static_cast<pid_t>(pid))
    return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

#endif

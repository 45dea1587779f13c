// The system calls behind the whole-file helpers, and the UTC clock, on POSIX: also under
// the Windows simulation build, whose files are this system's.
#if !defined(_WIN32)

#include "core/file_ops.h"
#include "platform/env_plat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A created file gets exactly `mode`: the umask would take the read bits of the system
// environment.d file away from other users' sessions.
int sys_open(const char *path, int flags, unsigned mode) {
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
int sys_mkdir(const char *path, int mode) {
  return ::mkdir(path, static_cast<mode_t>(mode));
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

const env_file_ops env_file_ops_default = {sys_open,   sys_write,  sys_fsync, sys_close,    sys_rename,
                                           sys_link,   sys_unlink, sys_mkdir, sys_sync_dir, sys_stat_mode};

bool env_plat_gmtime(long long seconds, std::tm &out) {
  std::time_t t = static_cast<std::time_t>(seconds);
  return gmtime_r(&t, &out) != nullptr;
}

#endif

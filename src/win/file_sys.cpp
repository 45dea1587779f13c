// The system calls behind the whole-file helpers, and the UTC clock, on Windows.
// Compiled in every build; it yields code only for Windows: the simulation build runs on a
// POSIX file system and takes src/posix/file_sys.cpp.
#if defined(_WIN32)

#if !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/file_ops.h"
#include "platform/env_plat.h"
#include "win/utf16.h"

#include <cerrno>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

#if !defined(O_BINARY)
#define O_BINARY 0
#endif

// Paths are UTF-8. The wide calls take every character of them; the narrow ones would read
// them in the ANSI code page, and miss the data directory of a user named "José" or "陈".
win_wstring wide(const char *path) {
  return win_to_wide(path);
}

int sys_open(const char *path, int flags, unsigned mode) {
  return ::_wopen(wide(path).c_str(), flags | O_BINARY, static_cast<int>(mode));
}
long sys_write(int fd, const void *data, std::size_t size) {
  return static_cast<long>(::write(fd, data, static_cast<unsigned>(size)));
}
int sys_fsync(int fd) {
  return ::_commit(fd);
}
int sys_mkdir(const char *path, int) {
  return ::_wmkdir(wide(path).c_str());
}
int sys_close(int fd) {
  return ::close(fd);
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
int sys_unlink(const char *path) {
  return ::_wunlink(wide(path).c_str());
}
// MOVEFILE_WRITE_THROUGH has flushed the rename already.
void sys_sync_dir(const char *) {
}
int sys_stat_mode(const char *path, unsigned *mode) {
  struct _stat64 st;
  if (::_wstat64(wide(path).c_str(), &st) != 0)
    return -1;
  *mode = static_cast<unsigned>(st.st_mode);
  return 0;
}

} // namespace

const env_file_ops env_file_ops_default = {sys_open, sys_write,  sys_fsync, sys_close,    sys_rename,
                                           sys_link, sys_unlink, sys_mkdir, sys_sync_dir, sys_stat_mode};

bool env_plat_gmtime(long long seconds, std::tm &out) {
  std::time_t t = static_cast<std::time_t>(seconds);
  return gmtime_s(&out, &t) == 0;
}

bool env_plat_process_alive(long long pid) {
  if (pid <= 0 || pid > 0xFFFFFFFFLL)
    return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process)
    return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// Windows opens a file through its link by itself, so a link counts as the file it leads to.
env_file_kind env_plat_file_kind(const std::string &path, std::string *) {
  DWORD attributes = GetFileAttributesW(wide(path.c_str()).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return env_file_kind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? env_file_kind::directory : env_file_kind::regular;
}

// Windows names no file types in a folder's listing: every entry may be a file.
int env_plat_list_dir(
    const std::string &dir,
    const std::function<void(const char *name, unsigned long long serial, bool maybe_file)> &take) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(wide((dir + "\\*").c_str()).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? ENOMEM : ENOENT;
    return -1;
  }
  do
    take(win_to_utf8(found.cFileName).c_str(), 0, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
  while (FindNextFileW(h, &found));
  FindClose(h);
  return 0;
}

// Access to a folder is a matter of its access control list, which the library leaves to
// Windows: %APPDATA% belongs to the user.
bool env_plat_dir_open_to_others(const std::string &, unsigned &) {
  return false;
}

#endif

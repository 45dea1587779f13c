// The simulated window messages and lock-file calls. A broadcast is only recorded: there are
// no windows. File handles are POSIX descriptors, and locks are flock(2) locks, which like
// Windows' byte-range locks belong to the handle, so two handles exclude each other.
#include "text.h"
#include "winsim.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::vector<winsim_message> &messages() {
  static std::vector<winsim_message> log;
  return log;
}

std::set<int> &files() {
  static std::set<int> open;
  return open;
}

thread_local DWORD last_error = 0;

// The variables set with winsim_set_variable, in UTF-16 as Windows holds its environment.
std::map<std::string, std::u16string> &wide_environment() {
  static std::map<std::string, std::u16string> vars;
  return vars;
}

// Handles are the descriptor plus one, so that no valid handle is null.
HANDLE to_handle(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

int to_fd(HANDLE h) {
  int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 1);
  return files().count(fd) ? fd : -1;
}

int open_flags(DWORD disposition) {
  switch (disposition) {
  case CREATE_NEW:
    return O_CREAT | O_EXCL;
  case CREATE_ALWAYS:
    return O_CREAT | O_TRUNC;
  case OPEN_ALWAYS:
    return O_CREAT;
  default:
    return 0;
  }
}

DWORD error_of(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
    return ERROR_FILE_NOT_FOUND;
  case EWOULDBLOCK:
    return ERROR_LOCK_VIOLATION;
  default:
    return ERROR_ACCESS_DENIED;
  }
}

} // namespace

namespace winsim_detail {
// winsim_reset lives with the registry; the message log is emptied through this hook.
void clear_messages() {
  messages().clear();
  for (const auto &[name, value] : wide_environment())
    unsetenv(name.c_str());
  wide_environment().clear();
}
} // namespace winsim_detail

void winsim_set_variable(std::string_view name, std::string_view utf8) {
  std::u16string wide = winsim_text::from_utf8(utf8);
  wide_environment()[std::string(name)] = wide;
  setenv(std::string(name).c_str(), winsim_text::to_ansi(wide).c_str(), 1);
}

const std::vector<winsim_message> &winsim_messages() {
  return messages();
}

int winsim_open_files() {
  return static_cast<int>(files().size());
}

extern "C" {

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
  const WCHAR *text = reinterpret_cast<const WCHAR *>(lParam);
  messages().push_back(winsim_message{hWnd, Msg, wParam, winsim_text::to_utf8(winsim_text::of(text)), fuFlags,
                                      uTimeout, lpdwResult != nullptr, true});
  if (lpdwResult)
    *lpdwResult = 0;
  return 1;
}

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
  const char *text = reinterpret_cast<const char *>(lParam);
  messages().push_back(
      winsim_message{hWnd, Msg, wParam, text ? text : "", fuFlags, uTimeout, lpdwResult != nullptr, false});
  if (lpdwResult)
    *lpdwResult = 0;
  return 1;
}

// Paths are UTF-8 on Linux, so the wide call is the one that reaches the same file as
// the text it was given; the ANSI call passes its bytes through unconverted.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  std::string path = winsim_text::to_utf8(winsim_text::of(lpFileName));
  return CreateFileA(path.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                     dwFlagsAndAttributes, hTemplateFile);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD, HANDLE) {
  int fd = ::open(lpFileName, O_RDWR | O_CLOEXEC | open_flags(dwCreationDisposition), 0600);
  if (fd < 0) {
    last_error = error_of(errno);
    return INVALID_HANDLE_VALUE;
  }
  files().insert(fd);
  return to_handle(fd);
}

BOOL WINAPI LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD, DWORD, LPOVERLAPPED lpOverlapped) {
  int fd = to_fd(hFile);
  if (fd < 0 || !lpOverlapped) {
    last_error = fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  int op = (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? LOCK_EX : LOCK_SH;
  if (dwFlags & LOCKFILE_FAIL_IMMEDIATELY)
    op |= LOCK_NB;
  while (::flock(fd, op) != 0) {
    if (errno != EINTR) {
      last_error = error_of(errno);
      return FALSE;
    }
  }
  return TRUE;
}

BOOL WINAPI UnlockFileEx(HANDLE hFile, DWORD, DWORD, DWORD, LPOVERLAPPED lpOverlapped) {
  int fd = to_fd(hFile);
  if (fd < 0 || !lpOverlapped || ::flock(fd, LOCK_UN) != 0) {
    last_error = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  int fd = to_fd(hObject);
  if (fd < 0) {
    last_error = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  files().erase(fd);
  ::close(fd);
  return TRUE;
}

// The process environment: what winsim_set_variable set, else what tests set with setenv in
// UTF-8.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  std::string name = winsim_text::to_utf8(winsim_text::of(lpName));
  auto set = wide_environment().find(name);
  const char *value = std::getenv(name.c_str());
  if (set == wide_environment().end() && !value) {
    last_error = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  std::u16string wide = set != wide_environment().end() ? set->second : winsim_text::from_utf8(value);
  if (!lpBuffer || wide.size() + 1 > nSize)
    return static_cast<DWORD>(wide.size() + 1);
  std::copy(wide.begin(), wide.end(), lpBuffer);
  lpBuffer[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}

DWORD WINAPI GetLastError(void) {
  return last_error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  last_error = dwErrCode;
}

} // extern "C"

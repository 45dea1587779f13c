// The Windows backend's folders: "Pellomar" under the user's roaming application data
// (APPDATA) for the user scope, "Pellomar" under the machine's application data
// (ProgramData) for the system scope, and the lock file in each that serialises changes
// between processes.
// Compiled in every build; it yields code only for Windows and for the simulation build.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#if defined(_WIN32) && !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#if defined(_WIN32) && !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"
#include "win/utf16.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

// The directory is looked up anew on every call: the variable is read from the process
// environment, so a front end that changes it is followed. The system scope's store belongs
// to the machine, as HKLM's Environment key does, not to the administrator who changed it.
int env_plat_data_dir(env_scope scope, std::string &out) {
  const char *variable = scope == env_scope::system ? "ProgramData" : "APPDATA";
  // Read wide: the ANSI copy of APPDATA has '?' for every character of a user name that the
  // code page lacks.
  std::string base = env_plat_process_variable(variable).value_or("");
  if (base.empty()) {
    env_set_error("%s is unset; cannot locate Pellomar dir", variable);
    return -1;
  }
  char buf[env_path_max];
  int n = std::snprintf(buf, sizeof buf, "%s\\Pellomar", base.c_str());
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) {
    env_set_error("data dir path too long");
    return -1;
  }
  out.assign(buf, static_cast<std::size_t>(n));
  return 0;
}

// No shell reads a drop-in folder on Windows: the system scope's export file lies beside its
// store, for whoever sources it by hand.
int env_plat_export_file(env_scope scope, const std::string &data_dir, std::string &out) {
  const char *file = scope == env_scope::system ? "system-env.sh" : "exports/user-env.sh";
  if (env_join_path(out, data_dir, file) == 0)
    return 0;
  env_set_error("path too long");
  return -1;
}

namespace {

struct handle_closer {
  void operator()(void *h) const { CloseHandle(h); }
};
// An open file handle, closed when the guard goes unless it was released to the caller.
using file_handle = std::unique_ptr<void, handle_closer>;

} // namespace

struct env_plat_lock {
  file_handle file;
};

// Closing the handle would release the lock too; unlocking first lets a waiter in at once.
void env_plat_lock_release::operator()(env_plat_lock *lock) const {
  OVERLAPPED whole_file{};
  if (lock && lock->file)
    UnlockFileEx(lock->file.get(), 0, MAXDWORD, MAXDWORD, &whole_file);
  std::default_delete<env_plat_lock>()(lock);
}

// LockFileEx on the lock file, waiting for whoever holds it. The file is opened with every
// sharing right so that other processes can open it to wait: the lock excludes them, not the
// open.
int env_plat_lock_file(const std::string &path, env_plat_lock_handle &out) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0)
    (void)env_mkdir_p(path.substr(0, slash).c_str());
  auto lock = std::make_unique<env_plat_lock>();
  HANDLE opened = CreateFileW(win_to_wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    env_set_error("cannot lock %s (%lu)", path.c_str(), static_cast<unsigned long>(GetLastError()));
    return -1;
  }
  lock->file.reset(opened);
  OVERLAPPED whole_file{};
  if (!LockFileEx(lock->file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_file)) {
    env_set_error("cannot lock %s (%lu)", path.c_str(), static_cast<unsigned long>(GetLastError()));
    return -1;
  }
  out.reset(lock.release());
  return 0;
}

#endif

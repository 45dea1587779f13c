// The POSIX backend's identity, where its files live, the data-directory lock and the
// broadcast (which has nobody to tell).
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"
#include "posix/posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

#ifndef KENV_SYSCONFDIR
#define KENV_SYSCONFDIR "/etc"
#endif
// Where the directories systemd ships its own environment.d files in are rooted: "" on a
// real system, a folder of the build tree in test builds.
#ifndef KENV_VENDOR_ROOT
#define KENV_VENDOR_ROOT ""
#endif
#ifndef KENV_LOCALSTATEDIR
#define KENV_LOCALSTATEDIR "/var"
#endif

namespace {

// Trailing slashes do not change the directory a PATH entry names; a root of slashes only
// keeps one.
std::string_view without_trailing_slashes(std::string_view s) {
  while (s.size() > 1 && s.back() == '/')
    s.remove_suffix(1);
  return s;
}

// An absolute XDG base directory from the environment, else nullptr: the XDG rules ignore
// relative ones.
const char *xdg_dir(const char *variable) {
  const char *value = getenv(variable);
  return value && value[0] == '/' ? value : nullptr;
}

// Closes a descriptor unless it was handed on.
struct fd_guard {
  int fd;
  ~fd_guard() {
    if (fd >= 0)
      close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

} // namespace

const char *env_plat_name() {
#if defined(__linux__)
  return "linux";
#elif defined(__APPLE__)
  return "darwin";
#elif defined(__FreeBSD__)
  return "freebsd";
#elif defined(__NetBSD__)
  return "netbsd";
#elif defined(__OpenBSD__)
  return "openbsd";
#else
  return "posix";
#endif
}

char env_plat_path_sep() {
  return ':';
}

bool env_plat_names_fold_case() {
  return false;
}

env_ref_style env_plat_reference_style() {
  return env_ref_style::dollar;
}

int env_plat_path_eq(const char *a, const char *b) {
  if (!a || !b)
    return 0;
  return without_trailing_slashes(a) == without_trailing_slashes(b) ? 1 : 0;
}

const char *env_plat_write_policy() {
  return "environment.d";
}

const char *env_plat_export_policy() {
  return "# Linux write policy: this library NEVER rewrites ~/.bashrc,\n"
         "# ~/.profile, or /etc/environment. Source this file instead:\n";
}

std::string env_plat_shell_path(const std::string &path) {
  return path;
}

std::optional<std::string> env_plat_process_variable(std::string_view name) {
  const char *value = getenv(std::string(name).c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

const char *posix_home() {
  const char *home = getenv("HOME");
  return home && home[0] ? home : nullptr;
}

namespace {

int user_data_dir(std::string &out) {
  out.clear();
  std::string path;
  if (const char *data = xdg_dir("XDG_DATA_HOME")) {
    path = data;
  } else if (const char *home = posix_home()) {
    path = home;
    path += "/.local/share";
  } else {
    env_set_error("HOME is unset; cannot locate Pellomar dir");
    return -1;
  }
  path += "/pellomar";
  if (path.size() >= env_path_max) {
    env_set_error("data dir path too long");
    return -1;
  }
  out = std::move(path);
  return 0;
}

} // namespace

// The system scope's store and backups are the machine's state, kept where the FHS puts
// the state of programs: every administrator who changes the scope works on the same files.
int env_plat_data_dir(env_scope scope, std::string &out) {
  if (scope == env_scope::user)
    return user_data_dir(out);
  out = KENV_LOCALSTATEDIR "/lib/pellomar";
  return 0;
}

// The system scope's export file is a drop-in of profile.d, which /etc/profile sources for
// the login shells of every user (sh, dash, bash); kenv shell-init sources it for the others.
int env_plat_export_file(env_scope scope, const std::string &data_dir, std::string &out) {
  if (scope == env_scope::system) {
    out = KENV_SYSCONFDIR "/profile.d/99-pellomar-system.sh";
    return 0;
  }
  if (env_join_path(out, data_dir, "exports/user-env.sh") == 0)
    return 0;
  env_set_error("path too long");
  return -1;
}

int envd_dir(int scope, std::string &out) {
  if (scope == 2) {
    out = KENV_SYSCONFDIR "/environment.d";
  } else if (const char *config = xdg_dir("XDG_CONFIG_HOME")) {
    out = config;
    out += "/environment.d";
  } else if (const char *home = posix_home()) {
    out = home;
    out += "/.config/environment.d";
  } else {
    env_set_error("HOME is unset; cannot locate environment.d");
    return -1;
  }
  if (out.size() < env_path_max)
    return 0;
  env_set_error("environment.d path too long");
  return -1;
}

std::vector<std::string> envd_vendor_dirs() {
  std::vector<std::string> dirs;
  for (const char *dir : {"/run", "/usr/local/lib", "/usr/lib"})
    dirs.push_back(std::string(KENV_VENDOR_ROOT) + dir + "/environment.d");
  return dirs;
}

void env_plat_broadcast() {
  // A running session never re-reads environment.d; new sessions, and shells that source
  // the export file, see the change. There is nobody to tell.
}

struct env_plat_lock {
  fd_guard fd{-1};
};

// Closing the descriptor releases the lock.
void env_plat_lock_release::operator()(env_plat_lock *lock) const {
  std::default_delete<env_plat_lock>()(lock);
}

int env_plat_lock_file(const std::string &path, env_plat_lock_handle &out) {
  std::size_t slash = path.find_last_of('/');
  // The data directory holds secrets (tokens, passwords): only the user may look in.
  if (slash != std::string::npos && slash > 0)
    (void)env_mkdir_p(path.substr(0, slash).c_str(), 0700);
  auto lock = std::make_unique<env_plat_lock>();
  lock->fd.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  int err = lock->fd.fd < 0 ? errno : 0;
  while (err == 0 && flock(lock->fd.fd, LOCK_EX) != 0)
    err = errno == EINTR ? 0 : errno;
  if (err != 0) {
    env_set_error("cannot lock %s (%s)", path.c_str(), std::strerror(err));
    return -1;
  }
  out.reset(lock.release());
  return 0;
}

#endif

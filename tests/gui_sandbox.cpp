#include "gui_sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// The system directory of a test build lies in the build tree; never wipe a real one.
void require_scratch_system_dir() {
  std::string_view dir = KENV_SYSCONFDIR;
  if (dir.empty() || dir[0] != '/' || dir == "/" || dir == "/etc" || dir == "/usr" || dir == "/usr/local/etc")
    throw std::runtime_error("refusing to run: KENV_SYSCONFDIR is " KENV_SYSCONFDIR);
}

} // namespace

GuiSandbox::GuiSandbox() {
  require_scratch_system_dir();
  fs::create_directories(home());
  set_env("HOME", home());
  set_env("XDG_CONFIG_HOME", home() + "/.config");
  set_env("XDG_DATA_HOME", home() + "/.local/share");
  set_env("XDG_CACHE_HOME", home() + "/.cache");
  set_env("XDG_RUNTIME_DIR", root() + "/run");
  fs::create_directories(root() + "/run");
  fs::permissions(root() + "/run", fs::perms::owner_all, fs::perm_options::replace);
  set_env("ZDOTDIR", std::nullopt);
  fs::remove_all(KENV_SYSCONFDIR);
  fs::create_directories(KENV_SYSCONFDIR);
}

GuiSandbox::~GuiSandbox() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second)
      setenv(it->first.c_str(), it->second->c_str(), 1);
    else
      unsetenv(it->first.c_str());
  }
  std::error_code ec;
  fs::remove_all(KENV_SYSCONFDIR, ec);
}

void GuiSandbox::set_env(const char *name, const std::optional<std::string> &value) {
  const char *old = getenv(name);
  saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

void GuiSandbox::write(const std::string &path, const std::string &text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

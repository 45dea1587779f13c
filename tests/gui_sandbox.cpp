#include "gui_sandbox.h"

#include "support/scratch.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

GuiSandbox::GuiSandbox() {
  if (!scratch::build_dirs_wipeable())
    throw std::runtime_error("refusing to run: KENV_SYSCONFDIR is " KENV_SYSCONFDIR
                             " and KENV_LOCALSTATEDIR " KENV_LOCALSTATEDIR);
  fs::create_directories(home());
  set_env("HOME", home());
  set_env("XDG_CONFIG_HOME", home() + "/.config");
  set_env("XDG_DATA_HOME", home() + "/.local/share");
  set_env("XDG_CACHE_HOME", home() + "/.cache");
  set_env("XDG_RUNTIME_DIR", root() + "/run");
  fs::create_directories(root() + "/run");
  fs::permissions(root() + "/run", fs::perms::owner_all, fs::perm_options::replace);
  set_env("ZDOTDIR", std::nullopt);
  scratch::reset_build_dirs(true);
}

GuiSandbox::~GuiSandbox() {
  env_.restore();
  scratch::reset_build_dirs(false);
}

void GuiSandbox::set_env(const char *name, const std::optional<std::string> &value) {
  env_.set(name, value);
}

void GuiSandbox::write(const std::string &path, const std::string &text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

#include "support/sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace fs = std::filesystem;

std::string Sandbox::system_envd() {
  return KENV_SYSCONFDIR "/environment.d";
}

std::string Sandbox::system_data_dir() {
  return KENV_LOCALSTATEDIR "/lib/pellomar";
}

std::string Sandbox::system_export() {
  return KENV_SYSCONFDIR "/profile.d/99-pellomar-system.sh";
}

void Sandbox::set_env(const char *name, const std::optional<std::string> &value) {
  env_.set(name, value);
}

void Sandbox::SetUp() {
  ASSERT_TRUE(scratch::build_dirs_wipeable())
      << "refusing to run: KENV_SYSCONFDIR is " KENV_SYSCONFDIR " and KENV_LOCALSTATEDIR " KENV_LOCALSTATEDIR
         "; tests need scratch directories";
  std::string pattern = (fs::temp_directory_path() / "kenv-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  fs::create_directories(home());
  set_env("HOME", home());
  set_env("XDG_CONFIG_HOME", home() + "/.config");
  set_env("XDG_DATA_HOME", home() + "/.local/share");
  set_env("ZDOTDIR", std::nullopt);
  scratch::reset_build_dirs(true);
}

void Sandbox::TearDown() {
  env_.restore();
  std::error_code ec;
  if (!root_.empty()) {
    // Tests take permissions away to provoke failures; give them back so all can go.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  scratch::reset_build_dirs(false);
}

std::string Sandbox::read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : std::string();
}

void Sandbox::write(const std::string &path, const std::string &text) {
  fs::path p(path);
  if (p.has_parent_path())
    fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

#include "support/sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#ifndef KENV_SYSCONFDIR
#error "the tests need KENV_SYSCONFDIR, the system directory the library was built with"
#endif
#ifndef KENV_LOCALSTATEDIR
#error "the tests need KENV_LOCALSTATEDIR, the state directory the library was built with"
#endif

namespace fs = std::filesystem;

namespace {

// The system directory of a test build lies in the build tree; never wipe a real one.
bool safe_system_dir(std::string_view dir) {
  while (dir.size() > 1 && dir.back() == '/')
    dir.remove_suffix(1);
  return !dir.empty() && dir[0] == '/' && dir != "/" && dir != "/etc" && dir != "/usr" &&
         dir != "/usr/local/etc" && dir != "/var" && dir != "/usr/local/var";
}

} // namespace

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
  const char *old = getenv(name);
  saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

void Sandbox::SetUp() {
  ASSERT_TRUE(safe_system_dir(KENV_SYSCONFDIR))
      << "refusing to run: KENV_SYSCONFDIR is " KENV_SYSCONFDIR "; tests need a scratch directory";
  ASSERT_TRUE(safe_system_dir(KENV_LOCALSTATEDIR))
      << "refusing to run: KENV_LOCALSTATEDIR is " KENV_LOCALSTATEDIR "; tests need a scratch directory";
  std::string pattern = (fs::temp_directory_path() / "kenv-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  fs::create_directories(home());
  set_env("HOME", home());
  set_env("XDG_CONFIG_HOME", home() + "/.config");
  set_env("XDG_DATA_HOME", home() + "/.local/share");
  set_env("ZDOTDIR", std::nullopt);
  for (const char *dir : {KENV_SYSCONFDIR, KENV_LOCALSTATEDIR}) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  if (safe_system_dir(KENV_VENDOR_ROOT))
    fs::remove_all(KENV_VENDOR_ROOT);
}

void Sandbox::TearDown() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second)
      setenv(it->first.c_str(), it->second->c_str(), 1);
    else
      unsetenv(it->first.c_str());
  }
  saved_.clear();
  std::error_code ec;
  if (!root_.empty()) {
    // Tests take permissions away to provoke failures; give them back so all can go.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  fs::remove_all(KENV_SYSCONFDIR, ec);
  fs::remove_all(KENV_LOCALSTATEDIR, ec);
  if (safe_system_dir(KENV_VENDOR_ROOT))
    fs::remove_all(KENV_VENDOR_ROOT, ec);
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

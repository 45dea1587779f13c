#include "fuzz_home.h"

#include "core/file_ops.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string g_root;

void remove_root() {
  std::error_code ec;
  if (!g_root.empty())
    fs::remove_all(g_root, ec);
}

std::string temp_parent() {
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec))
    return "/dev/shm";
  return fs::temp_directory_path().string();
}

} // namespace

namespace fuzz_home {

void set_up() {
  std::string pattern = temp_parent() + "/kenv-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_root = pattern;
  std::atexit(remove_root);
  setenv("HOME", home().c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home() + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home() + "/.local/share").c_str(), 1);
  unsetenv("ZDOTDIR");
  env_file_sys.fsync = [](int) { return 0; };
  reset();
}

void reset() {
  fs::remove_all(home());
  fs::create_directories(home());
}

std::string home() {
  return g_root + "/home";
}
std::string data_dir() {
  return home() + "/.local/share/pellomar";
}
std::string user_envd() {
  return home() + "/.config/environment.d";
}

void fail(const char *target, const std::string &what) {
  std::fprintf(stderr, "%s: %s\n", target, what.c_str());
  remove_root();
  std::abort();
}

void write(const std::string &path, const std::string &bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace fuzz_home

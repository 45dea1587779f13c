// What every test sandbox shares: the build-time system directories of a test build, which
// lie in the build tree and are emptied around each test, and environment variables changed
// for the test and put back after it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if !defined(KENV_SYSCONFDIR) || !defined(KENV_LOCALSTATEDIR) || !defined(KENV_VENDOR_ROOT)
#error "the tests need the build-time system directories the library was built with"
#endif

namespace scratch {

// A directory of a test build is never a real system one: those are never wiped.
inline bool wipeable(std::string_view dir) {
  while (dir.size() > 1 && dir.back() == '/')
    dir.remove_suffix(1);
  return !dir.empty() && dir[0] == '/' && dir != "/" && dir != "/etc" && dir != "/usr" &&
         dir != "/usr/local/etc" && dir != "/var" && dir != "/usr/local/var";
}

// True when every build-time directory is one a test may wipe.
inline bool build_dirs_wipeable() {
  return wipeable(KENV_SYSCONFDIR) && wipeable(KENV_LOCALSTATEDIR);
}

// Empties the build-time directories; `recreate` leaves the system and state ones in place,
// empty. The vendor root is "" outside test builds, and then stays alone.
inline void reset_build_dirs(bool recreate) {
  std::error_code ec;
  for (const char *dir : {KENV_SYSCONFDIR, KENV_LOCALSTATEDIR}) {
    std::filesystem::remove_all(dir, ec);
    if (recreate)
      std::filesystem::create_directories(dir, ec);
  }
  if (wipeable(KENV_VENDOR_ROOT))
    std::filesystem::remove_all(KENV_VENDOR_ROOT, ec);
}

// Environment variables set (or, with nullopt, removed) for a while, put back by restore().
class env_overrides {
public:
  void set(const char *name, const std::optional<std::string> &value) {
    const char *old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
    saved_.clear();
  }

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace scratch

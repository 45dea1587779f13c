// The registry checks of win_registry_checks.cpp against a real registry: wine's. The checks
// were cross-compiled into a Windows program (tests/wine); this test runs it under wine in a
// prefix inside the build tree, headless, with HOME and the XDG folders in the build tree too,
// so wine never touches the real home directory. The same checks run over the simulator in
// the simulation build, so both registries are held to one set of expectations.
#include "support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string shell_quoted(const std::string &s) {
  return "'" + s + "'";
}

std::string wine_env(const std::string &dir) {
  std::string home = dir + "/home";
  return "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + shell_quoted(home) +
         " XDG_CONFIG_HOME=" + shell_quoted(home + "/.config") +
         " XDG_DATA_HOME=" + shell_quoted(home + "/.local/share") +
         " XDG_CACHE_HOME=" + shell_quoted(home + "/.cache") +
         " WINEPREFIX=" + shell_quoted(dir + "/prefix") +
         " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
}

} // namespace

TEST(WinePeer, RegistryChecksPassAgainstWinesRegistry) {
  const std::string exe = KENV_WINE_CHECK_EXE, wine = KENV_WINE64, dir = KENV_WINE_DIR;
  if (exe.empty())
    GTEST_SKIP() << "mingw-w64 (x86_64-w64-mingw32-g++-posix) was not found when the build was configured; "
                    "install it with scripts/install-deps.sh --windows and configure again";
  if (wine.empty() || access(wine.c_str(), X_OK) != 0)
    GTEST_SKIP() << "wine64 is not installed; install it with scripts/install-deps.sh --windows";
  ASSERT_TRUE(fs::exists(exe)) << exe;
  std::string wineserver = fs::path(wine).replace_filename("wineserver").string();
  std::string env = wine_env(dir), log = dir + "/wine.log";
  fs::create_directories(dir + "/home");
  // A new prefix is set up completely before the checks run, not alongside them.
  if (!fs::exists(dir + "/prefix/system.reg")) {
    run(env + shell_quoted(wine) + " wineboot --init >>" + shell_quoted(log) + " 2>&1");
    run(env + shell_quoted(wineserver) + " -w");
  }
  int status = -1;
  std::string out =
      run(env + shell_quoted(wine) + " " + shell_quoted(exe) + " 2>>" + shell_quoted(log), &status);
  run(env + shell_quoted(wineserver) + " -w");
  std::erase(out, '\r'); // a Windows program ends its lines with CR LF
  EXPECT_EQ(status, 0) << out << "(wine's own messages are in " << log << ")";
  std::istringstream lines(out);
  int passed = 0;
  for (std::string line; std::getline(lines, line);)
    passed += line.rfind("PASS ", 0) == 0;
  EXPECT_GT(passed, 0) << out;
  EXPECT_NE(out.find("failing: 0\n"), std::string::npos) << out;
}

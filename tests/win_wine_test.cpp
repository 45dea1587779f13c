// The registry checks of win_registry_checks.cpp against a real registry: wine's. The checks
// were cross-compiled into a Windows program (tests/wine); this test runs it under wine in a
// prefix inside the build tree, headless, with HOME and the XDG folders in the build tree too,
// so wine never touches the real home directory. The same checks run over the simulator in
// the simulation build, so both registries are held to one set of expectations. Wine's own
// reg.exe then reads what the backend wrote and writes what the backend must read.
#include "support/process.h"
#include "win_unicode_samples.h"

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

// Wine reads its command line in the locale's encoding: UTF-8, so that every character of
// an argument reaches reg.exe.
std::string wine_env(const std::string &dir) {
  std::string home = dir + "/home";
  return "env -u DISPLAY -u WAYLAND_DISPLAY LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME=" + shell_quoted(home) +
         " XDG_CONFIG_HOME=" + shell_quoted(home + "/.config") +
         " XDG_DATA_HOME=" + shell_quoted(home + "/.local/share") +
         " XDG_CACHE_HOME=" + shell_quoted(home + "/.cache") +
         " WINEPREFIX=" + shell_quoted(dir + "/prefix") +
         " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
}

// A .reg line's value as reg export writes a REG_SZ: backslashes and quotes escaped.
std::string reg_escaped(const std::string &value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"')
      out += '\\';
    out += c;
  }
  return out;
}

class WinePeer : public ::testing::Test {
protected:
  void SetUp() override {
    if (exe_.empty())
      GTEST_SKIP() << "mingw-w64 (x86_64-w64-mingw32-g++-posix) was not found when the build was configured; "
                      "install it with scripts/install-deps.sh --windows and configure again";
    if (wine_.empty() || access(wine_.c_str(), X_OK) != 0)
      GTEST_SKIP() << "wine64 is not installed; install it with scripts/install-deps.sh --windows";
    ASSERT_TRUE(fs::exists(exe_)) << exe_;
    fs::create_directories(dir_ + "/home");
    // A new prefix is set up completely before the checks run, not alongside them.
    if (!fs::exists(dir_ + "/prefix/system.reg")) {
      run(env_ + shell_quoted(wine_) + " wineboot --init >>" + shell_quoted(log_) + " 2>&1");
      wait_for_wine();
    }
  }
  void TearDown() override {
    if (!IsSkipped())
      wine("", {exe_, "clean"});
  }

  // Runs a Windows program under wine; its stdout, with Windows' line ends made Unix ones.
  std::string wine(const std::string &program, const std::vector<std::string> &args, int *status = nullptr) {
    std::string cmd = env_ + shell_quoted(wine_) + (program.empty() ? "" : " " + program);
    for (const std::string &a : args)
      cmd.append(" ").append(shell_quoted(a));
    std::string out = run(cmd + " 2>>" + shell_quoted(log_), status);
    wait_for_wine();
    std::erase(out, '\r');
    return out;
  }
  void wait_for_wine() {
    run(env_ + shell_quoted(fs::path(wine_).replace_filename("wineserver").string()) + " -w");
  }

  const std::string exe_ = KENV_WINE_CHECK_EXE, wine_ = KENV_WINE64, dir_ = KENV_WINE_DIR;
  const std::string env_ = wine_env(dir_), log_ = dir_ + "/wine.log";
};

} // namespace

TEST_F(WinePeer, RegistryChecksPassAgainstWinesRegistry) {
  int status = -1;
  std::string out = wine("", {exe_}, &status);
  EXPECT_EQ(status, 0) << out << "(wine's own messages are in " << log_ << ")";
  std::istringstream lines(out);
  int passed = 0;
  for (std::string line; std::getline(lines, line);)
    passed += line.rfind("PASS ", 0) == 0;
  EXPECT_GT(passed, 0) << out;
  EXPECT_NE(out.find("failing: 0\n"), std::string::npos) << out;
}

// reg query prints through the console's code page, which has no form for most of these
// characters; reg export writes the key in UTF-16, every character kept.
TEST_F(WinePeer, WinesRegReadsEveryCharacterTheBackendWrote) {
  int status = -1;
  wine("", {exe_, "write-samples"}, &status);
  ASSERT_EQ(status, 0);
  std::string exported = dir_ + "/environment.reg";
  wine("reg", {"export", "HKCU\\Environment", "Z:" + exported, "/y"}, &status);
  ASSERT_EQ(status, 0) << "see " << log_;
  std::string text = run("iconv -f UTF-16 -t UTF-8 " + shell_quoted(exported));
  std::erase(text, '\r');
  for (const unicode_sample &s : unicode_samples)
    EXPECT_NE(text.find("\n\"" + std::string(s.name) + "\"=\"" + reg_escaped(s.value) + "\"\n"),
              std::string::npos)
        << s.name << " in\n"
        << text;
}

TEST_F(WinePeer, BackendListsWhatWinesRegWrote) {
  const std::string path = "C:\\\u65e5\u672c\\bin;%SystemRoot%\\\U0001F600;C:\\caf\u00e9";
  int status = -1;
  wine("reg",
       {"add", "HKCU\\Environment", "/v", "KENV_CHECK_TOOL_PATH", "/t", "REG_EXPAND_SZ", "/d", path, "/f"},
       &status);
  ASSERT_EQ(status, 0) << "see " << log_;
  EXPECT_EQ(wine("", {exe_, "list", "KENV_CHECK_TOOL_PATH"}), path);
}

// kenv doctor's REG_SZ check reads the value types itself: a REG_SZ holding '%' is named, a
// REG_EXPAND_SZ is not.
TEST_F(WinePeer, DoctorTellsRegSzFromRegExpandSz) {
  int status = -1;
  wine("reg",
       {"add", "HKCU\\Environment", "/v", "KENV_CHECK_PLAIN_\u00e9", "/t", "REG_SZ", "/d", "%TEMP%", "/f"},
       &status);
  ASSERT_EQ(status, 0);
  wine("reg",
       {"add", "HKCU\\Environment", "/v", "KENV_CHECK_EXPAND", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%", "/f"},
       &status);
  ASSERT_EQ(status, 0);
  std::string names = wine("", {exe_, "reg-sz-names"});
  EXPECT_NE(names.find("KENV_CHECK_PLAIN_\u00e9\n"), std::string::npos) << names;
  EXPECT_EQ(names.find("KENV_CHECK_EXPAND\n"), std::string::npos) << names;
}

// A variable the process inherits with characters the ANSI code page 1252 lacks: the C
// library's copy in a program without the UTF-8 manifest has '?' for them, and the backend,
// which expands references to inherited variables, reads every character.
TEST_F(WinePeer, InheritedVariablesAreReadWholeUnderCodePage1252) {
  const std::string home = "C:\\Dossier \u00fc \u65e5\u672c";
  std::string out = run(env_ + "MYHOME=" + shell_quoted(home) + " " + shell_quoted(wine_) + " " +
                        shell_quoted(exe_) + " variable MYHOME 2>>" + shell_quoted(log_));
  wait_for_wine();
  std::erase(out, '\r');
  EXPECT_EQ(out, "1252\nC:\\Dossier \xFC ??\n" + home + "\n");
}

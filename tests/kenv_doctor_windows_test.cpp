// kenv doctor's checks for Windows, over listings made here as the Windows library makes
// them ("platform": "windows"), so that they run on any machine. Directories are the
// sandbox's; the registry's value types are given as the platform layer would read them.
#include "doctor.h"
#include "support/sandbox.h"

#include <gmock/gmock.h>

#include <filesystem>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class WindowsDoctor : public Sandbox {
protected:
  static Listing listing(const char *scope, std::vector<Variable> vars) {
    Listing l;
    l.scope = scope;
    l.platform = "windows";
    l.vars = std::move(vars);
    if (const Variable *path = find_variable(l, "PATH")) {
      std::size_t start = 0;
      for (std::size_t end; (end = path->value.find(';', start)) != std::string::npos; start = end + 1)
        l.path.push_back(PathEntry{path->value.substr(start, end - start), false, false, "path", "", true});
      l.path.push_back(PathEntry{path->value.substr(start), false, false, "path", "", true});
    }
    return l;
  }
  static Variable var(const std::string &name, const std::string &value) {
    return Variable{name, value, value, "registry-hkcu"};
  }
  static std::vector<std::string> titles(const std::vector<Check> &checks) {
    std::vector<std::string> out;
    for (const Check &c : checks)
      out.push_back(c.title);
    return out;
  }
};

} // namespace

TEST_F(WindowsDoctor, ChecksWhatMattersOnWindowsInsteadOfStartUpFiles) {
  Scopes s{listing("user", {}), listing("system", {})};
  EXPECT_THAT(titles(doctor_checks(s, {})),
              ElementsAre("PATH entries that both the user and the system PATH hold",
                          "PATH entries whose expansion names no directory",
                          "PATH length as Windows builds it, expanded (limits 2047 and 8191 characters)",
                          "references to names neither scope defines",
                          "REG_SZ values holding '%' (Windows does not expand their references)",
                          "stores that agree with what sessions get"));
  s.user.platform = s.system.platform = "linux";
  EXPECT_THAT(titles(doctor_checks(s, {})),
              ::testing::Contains("shell start-up files that load the user export file"));
}

TEST_F(WindowsDoctor, EntriesAreCheckedAsExpanded) {
  std::filesystem::create_directories(root() + "/tools/bin");
  Scopes s{listing("user", {var("PATH", "%TOOLS%/bin;%TOOLS%/none;%KENV_NEVER_SET%/bin"),
                            var("TOOLS", root() + "/tools")}),
           listing("system", {var("PATH", root() + "/tools")})};
  Check c = check_expanded_entries(s);
  EXPECT_THAT(c.findings, ElementsAre("user #1  %TOOLS%/none (" + root() + "/tools/none) does not exist",
                                      "user #2  %KENV_NEVER_SET%/bin does not exist"));
}

TEST_F(WindowsDoctor, ReferencesResolveFromTheUserThenTheMachineThenTheProcess) {
  setenv("KENV_DOCTOR_FROM_PROCESS", "p", 1);
  Scopes s{listing("user", {var("A", "u")}), listing("system", {var("A", "s"), var("B", "s")})};
  EXPECT_EQ(expand_windows("%A%-%b%-%KENV_DOCTOR_FROM_PROCESS%-%none%-%%-50%", s), "u-s-p-%none%-%%-50%");
  unsetenv("KENV_DOCTOR_FROM_PROCESS");
}

TEST_F(WindowsDoctor, PathLengthIsBothPathsTogetherInUtf16) {
  struct {
    std::size_t system, user;
    const char *finding;
  } cases[] = {
      {1000, 1046, nullptr}, // 2047 with the ';'
      {1000, 1047, "2048 characters, beyond 2047, where older programs cut it"},
      {4000, 4191, "8192 characters, beyond 8191, where cmd.exe cuts it"},
  };
  for (const auto &k : cases) {
    Scopes s{listing("user", {var("PATH", std::string(k.user, 'u'))}),
             listing("system", {var("PATH", std::string(k.system, 's'))})};
    Check c = check_windows_path_length(s);
    if (!k.finding)
      EXPECT_THAT(c.findings, IsEmpty());
    else
      EXPECT_THAT(c.findings, ElementsAre(std::string("system PATH;user PATH: ") + k.finding));
  }
  // A character beyond U+FFFF is two UTF-16 units; one of the BMP is one, whatever its bytes.
  Scopes s{listing("user", {var("PATH", "\U0001F600\u65e5\u00e9")}), listing("system", {})};
  EXPECT_THAT(check_windows_path_length(s).notes, ::testing::Contains("user PATH: 4 characters"));
}

TEST_F(WindowsDoctor, FindsPlainStringValuesHoldingPercent) {
  Scopes s{
      listing("user", {var("Greeting", "%USERNAME% says hi"), var("Expanded", "%TEMP%"), var("Plain", "no")}),
      listing("system", {var("Rate", "50%")})};
  UnexpandedNames reg_sz{{"GREETING", "Plain"}, {"Rate"}};
  EXPECT_THAT(check_unexpanded_values(s, reg_sz).findings,
              ElementsAre("system Rate = 50%; `kenv set` writes it again as REG_EXPAND_SZ",
                          "user Greeting = %USERNAME% says hi; `kenv set` writes it again as REG_EXPAND_SZ"));
}

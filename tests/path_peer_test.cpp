// PATH edits seen by systemd's environment.d generator: the session keeps the PATH it
// inherited and gets exactly the library's entries after it.
#include "support/process.h"
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char generator[] = "/usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator";

class PathPeer : public Sandbox {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (!std::filesystem::exists(generator))
      GTEST_SKIP() << "systemd's environment.d generator is not installed";
  }
  // The PATH a new session would get, starting from `inherited`. The generator prints only
  // what it changed, quoting values that hold blanks.
  std::string session_path(const std::string &inherited) {
    std::string out = run("env -i HOME='" + home() + "' XDG_CONFIG_HOME='" + home() + "/.config' PATH='" +
                          inherited + "' " + generator);
    std::size_t pos = out.find("\nPATH=");
    if (out.rfind("PATH=", 0) == 0)
      pos = 0;
    else if (pos == std::string::npos)
      return inherited;
    else
      pos += 1;
    std::size_t end = out.find('\n', pos);
    std::string value = out.substr(pos + 5, end - pos - 5);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
};

} // namespace

TEST_F(PathPeer, EditsExtendTheInheritedPath) {
  ASSERT_EQ(env_path_add("user", "/opt/one/bin", 0), 1) << env_last_error();
  ASSERT_EQ(env_path_add("user", "/opt/two bin", -1), 1) << env_last_error();
  ASSERT_EQ(env_path_add("user", "/opt/zero", 0), 1) << env_last_error();
  ASSERT_EQ(env_path_move("user", "/opt/two bin", 0), 1) << env_last_error();
  ASSERT_EQ(env_path_del("user", "/opt/one/bin"), 1) << env_last_error();
  EXPECT_STREQ(env_last_error(), "");
  EXPECT_EQ(session_path("/usr/bin:/bin"), "/usr/bin:/bin:/opt/two bin:/opt/zero");
}

TEST_F(PathPeer, RemovingTheLastEntryLeavesTheInheritedPathAlone) {
  ASSERT_EQ(env_path_add("user", "/opt/only", 0), 1);
  ASSERT_EQ(env_path_del("user", "/opt/only"), 1);
  EXPECT_EQ(session_path("/usr/bin:/bin"), "/usr/bin:/bin");
}

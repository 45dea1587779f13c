// kenv env: what a new login session gets, with the file that set each variable.
#include "kenv_run.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace {

class KenvEnv : public KenvTest {};

TEST_F(KenvEnv, ShowsEachVariableWithTheFileThatSetItLast) {
  write(user_envd() + "/10-editor.conf", "EDITOR=nano\nPAGER=less\n");
  kenv_ok({"set", "EDITOR", "vim"});
  std::string out = kenv_ok({"env"});
  EXPECT_THAT(out, HasSubstr("EDITOR=vim\n      set by " + user_envd() + "/99-pellomar-user.conf\n"));
  EXPECT_THAT(out, HasSubstr("PAGER=less\n      set by " + user_envd() + "/10-editor.conf\n"));
}

// kenv's own JSON: the listing's session view with JSON booleans for its flags.
TEST_F(KenvEnv, JsonIsTheListingsSessionViewWithBooleans) {
  write(user_envd() + "/10-pager.conf", "PAGER=less\n");
  kenv_ok({"set", "EDITOR", "vim"});
  std::string json = kenv_ok({"env", "--json"});
  EXPECT_EQ(json,
            R"([{"name":"PAGER","value":"less","file":")" + user_envd() +
                R"(/10-pager.conf","shell":null,"differs":true},{"name":"EDITOR","value":"vim","file":")" +
                user_envd() + R"(/99-pellomar-user.conf","shell":"vim","differs":false}])" + "\n");
}

TEST_F(KenvEnv, TheSystemScopeLeavesOutTheUsersFiles) {
  write(user_envd() + "/10-editor.conf", "EDITOR=nano\n");
  write(system_envd() + "/10-pager.conf", "PAGER=less\n");
  std::string out = kenv_ok({"env", "--scope", "system"});
  EXPECT_THAT(out, HasSubstr("PAGER=less\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("EDITOR")));
}

} // namespace

// Every export through its ways of succeeding and failing, as a front end calls them, for a
// run under valgrind's memcheck (ctest's hardening_memcheck): no invalid access, no use of
// uninitialised bytes, no leak. Run alone it is a quick check that each call answers as
// expected.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Memcheck : public Sandbox {
protected:
  // Lists and releases; true when a text came back.
  static bool listed(char *text) {
    bool ok = text != nullptr;
    env_free_string(text);
    return ok;
  }
  void prepare() {
    write(home() + "/.profile", "export PATH=\"$HOME/bin:$PATH\"\n");
    write(user_envd() + "/10-other.conf", "OTHER=\"quoted value\"\nA=native\n");
    write(home() + "/backup.json", R"({"scope": "user", "vars": [{"name": "R", "value": "1"},
        {"name": "PATH", "value": "/r1:/r2"}]})");
    write(home() + "/system-backup.json", R"({"scope": "system", "vars": []})");
    write(home() + "/not-json.json", "{\"vars\": [");
  }
};

} // namespace

TEST_F(Memcheck, EveryExportSucceedsAndFailsCleanly) {
  prepare();
  EXPECT_STREQ(env_last_error(), "");
  EXPECT_TRUE(listed(env_list("user")));
  EXPECT_TRUE(listed(env_backups()));

  EXPECT_EQ(env_set("user", "A", "1"), 1);
  EXPECT_EQ(env_set("User", "B", "$A/x:%OTHER% it's"), 1);
  EXPECT_EQ(env_set("system", "S", "1"), 1);
  EXPECT_EQ(env_set("user", "EMPTY", ""), 1);
  EXPECT_EQ(env_set("user", "bad-name", "x"), 0);                          // environment.d refuses the name
  EXPECT_EQ(env_set("user", "CTRL", "a\nb"), 0);                           // and the control character
  EXPECT_EQ(env_set("user", "LONG", std::string(200000, 'v').c_str()), 0); // too long for the kernel
  EXPECT_EQ(env_set("user", "LONG", std::string(9000, 'v').c_str()), 1);
  EXPECT_EQ(env_set("nope", "A", "1"), 0);
  EXPECT_EQ(env_set("user", nullptr, "1"), 0);
  EXPECT_EQ(env_set("user", "A", nullptr), 0);
  EXPECT_EQ(env_set("user", "A=B", "1"), 0);

  EXPECT_EQ(env_path_add("user", "/p", 0), 1);
  EXPECT_EQ(env_path_add("user", "/q/", -1), 1);
  EXPECT_EQ(env_path_add("user", "/q", 0), 0); // duplicate
  EXPECT_EQ(env_path_add("system", "/s", 5), 1);
  EXPECT_EQ(env_path_move("user", "/q", 0), 1);
  EXPECT_EQ(env_path_move("user", "/none", 0), 0);
  EXPECT_EQ(env_path_move("user", "/p", -1), 0);
  EXPECT_EQ(env_path_del("user", "/p"), 1);
  EXPECT_EQ(env_path_del("user", "/p"), 0);
  EXPECT_EQ(env_path_add("user", "", 0), 0);
  EXPECT_EQ(env_path_add("user", nullptr, 0), 0);

  EXPECT_EQ(env_del("user", "B"), 1);
  EXPECT_EQ(env_del("user", "B"), 0);
  EXPECT_EQ(env_del("user", "PATH"), 0);
  EXPECT_EQ(env_del(nullptr, "A"), 0);

  EXPECT_TRUE(listed(env_list("user")));
  EXPECT_TRUE(listed(env_list("SYSTEM")));
  EXPECT_FALSE(listed(env_list("users")));
  EXPECT_TRUE(listed(env_backups()));

  EXPECT_EQ(env_restore((home() + "/backup.json").c_str()), 1);
  EXPECT_EQ(env_restore((home() + "/system-backup.json").c_str()), 1);
  EXPECT_EQ(env_restore((home() + "/not-json.json").c_str()), 0);
  EXPECT_EQ(env_restore((home() + "/missing.json").c_str()), 0);
  EXPECT_EQ(env_restore(""), 0);
  EXPECT_EQ(env_restore(nullptr), 0);

  // A store that does not read as one stops changes; a restore keeps it aside.
  write(data_dir() + "/user-env.json", "garbage");
  EXPECT_EQ(env_set("user", "AFTER", "garbage"), 0);
  EXPECT_EQ(env_restore((home() + "/backup.json").c_str()), 1);
  EXPECT_TRUE(listed(env_list("user")));
  env_free_string(nullptr);
  EXPECT_NE(env_last_error(), nullptr);
}

// The shared library exports the ten functions and nothing else.
#include "support/process.h"
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

TEST(Exports, DynamicSymbolTableHoldsExactlyTheTenFunctions) {
  std::string out = run(std::string("nm -D --defined-only ") + KENV_LIBRARY_FILE);
  std::set<std::string> names;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string addr, type, name;
    fields >> addr >> type >> name;
    if (!name.empty())
      names.insert(name + ":" + type);
  }
  std::set<std::string> expected;
  for (const char *f : {"env_list", "env_set", "env_del", "env_path_add", "env_path_del", "env_path_move",
                        "env_backups", "env_restore", "env_last_error", "env_free_string"})
    expected.insert(std::string(f) + ":T");
  EXPECT_EQ(names, expected) << out;
}

TEST_F(Sandbox, LastErrorIsNeverNullAndFreeAcceptsNull) {
  EXPECT_STREQ(env_last_error(), "");
  env_free_string(nullptr);
  EXPECT_EQ(env_set("nope", "A", "1"), 0);
  EXPECT_STREQ(env_last_error(), "scope must be 'user' or 'system'");
}

TEST_F(Sandbox, EveryScopedExportRejectsABadScope) {
  for (const char *scope : {(const char *)nullptr, "", "users", "machine", " user"}) {
    EXPECT_EQ(env_list(scope), nullptr);
    EXPECT_EQ(env_set(scope, "A", "1"), 0);
    EXPECT_EQ(env_del(scope, "A"), 0);
    EXPECT_EQ(env_path_add(scope, "/a", 0), 0);
    EXPECT_EQ(env_path_del(scope, "/a"), 0);
    EXPECT_EQ(env_path_move(scope, "/a", 0), 0);
    EXPECT_STREQ(env_last_error(), "scope must be 'user' or 'system'");
  }
}

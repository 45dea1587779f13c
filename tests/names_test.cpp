// Name comparison, name and scope rules, and the variable list.
#include "core/frame.h"
#include "core/names.h"
#include "kestrune_env.h"

#include <gtest/gtest.h>

TEST(NameCompare, FoldsAsciiLettersOnly) {
  EXPECT_EQ(env_name_casecmp("path", "PATH"), 0);
  EXPECT_EQ(env_name_casecmp("Windir", "WINDIR"), 0);
  EXPECT_LT(env_name_casecmp("PATH", "PATHX"), 0);
  EXPECT_GT(env_name_casecmp("PATHX", "PATH"), 0);
  EXPECT_NE(env_name_casecmp("\xC3\x89", "\xC3\xA9"), 0);
  EXPECT_NE(env_name_casecmp("\xC9", "\xE9"), 0);
}

TEST(NameCompare, NullSortsFirst) {
  EXPECT_EQ(env_name_casecmp(nullptr, nullptr), 0);
  EXPECT_EQ(env_name_casecmp(nullptr, "a"), -1);
  EXPECT_EQ(env_name_casecmp("a", nullptr), 1);
}

TEST(VariableList, FindReturnsTheFirstMatchAndNullCopiesAsEmpty) {
  env_kv_list list;
  env_kv_push(list, "Path", nullptr, "overlay");
  env_kv_push(list, "PATH", "b", "overlay");
  // On Linux names are bytes: "path" and "Path" are two names, as systemd has them.
  EXPECT_EQ(env_kv_find(list, "path"), nullptr);
  const env_kv *kv = env_kv_find(list, "Path");
  ASSERT_NE(kv, nullptr);
  EXPECT_EQ(kv->value, "");
  EXPECT_EQ(env_kv_find(list, "PATH")->value, "b");
  EXPECT_EQ(env_kv_find(list, nullptr), nullptr);
  EXPECT_EQ(env_kv_find(env_kv_list{}, "x"), nullptr);
}

TEST(NameRules, ReportTheFirstFailingRuleOverTheWholeName) {
  struct Case {
    const char *name;
    const char *message;
  } cases[] = {
      {nullptr, "empty or NULL variable name"},
      {"", "empty or NULL variable name"},
      {"X;Y=Z", "illegal character '=' in variable name"},
      {"A;B\t", "illegal character ';' in variable name"},
      {"A\tB", "control character in variable name"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(env_validate_name(c.name), -1);
    EXPECT_STREQ(env_last_error(), c.message);
  }
  for (const char *ok : {"A B", "A%B", "\x7F", "1abc", "\xC3\xA9t\xC3\xA9"})
    EXPECT_EQ(env_validate_name(ok), 0) << ok;
}

TEST(NameRules, ScopesAndProtectedNames) {
  env_scope s = env_scope::user;
  EXPECT_TRUE(env_scope_arg("System", s));
  EXPECT_EQ(s, env_scope::system);
  EXPECT_TRUE(env_scope_arg("USER", s));
  EXPECT_EQ(s, env_scope::user);
  for (const char *bad : {"", " user", "users"})
    EXPECT_FALSE(env_scope_arg(bad, s)) << bad;
  EXPECT_FALSE(env_scope_arg(nullptr, s));
  for (const char *p : {"PATH", "SystemRoot", "WINDIR", "TEMP", "TMP"})
    EXPECT_EQ(env_name_is_protected(p), 1) << p;
  for (const char *p : {"TEMPDIR", "PATHEXT", "path", "Temp"})
    EXPECT_EQ(env_name_is_protected(p), 0) << p;
  EXPECT_EQ(env_name_is_protected(nullptr), 0);
  EXPECT_EQ(env_name_is_path("PATH"), 1);
  EXPECT_EQ(env_name_is_path("Path"), 0);
  EXPECT_EQ(env_name_is_path("PATHX"), 0);
}

TEST(LastError, CutsLongMessagesAt511Bytes) {
  std::string long_text(2000, 'x');
  env_set_error("%s", long_text.c_str());
  EXPECT_EQ(std::string(env_last_error()), long_text.substr(0, 511));
  env_clear_error();
  EXPECT_STREQ(env_last_error(), "");
}

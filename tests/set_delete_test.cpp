// env_set and env_del through the shared library: the whole write chain, its files byte for
// byte, and what each failing step leaves behind.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

class SetDelete : public Sandbox {
protected:
  std::string store(const char *scope = "user") { return read(store_path(scope)); }
  std::string exported(const char *scope = "user") { return read(export_path(scope)); }
  // The backups of both scopes.
  std::vector<std::string> backups() {
    std::vector<std::string> names;
    for (const std::string &dir : {data_dir() + "/backups", system_data_dir() + "/backups"})
      if (fs::is_directory(dir))
        for (auto &e : fs::directory_iterator(dir))
          names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

} // namespace

TEST_F(SetDelete, FirstSetWritesStoreBackupAndExportFile) {
  ASSERT_EQ(env_set("user", "TEMP", ""), 1) << env_last_error();
  EXPECT_EQ(store(), "{\n    \"vars\": [\n        {\n            \"name\": \"TEMP\",\n"
                     "            \"value\": \"\"\n        }\n    ]\n}");
  std::vector<std::string> names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\d{8}-\d{6}-00000001\.json)"))) << names[0];
  std::string backup = read(data_dir() + "/backups/" + names[0]);
  EXPECT_TRUE(
      std::regex_match(backup, std::regex("\\{\n    \"ts\": \"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\",\n"
                                          "    \"scope\": \"user\",\n    \"platform\": \"linux\",\n"
                                          "    \"vars\": \\[\\]\n\\}")))
      << backup;
  EXPECT_EQ(backup.substr(13, 4) + backup.substr(18, 2) + backup.substr(21, 2), names[0].substr(0, 8));
  std::string text = exported();
  std::string path = data_dir() + "/exports/user-env.sh";
  EXPECT_EQ(text.substr(0, text.find("# Generated: ")),
            "# kestrune-envvar-editor \xE2\x80\x94 sourceable export block\n"
            "# Linux write policy: this library NEVER rewrites ~/.bashrc,\n"
            "# ~/.profile, or /etc/environment. Source this file instead:\n"
            "#   . \"" +
                path + "\"\n");
  EXPECT_TRUE(std::regex_search(
      text, std::regex("# Generated: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ  scope=user\n"
                       "# Process PATH is not modified by the library.\n\n# not exported \\(empty, as "
                       "environment.d drops it\\): TEMP\n$")))
      << text;
}

// Names are bytes on Linux: B and b are two variables, and path is not PATH.
TEST_F(SetDelete, SetKeepsThePlaceAndNamesDifferingInCaseAreTwo) {
  ASSERT_EQ(env_set("User", "PATH", "/a"), 1);
  ASSERT_EQ(env_set("USER", "B", "2"), 1);
  ASSERT_EQ(env_set("user", "b", "3"), 1);
  ASSERT_EQ(env_set("user", "PATH", "/c"), 1);
  std::string s = store();
  EXPECT_LT(s.find("\"PATH\""), s.find("\"B\""));
  EXPECT_NE(s.find("\"value\": \"/c\""), std::string::npos);
  EXPECT_NE(s.find("\"name\": \"b\",\n            \"value\": \"3\""), std::string::npos);
  EXPECT_NE(s.find("\"name\": \"B\",\n            \"value\": \"2\""), std::string::npos);
  EXPECT_NE(read(user_envd() + "/99-pellomar-user.conf").find("B=2\nb=3\n"), std::string::npos);
  std::vector<std::string> names = backups();
  ASSERT_EQ(names.size(), 4u);
  // Within one second the counter counts up from the highest taken; a new second starts at 1.
  auto seq = [](const std::string &name) { return std::stoul(name.substr(16, 8)); };
  for (std::size_t i = 1; i < names.size(); ++i)
    if (names[i].substr(0, 15) == names[i - 1].substr(0, 15))
      EXPECT_EQ(seq(names[i]), seq(names[i - 1]) + 1) << names[i];
    else
      EXPECT_EQ(seq(names[i]), 1u) << names[i];
}

TEST_F(SetDelete, RejectedArgumentsWriteNothing) {
  EXPECT_EQ(env_set("users", "A", "x"), 0);
  EXPECT_STREQ(env_last_error(), "scope must be 'user' or 'system'");
  EXPECT_EQ(env_set(nullptr, "A", "x"), 0);
  EXPECT_EQ(env_set(" user", "A", "x"), 0);
  EXPECT_EQ(env_set("user", "A", nullptr), 0);
  EXPECT_STREQ(env_last_error(), "NULL value");
  EXPECT_EQ(env_set("user", "A=B", "x"), 0);
  EXPECT_STREQ(env_last_error(), "illegal character '=' in variable name");
  for (const char *name : {"PATH", "TEMP", "SystemRoot"}) {
    EXPECT_EQ(env_del("user", name), 0);
    EXPECT_EQ(
        std::string(env_last_error()),
        std::string("refused: '") + name +
            "' is a protected name (PATH/SystemRoot/WINDIR/TEMP/TMP) \xE2\x80\x94 deleting bricks shells");
  }
  EXPECT_FALSE(fs::exists(data_dir()));
}

TEST_F(SetDelete, DeleteRemovesEveryMatchingRecord) {
  write(
      data_dir() + "/user-env.json",
      R"({"vars":[{"name":"FOO","value":"1"},{"name":"keep","value":"k"},{"name":"FOO","value":"2"},{"name":"foo","value":"3"}]})");
  ASSERT_EQ(env_del("user", "FOO"), 1) << env_last_error();
  ASSERT_EQ(env_del("user", "foo"), 1) << env_last_error();
  EXPECT_EQ(store(), "{\n    \"vars\": [\n        {\n            \"name\": \"keep\",\n"
                     "            \"value\": \"k\"\n        }\n    ]\n}");
  ASSERT_EQ(env_del("user", "keep"), 1);
  EXPECT_EQ(store(), "{\n    \"vars\": []\n}");
}

TEST_F(SetDelete, DeleteOfAnUnknownNameFailsAfterItsBackup) {
  ASSERT_EQ(env_set("system", "A", "1"), 1);
  EXPECT_EQ(env_del("user", "A"), 0);
  EXPECT_STREQ(env_last_error(), "variable 'A' not found in user store");
  EXPECT_EQ(backups().size(), 2u);
  EXPECT_EQ(env_del("System", "b"), 0);
  EXPECT_STREQ(env_last_error(), "variable 'b' not found in system store");
}

TEST_F(SetDelete, NativeOnlyVariablesAreNotFoundByDelete) {
  write(user_envd() + "/50-other.conf", "NATIVE=yes\n");
  EXPECT_EQ(env_del("user", "NATIVE"), 0);
  EXPECT_STREQ(env_last_error(), "variable 'NATIVE' not found in user store");
  EXPECT_EQ(read(user_envd() + "/50-other.conf"), "NATIVE=yes\n");
}

// A change whose environment.d write fails is not half kept: the store and the export file
// are as they were, and only the backup it took stays.
TEST_F(SetDelete, FailedSystemWriteOrDeleteLeavesStoreAndExportAsTheyWere) {
  ASSERT_EQ(env_set("system", "A", "old"), 1);
  ASSERT_EQ(env_set("system", "B", "2"), 1);
  std::string store_before = store("system"), export_before = exported("system");
  // A directory where the file belongs makes the replacing rename fail, also for root.
  std::string conf = system_envd() + "/99-pellomar-system.conf";
  fs::remove(conf);
  fs::create_directories(conf + "/x");
  for (int set = 1; set >= 0; --set) {
    EXPECT_EQ(set ? env_set("system", "A", "new") : env_del("system", "A"), 0);
    EXPECT_EQ(std::string(env_last_error()),
              "cannot write environment file " + conf + " (21) \xE2\x80\x94 root required for system scope");
    EXPECT_EQ(store("system"), store_before);
    EXPECT_EQ(exported("system"), export_before);
  }
  EXPECT_EQ(backups().size(), 4u);
}

// What environment.d cannot hold is refused before anything is written, not even a backup.
TEST_F(SetDelete, RefusedPairsWriteNothing) {
  const std::pair<const char *, std::string> refused[] = {
      {"1X", "v"},
      {"NL", "a\nb"},
      {"BAD", "\xFF"},
      {"HUGE", std::string(128 * 1024, 'x')},
  };
  for (const auto &[name, value] : refused) {
    EXPECT_EQ(env_set("user", name, value.c_str()), 0) << name;
    EXPECT_NE(
        std::string(env_last_error()).find("cannot write '" + std::string(name) + "' to environment.d: "),
        std::string::npos)
        << env_last_error();
  }
  EXPECT_FALSE(fs::exists(data_dir()));
  // One byte less, and the kernel takes NAME=value.
  EXPECT_EQ(env_set("user", "HUGE", std::string(128 * 1024 - 7, 'x').c_str()), 1) << env_last_error();
}

TEST_F(SetDelete, RecreatesDeletedDirectories) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  fs::remove_all(data_dir());
  ASSERT_EQ(env_set("user", "B", "2"), 1);
  EXPECT_TRUE(fs::is_directory(data_dir() + "/backups"));
  EXPECT_TRUE(fs::is_regular_file(data_dir() + "/exports/user-env.sh"));
  EXPECT_EQ((fs::status(data_dir()).permissions() & fs::perms::all), fs::perms::owner_all);
  EXPECT_EQ((fs::status(data_dir() + "/user-env.json").permissions() & fs::perms::all),
            fs::perms::owner_read | fs::perms::owner_write);
}

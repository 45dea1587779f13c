// env_backups and env_restore through the shared library.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

class Restore : public Sandbox {
protected:
  std::string backups_json() {
    char *p = env_backups();
    EXPECT_NE(p, nullptr) << env_last_error();
    std::string out = p ? p : "";
    env_free_string(p);
    return out;
  }
  std::vector<std::string> backup_paths(const std::string &scope = "user") {
    std::vector<std::string> out;
    for (auto &e : fs::directory_iterator(scope_dir(scope) + "/backups"))
      out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  int restore_text(const std::string &text) {
    std::string path = home() + "/b.json";
    write(path, text);
    return env_restore(path.c_str());
  }
  std::string store() { return read(data_dir() + "/user-env.json"); }
  std::string envd() { return read(user_envd() + "/99-pellomar-user.conf"); }
  std::string exported_vars() {
    std::string t = read(data_dir() + "/exports/user-env.sh");
    return t.substr(t.find("\n\n") + 2);
  }
};

} // namespace

TEST_F(Restore, BackupsListsNewestFirst) {
  EXPECT_EQ(backups_json(), "[]");
  // Listing leaves no trace.
  EXPECT_FALSE(fs::exists(data_dir()));
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  ASSERT_EQ(env_set("system", "B", "2"), 1);
  write(data_dir() + "/backups/20000101-000000-00000009.json", "not json");
  write(data_dir() + "/backups/notes.txt", "ignored");
  // The system scope's backup is the newer one, or taken in the same second.
  std::vector<std::string> paths = backup_paths(), system = backup_paths("system");
  ASSERT_EQ(system.size(), 1u);
  std::string first = fs::path(paths[1]).filename().string(),
              second = fs::path(system[0]).filename().string();
  std::string json = backups_json();
  std::regex expected("\\[\\{\"file\":\"" + second + "\",\"path\":\"" + system[0] +
                      "\",\"ts\":\"[0-9T:Z-]{20}\",\"scope\":\"system\",\"vars\":0\\},"
                      "\\{\"file\":\"" +
                      first + "\",\"path\":\"" + paths[1] +
                      "\",\"ts\":\"[0-9T:Z-]{20}\",\"scope\":\"user\",\"vars\":0\\},"
                      "\\{\"file\":\"20000101-000000-00000009.json\",\"path\":\"" +
                      paths[0] + "\",\"ts\":null,\"scope\":null,\"vars\":0\\}\\]");
  EXPECT_TRUE(std::regex_match(json, expected)) << json;
}

TEST_F(Restore, RoundTripBringsStoreEnvironmentDAndExportBack) {
  ASSERT_EQ(env_set("user", "A", "one"), 1);
  std::string store1 = store(), envd1 = envd(), export1 = exported_vars();
  ASSERT_EQ(env_set("user", "A", "two"), 1);
  ASSERT_EQ(env_set("user", "B", "new"), 1);
  // The second backup holds the store after the first set.
  std::string second = backup_paths()[1];
  ASSERT_EQ(env_restore(second.c_str()), 1) << env_last_error();
  EXPECT_EQ(store(), store1);
  EXPECT_EQ(exported_vars(), export1);
  // B, which the backup lacks, leaves environment.d too, and can be set and removed again.
  EXPECT_EQ(envd(), envd1);
  EXPECT_EQ(backup_paths().size(), 4u);
  EXPECT_EQ(env_del("user", "B"), 0);
  EXPECT_STREQ(env_last_error(), "variable 'B' not found in user store");
}

TEST_F(Restore, ChecksRunInOrderAndChangeNothing) {
  EXPECT_EQ(env_restore(nullptr), 0);
  EXPECT_STREQ(env_last_error(), "NULL or empty backup_path");
  EXPECT_EQ(env_restore(""), 0);
  EXPECT_STREQ(env_last_error(), "NULL or empty backup_path");
  EXPECT_EQ(env_restore("/nonexistent/x.json"), 0);
  EXPECT_STREQ(env_last_error(), "cannot read backup: /nonexistent/x.json");
  struct Case {
    const char *text;
    const char *message;
  } cases[] = {
      {"", "invalid backup JSON"},
      {"{\"vars\": [],}", "invalid backup JSON"},
      {"\xEF\xBB\xBF{\"vars\": []}", "invalid backup JSON"},
      {"[]", "backup missing vars array"},
      {"{}", "backup missing vars array"},
      {"{\"scope\": \"user\"}", "backup missing vars array"},
      {"{\"vars\": {}}", "backup missing vars array"},
      {"{\"scope\": \"System\"}", "backup missing vars array"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(restore_text(c.text), 0) << c.text;
    EXPECT_STREQ(env_last_error(), c.message) << c.text;
  }
  EXPECT_FALSE(fs::exists(data_dir() + "/backups"));
}

// A system-scope document goes to the system scope, through the same change as any other
// system change; the user scope is not touched.
TEST_F(Restore, SystemScopeDocumentsRestoreTheSystemScope) {
  ASSERT_EQ(env_set("system", "OLD", "x"), 1);
  ASSERT_EQ(restore_text(R"({"scope": "SYSTEM", "vars": [{"name": "S", "value": "1"}]})"), 1)
      << env_last_error();
  EXPECT_EQ(read(store_path("system")),
            "{\n    \"vars\": [\n        {\n            \"name\": \"S\",\n            \"value\": \"1\"\n"
            "        }\n    ]\n}");
  EXPECT_EQ(backup_paths("system").size(), 2u);
  EXPECT_FALSE(fs::exists(store_path("user")));
}

// A document composed from the store carries the store it read ("based_on"): a change that
// landed in between makes the restore refuse, and that change survives.
TEST_F(Restore, ADocumentComposedFromAnOlderStoreIsRefused) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  const std::string composed =
      R"({"vars": [{"name": "A", "value": "2"}], "based_on": [{"name": "A", "value": "1"}]})";
  ASSERT_EQ(env_set("user", "B", "landed"), 1);
  std::size_t backups = backup_paths().size();
  std::string before = store();
  EXPECT_EQ(restore_text(composed), 0);
  EXPECT_STREQ(env_last_error(), "the user scope changed while applying; nothing was changed; run it again");
  EXPECT_EQ(store(), before);
  EXPECT_EQ(backup_paths().size(), backups);
  ASSERT_EQ(restore_text(R"({"vars": [{"name": "B", "value": "landed"}, {"name": "A", "value": "2"}],
      "based_on": [{"name": "B", "value": "landed"}, {"name": "A", "value": "1"}]})"),
            1)
      << env_last_error();
}

TEST_F(Restore, TakesStringElementsAndAcceptsStoreFiles) {
  ASSERT_EQ(env_set("user", "OLD", "x"), 1);
  ASSERT_EQ(restore_text(R"({"scope": 5, "vars": [{"name": "A", "value": "1"}, {"name": "B"},
      {"name": "C", "value": 3}, {"name": null, "value": "x"}, {"name": 1, "name": "D", "value": "d"},
      {"name": "E", "value": "e", "more": 1}]})"),
            1)
      << env_last_error();
  EXPECT_EQ(store(),
            "{\n    \"vars\": [\n        {\n            \"name\": \"A\",\n            \"value\": \"1\"\n"
            "        },\n        {\n            \"name\": \"E\",\n            \"value\": \"e\"\n        }\n  "
            "  ]\n}");
  ASSERT_EQ(restore_text(R"({"vars": []})"), 1);
  EXPECT_EQ(store(), "{\n    \"vars\": []\n}");
  ASSERT_EQ(restore_text(R"({"scope": "whatever", "vars": [{"name": "Z", "value": "z"}]})"), 1);
}

// A backup holding a pair the native store cannot take is refused whole, naming the first
// such variable; nothing is written, not even a backup.
TEST_F(Restore, ABackupWithAPairTheNativeStoreRefusesChangesNothing) {
  ASSERT_EQ(env_set("user", "KEEP", "me"), 1);
  std::string before = store();
  std::size_t backups = backup_paths().size();
  ASSERT_EQ(
      restore_text("{\"vars\": [{\"name\": \"OK\", \"value\": \"fine\"},"
                   "{\"name\": \"BIN\", \"value\": \"\xFF\xFE\"}, {\"name\": \"1X\", \"value\": \"\"}]}"),
      0);
  EXPECT_STREQ(env_last_error(), "cannot write 'BIN' to environment.d: not valid UTF-8");
  EXPECT_EQ(store(), before);
  EXPECT_EQ(backup_paths().size(), backups);
}

// A NUL cut names and values where they became C strings ("PATH\u0000x" made a second PATH
// record), and a name given twice left two records of one variable.
TEST_F(Restore, ANulOrANameGivenTwiceRefusesTheDocumentAndWritesNothing) {
  ASSERT_EQ(env_set("user", "KEEP", "me"), 1);
  std::string before = store();
  std::size_t backups = backup_paths().size();
  struct Case {
    const char *text;
    const char *message;
  } cases[] = {
      {R"({"vars": [{"name": "A", "value": "1"}, {"name": "PATH\u0000x", "value": "/x"}]})",
       "refused: \"vars\" element 1 holds a NUL character"},
      {R"({"vars": [{"name": "A", "value": "a\u0000b"}]})",
       "refused: \"vars\" element 0 holds a NUL character"},
      {R"({"scope": "user\u0000x", "vars": []})", "refused: the backup's scope holds a NUL character"},
      {R"({"vars": [{"name": "A", "value": "1"}, {"name": "B", "value": "2"}, {"name": "A", "value": "3"}]})",
       "refused: 'A' is given twice"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(restore_text(c.text), 0) << c.text;
    EXPECT_STREQ(env_last_error(), c.message) << c.text;
  }
  EXPECT_EQ(store(), before);
  EXPECT_EQ(backup_paths().size(), backups);
}

TEST_F(Restore, RelativePathsResolveAgainstTheWorkingDirectory) {
  write(home() + "/rel.json", R"({"vars": [{"name": "R", "value": "r"}]})");
  std::string cwd = fs::current_path();
  fs::current_path(home());
  EXPECT_EQ(env_restore("rel.json"), 1) << env_last_error();
  fs::current_path(cwd);
}

// The library's own files when something else stands in their place: FIFOs and other
// non-files, symbolic links, stale temporary files, directories others may write, and store
// documents written by hand. Every call must answer (an alarm ends a test that blocks).
#include "support/sandbox.h"

#include "kestrune_env.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class OwnFiles : public Sandbox {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    alarm(30); // a call that blocks on a FIFO ends the test process: the test fails
  }
  void TearDown() override {
    alarm(0);
    Sandbox::TearDown();
  }
  std::string listing(const char *scope = "user") {
    char *text = env_list(scope);
    std::string out = text ? text : "";
    env_free_string(text);
    return out;
  }
  std::string backups_json() {
    char *text = env_backups();
    std::string out = text ? text : "";
    env_free_string(text);
    return out;
  }
  std::string store_file(const char *scope = "user") const { return store_path(scope); }
  std::string export_file(const char *scope = "user") const { return export_path(scope); }
  std::string own_envd(const char *scope = "user") const {
    return (std::string(scope) == "user" ? user_envd() : system_envd()) + "/99-pellomar-" + scope + ".conf";
  }
  // The backups of both scopes.
  std::vector<std::string> backup_files() const {
    std::vector<std::string> out;
    for (const std::string &dir : {data_dir() + "/backups", system_data_dir() + "/backups"})
      if (fs::is_directory(dir))
        for (auto &e : fs::directory_iterator(dir))
          if (e.path().extension() == ".json")
            out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  static void fifo_at(const std::string &path) {
    fs::remove(path);
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
  }
  static bool is_fifo(const std::string &path) { return fs::is_fifo(fs::symlink_status(path)); }
  static bool is_link(const std::string &path) { return fs::is_symlink(fs::symlink_status(path)); }
};

} // namespace

// A FIFO (or anything else that is not a regular file) where the store, the export file or
// the own environment.d file belongs refuses every change with a message, writes nothing and
// blocks nothing; the listing still answers.
TEST_F(OwnFiles, FifosInPlaceOfOwnFilesAreRefusedWithoutBlocking) {
  const std::pair<const char *, const char *> cases[] = {
      {"store", "user"},    {"store", "system"}, {"export", "user"},
      {"export", "system"}, {"envd", "user"},    {"envd", "system"},
  };
  for (const auto &[what, scope] : cases) {
    SCOPED_TRACE(std::string(what) + " " + scope);
    fs::remove_all(scope_dir(scope));
    ASSERT_EQ(env_set(scope, "A", "1"), 1) << env_last_error();
    std::string path = std::string(what) == "store"    ? store_file(scope)
                       : std::string(what) == "export" ? export_file(scope)
                                                       : own_envd(scope);
    std::size_t backups = backup_files().size();
    fifo_at(path);
    EXPECT_EQ(env_set(scope, "B", "2"), 0);
    EXPECT_THAT(env_last_error(), HasSubstr("not a regular file"));
    EXPECT_THAT(env_last_error(), HasSubstr(path));
    EXPECT_EQ(env_del(scope, "A"), 0);
    EXPECT_EQ(env_path_add(scope, "/opt/x", 0), 0);
    EXPECT_TRUE(is_fifo(path));
    EXPECT_EQ(backup_files().size(), backups);
    EXPECT_NE(listing(scope), "");
    fs::remove(path);
  }
}

TEST_F(OwnFiles, AFifoNamedLikeABackupIsNeverRead) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  std::string fifo = data_dir() + "/backups/20000101-000000-00000001.json";
  fifo_at(fifo);
  EXPECT_EQ(env_restore(fifo.c_str()), 0);
  EXPECT_EQ(std::string(env_last_error()), "cannot read backup: " + fifo + " (not a regular file)");
  EXPECT_THAT(backups_json(), Not(HasSubstr("20000101-000000-00000001.json")));
  EXPECT_EQ(env_set("user", "A", "2"), 1) << env_last_error();
}

// As root in the system scope, a link in place of the own environment.d file once turned a
// private file into one every session reads. In the system scope no own file is read or
// written through a link.
TEST_F(OwnFiles, SystemScopeRefusesLinksInPlaceOfItsFiles) {
  std::string secret = root() + "/secret";
  write(secret, "TOKEN=hunter2\n");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  for (const std::string &link : {own_envd("system"), store_file("system"), export_file("system")}) {
    SCOPED_TRACE(link);
    fs::remove_all(system_data_dir());
    fs::remove_all(system_envd());
    ASSERT_EQ(env_set("system", "A", "1"), 1) << env_last_error();
    fs::remove(link);
    fs::create_symlink(secret, link);
    EXPECT_EQ(env_set("system", "B", "2"), 0);
    EXPECT_THAT(env_last_error(), HasSubstr("symbolic link"));
    EXPECT_THAT(env_last_error(), HasSubstr(link));
    EXPECT_EQ(read(secret), "TOKEN=hunter2\n");
    EXPECT_EQ(fs::status(secret).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(is_link(link));
    EXPECT_THAT(listing("system"), Not(HasSubstr("hunter2")));
  }
}

// Dotfile managers link such files, and systemd follows the link: in the user scope the
// link stays and its target takes the new content, replaced atomically beside it.
TEST_F(OwnFiles, UserScopeKeepsLinksAndReplacesTheirTargets) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  for (const std::string &link : {own_envd(), store_file(), export_file()}) {
    SCOPED_TRACE(link);
    std::string target = root() + "/dotfiles/" + fs::path(link).filename().string();
    fs::create_directories(root() + "/dotfiles");
    fs::rename(link, target);
    fs::create_symlink(fs::relative(target, fs::path(link).parent_path()), link);
    ASSERT_TRUE(fs::exists(link)) << "the relative link must lead to the target";
    std::string value = "v-" + fs::path(link).filename().string();
    ASSERT_EQ(env_set("user", "B", value.c_str()), 1) << env_last_error();
    EXPECT_TRUE(is_link(link));
    EXPECT_THAT(read(target), HasSubstr(value));
    EXPECT_THAT(listing(), HasSubstr(value));
    ASSERT_EQ(env_del("user", "B"), 1) << env_last_error();
    EXPECT_THAT(read(target), Not(HasSubstr(value)));
    EXPECT_TRUE(is_link(link));
    for (auto &e : fs::directory_iterator(root() + "/dotfiles"))
      EXPECT_THAT(e.path().filename().string(), Not(HasSubstr(".tmp-")));
  }
}

// A newline in the data directory's path once ended the banner's comment, and sourcing the
// export file ran the rest of the line.
TEST_F(OwnFiles, TheBannerEscapesControlCharactersOfThePathsItQuotes) {
  std::string marker = root() + "/ran";
  std::string home = root() + "/nl\ntouch " + marker + "\n#\r\x1b";
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_DATA_HOME");
  ASSERT_EQ(env_set("user", "A", "1"), 1) << env_last_error();
  std::string exported = home + "/.local/share/pellomar/exports/user-env.sh";
  std::string text = read(exported);
  EXPECT_THAT(text, HasSubstr("/nl\\x0Atouch "));
  EXPECT_THAT(text, HasSubstr("\\x0A#\\x0D\\x1B/.local/share/pellomar/exports/user-env.sh"));
  for (const char *shell : {"sh", "bash"}) {
    int status = -1;
    std::string out =
        run(std::string(shell) + " -c '. \"$0\"; printf %s \"$A\"' '" + exported + "'", &status);
    EXPECT_EQ(status, 0) << shell;
    EXPECT_EQ(out, "1") << shell;
  }
  EXPECT_FALSE(fs::exists(marker));
}

// A change killed while it wrote leaves its temporary files; the next change of the scope
// removes them, and nothing else.
TEST_F(OwnFiles, TheNextChangeRemovesStaleTemporaryFilesOnly) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  const std::vector<std::string> stale = {
      store_file() + ".tmp-999999-1",           store_file() + ".unreadable-20240101-000000.tmp-999999-2",
      data_dir() + "/user-backup.tmp-999999-3", data_dir() + "/.backup-index.tmp-999999-8",
      export_file() + ".tmp-999999-4",          own_envd() + ".tmp-999999-5",
  };
  const std::vector<std::string> kept = {
      data_dir() + "/notes.tmp-1-2",
      store_file() + ".tmp-12-x",
      store_file() + "x.tmp-1-2",
      user_envd() + "/50-foreign.conf.tmp-1-2",
      data_dir() + "/exports/other.sh.tmp-1-2",
      system_data_dir() + "/system-env.json.tmp-999999-6",
      system_envd() + "/99-pellomar-system.conf.tmp-999999-7",
      system_export() + ".tmp-999999-9",
  };
  for (const std::string &p : stale)
    write(p, "half");
  for (const std::string &p : kept)
    write(p, "theirs");
  EXPECT_EQ(env_set("user", "A", "1x"), 1) << env_last_error();
  for (const std::string &p : stale)
    EXPECT_FALSE(fs::exists(p)) << p;
  for (const std::string &p : kept)
    EXPECT_EQ(read(p), "theirs") << p;
}

// Any local user could plant files in a directory that others may write.
TEST_F(OwnFiles, TheListingWarnsAboutDirectoriesOthersMayWrite) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  ASSERT_EQ(env_set("system", "A", "1"), 1);
  const std::string profile_d = fs::path(system_export()).parent_path().string();
  const std::vector<std::tuple<const char *, std::string, fs::perms>> dirs = {
      {"user", data_dir(), fs::perms::owner_all | fs::perms::group_all},
      {"user", data_dir() + "/backups", fs::perms::all},
      {"user", data_dir() + "/exports",
       fs::perms::owner_all | fs::perms::group_write | fs::perms::group_exec},
      {"user", user_envd(), fs::perms::owner_all | fs::perms::others_all},
      {"system", system_data_dir(), fs::perms::all},
      {"system", system_data_dir() + "/backups", fs::perms::owner_all | fs::perms::group_all},
      {"system", profile_d, fs::perms::owner_all | fs::perms::others_all},
  };
  for (const char *scope : {"user", "system"})
    EXPECT_THAT(listing(scope), Not(HasSubstr("\"code\":\"writable\""))) << scope;
  for (const auto &[scope, dir, perms] : dirs)
    fs::permissions(dir, perms);
  for (const auto &[scope, dir, perms] : dirs)
    EXPECT_THAT(listing(scope), HasSubstr("{\"code\":\"writable\",\"name\":\"" + dir + "\",\"message\":\""))
        << dir;
}

TEST_F(OwnFiles, AStoreWithAByteOrderMarkIsAccepted) {
  write(store_file(), "\xEF\xBB\xBF{\"vars\":[{\"name\":\"A\",\"value\":\"1\"}]}");
  EXPECT_THAT(listing(), HasSubstr("{\"name\":\"A\",\"value\":\"1\""));
  EXPECT_THAT(listing(), Not(HasSubstr("\"code\":\"store\"")));
  ASSERT_EQ(env_set("user", "B", "2"), 1) << env_last_error();
  EXPECT_THAT(read(store_file()), HasSubstr("\"name\": \"A\""));
}

TEST_F(OwnFiles, StoreRecordsThatAreDroppedAreReported) {
  write(store_file(), R"({"vars":[{"name":"A","value":"1"},{"name":"N","value":5},)"
                      R"({"name":"Z","value":null},{"value":"x"},"text",{"name":"B","value":"2"}]})");
  std::string list = listing();
  EXPECT_THAT(list, HasSubstr("{\"name\":\"A\",\"value\":\"1\""));
  EXPECT_THAT(list, HasSubstr("{\"name\":\"B\",\"value\":\"2\""));
  EXPECT_THAT(list, HasSubstr("{\"code\":\"store_record\",\"name\":\"N\",\"message\":\"store record 2 has a "
                              "value that is not a string; it is ignored\"}"));
  EXPECT_THAT(list, HasSubstr("{\"code\":\"store_record\",\"name\":\"Z\",\"message\":\"store record 3 has a "
                              "value that is not a string; it is ignored\"}"));
  EXPECT_THAT(list, HasSubstr("{\"code\":\"store_record\",\"name\":\"\",\"message\":\"store record 4 has no "
                              "name; it is ignored\"}"));
  EXPECT_THAT(list, HasSubstr("{\"code\":\"store_record\",\"name\":\"\",\"message\":\"store record 5 is not "
                              "an object; it is ignored\"}"));
}

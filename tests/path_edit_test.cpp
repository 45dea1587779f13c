// PATH editing through the exports: positions, equality, messages and the write chain.
#include "support/sandbox.h"

#include "core/views.h"
#include "kestrune_env.h"
#include "support/core_calls.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class PathEdit : public Sandbox {
protected:
  // The PATH a listing shows for the scope.
  std::string path(const char *scope = "user") {
    env_scope s = env_scope::user;
    EXPECT_TRUE(env_scope_arg(scope, s));
    env_kv_list merged;
    env_kv_index index;
    merge_report report;
    collect_merged(s, scope_files(s).store, merged, index, report);
    long at = index.find("PATH");
    return at < 0 ? "" : merged[static_cast<std::size_t>(at)].value;
  }
  void set_store_path(const std::string &value) { ASSERT_EQ(put_in_store("PATH", value.c_str()), 0); }
  std::size_t backups() {
    std::size_t n = 0;
    if (fs::exists(data_dir() + "/backups"))
      for ([[maybe_unused]] auto &e : fs::directory_iterator(data_dir() + "/backups"))
        ++n;
    return n;
  }
};

} // namespace

TEST(PathSplit, EmptyPiecesAreEntriesAndJoinGivesTheTextBack) {
  path_entry_list e;
  path_split("", ':', e);
  EXPECT_TRUE(e.empty());
  path_split(nullptr, ':', e);
  EXPECT_TRUE(e.empty());
  for (const char *text : {":", "a::b", ":a:", "a", "/usr/bin:/bin"}) {
    path_split(text, ':', e);
    EXPECT_EQ(path_join(e, ':'), text);
  }
  path_split(":", ':', e);
  EXPECT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].source, "path");
}

TEST_F(PathEdit, AddInsertsAtTheIndexOrAppends) {
  ASSERT_EQ(env_path_add("user", "/a", 0), 1) << env_last_error();
  EXPECT_EQ(path(), "/a");
  ASSERT_EQ(env_path_add("user", "/b", 0), 1);
  ASSERT_EQ(env_path_add("user", "/c", 2), 1);
  ASSERT_EQ(env_path_add("user", "/d", 9), 1);
  ASSERT_EQ(env_path_add("user", "/e", -1), 1);
  ASSERT_EQ(env_path_add("user", "/f", 1), 1);
  EXPECT_EQ(path(), "/b:/f:/a:/c:/d:/e");
}

TEST_F(PathEdit, EmptyEntriesCountForPositions) {
  set_store_path("/a::/c:");
  ASSERT_EQ(env_path_add("user", "/x", 2), 1);
  EXPECT_EQ(path(), "/a::/x:/c:");
  ASSERT_EQ(env_path_add("user", "/end", -1), 1);
  EXPECT_EQ(path(), "/a::/x:/c::/end");
}

TEST_F(PathEdit, DuplicatesAreRefusedByThePlatformComparison) {
  set_store_path("/usr/bin:/opt/tool/");
  EXPECT_EQ(env_path_add("user", "/usr/bin/", 0), 0);
  EXPECT_STREQ(env_last_error(), "refused: duplicate PATH entry '/usr/bin/'");
  EXPECT_EQ(env_path_add("user", "/opt/tool", 0), 0);
  EXPECT_EQ(env_path_add("user", "/USR/BIN", 0), 1);
}

TEST_F(PathEdit, ArgumentChecksComeBeforeAnythingIsRead) {
  EXPECT_EQ(env_path_add("nope", "/a", 0), 0);
  EXPECT_STREQ(env_last_error(), "scope must be 'user' or 'system'");
  EXPECT_EQ(env_path_add("user", "", 0), 0);
  EXPECT_STREQ(env_last_error(), "empty PATH entry");
  EXPECT_EQ(env_path_del("user", nullptr), 0);
  EXPECT_STREQ(env_last_error(), "empty PATH entry");
  EXPECT_EQ(env_path_move("user", "/a", -1), 0);
  EXPECT_STREQ(env_last_error(), "new_index must be >= 0");
  EXPECT_FALSE(fs::exists(data_dir()));
}

TEST_F(PathEdit, DeleteRemovesEveryEqualEntry) {
  EXPECT_EQ(env_path_del("user", "/a"), 0);
  EXPECT_STREQ(env_last_error(), "PATH entry not found: '/a'");
  set_store_path("/a:/b:/a/:/c");
  ASSERT_EQ(env_path_del("user", "/a"), 1);
  EXPECT_EQ(path(), "/b:/c");
  EXPECT_EQ(env_path_del("user", "/x"), 0);
  EXPECT_STREQ(env_last_error(), "PATH entry not found: '/x'");
  ASSERT_EQ(env_path_del("user", "/b"), 1);
  ASSERT_EQ(env_path_del("user", "/c"), 1);
  EXPECT_EQ(path(), "");
  EXPECT_NE(read(data_dir() + "/user-env.json").find("\"name\": \"PATH\",\n            \"value\": \"\""),
            std::string::npos);
}

TEST_F(PathEdit, MoveTakesTheFirstMatchAndKeepsItsText) {
  set_store_path("/a:/b/:/c:/b");
  ASSERT_EQ(env_path_move("user", "/b", 0), 1);
  EXPECT_EQ(path(), "/b/:/a:/c:/b");
  ASSERT_EQ(env_path_move("user", "/a", 99), 1);
  EXPECT_EQ(path(), "/b/:/c:/b:/a");
  std::size_t before = backups();
  ASSERT_EQ(env_path_move("user", "/c", 1), 1);
  EXPECT_EQ(path(), "/b/:/c:/b:/a");
  EXPECT_EQ(backups(), before + 1);
  EXPECT_EQ(env_path_move("user", "/zz", 0), 0);
  EXPECT_STREQ(env_last_error(), "PATH entry not found: '/zz'");
}

// Another file's PATH line is that file's: an edit never copies it into the library's files,
// and removing one of its entries is refused with the file named.
TEST_F(PathEdit, OtherFilesPathLinesStayTheirs) {
  const std::string other = user_envd() + "/10-a.conf", line = "PATH=$PATH:/opt/mine/bin\n";
  write(other, line);
  ASSERT_EQ(env_path_add("user", "/opt/b", 1), 1) << env_last_error();
  EXPECT_EQ(path(), "/opt/b");
  EXPECT_EQ(read(user_envd() + "/99-pellomar-user.conf"), "PATH=${PATH}:/opt/b\n");
  EXPECT_NE(read(data_dir() + "/exports/user-env.sh").find("export PATH=\"${PATH:+$PATH:}\"'/opt/b'\n"),
            std::string::npos);
  for (int moved = 0; moved < 2; ++moved) {
    EXPECT_EQ(moved ? env_path_move("user", "/opt/mine/bin", 0) : env_path_del("user", "/opt/mine/bin"), 0);
    EXPECT_NE(std::string(env_last_error()).find("comes from " + other), std::string::npos) << env_last_error();
  }
  EXPECT_EQ(read(other), line);
  EXPECT_EQ(path(), "/opt/b");
}

TEST_F(PathEdit, UnreadableNativeStoreStopsTheEdit) {
  set_store_path("/a");
  fs::remove_all(user_envd());
  write(user_envd(), "not a directory");
  std::size_t before = backups();
  EXPECT_EQ(env_path_add("user", "/b", 0), 0);
  EXPECT_NE(std::string(env_last_error()), "");
  EXPECT_EQ(backups(), before);
  EXPECT_EQ(path(), "/a");
}

// A refused native write fails the edit in either scope, and the PATH stays as it was.
TEST_F(PathEdit, RefusedNativeWriteFailsTheEditInEitherScope) {
  for (const char *scope : {"user", "system"}) {
    std::string conf =
        (std::string(scope) == "user" ? user_envd() : system_envd()) + "/99-pellomar-" + scope + ".conf";
    fs::create_directories(conf + "/x");
    EXPECT_EQ(env_path_add(scope, "/u", 0), 0) << scope;
    EXPECT_NE(std::string(env_last_error()).find("cannot write environment file " + conf), std::string::npos);
    EXPECT_EQ(path(scope), "") << scope;
    EXPECT_FALSE(fs::exists(data_dir() + "/exports/" + scope + "-env.sh"));
  }
}

// An entry holding the separator would become two entries that no removal can find, and an
// empty one is the current directory; both are refused. Entries stored before are left.
TEST_F(PathEdit, EmptyEntriesAndEntriesHoldingTheSeparatorAreRefused) {
  set_store_path("/old::/x");
  EXPECT_EQ(env_path_add("user", "/a:/b", 0), 0);
  EXPECT_STREQ(env_last_error(), "refused: PATH entry '/a:/b' holds the separator ':'");
  EXPECT_EQ(env_path_add("user", "/opt/b:", 0), 0);
  EXPECT_EQ(env_path_add("user", "", 0), 0);
  EXPECT_STREQ(env_last_error(), "empty PATH entry");
  EXPECT_EQ(path(), "/old::/x");
  EXPECT_EQ(backups(), 0u);
}

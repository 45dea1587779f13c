// PATH editing through the exports: positions, equality, messages and the write chain.
#include "support/sandbox.h"

#include "core/state.h"
#include "core/views.h"
#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class PathEdit : public Sandbox {
protected:
  std::string path(const char *scope = "user") {
    std::string out;
    logical_path(scope, out);
    return out;
  }
  void set_store_path(const std::string &value) { ASSERT_EQ(store_upsert("user", "PATH", value.c_str()), 0); }
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

TEST_F(PathEdit, FirstEditCopiesTheNativePathIntoTheStore) {
  write(user_envd() + "/10-a.conf", "PATH=/native1:/native2\n");
  ASSERT_EQ(env_path_add("user", "/mine", 1), 1);
  EXPECT_EQ(path(), "/native1:/mine:/native2");
  EXPECT_NE(read(data_dir() + "/exports/user-env.sh").find("export PATH=\"${PATH:+$PATH:}\"'/native1:/mine:/native2'\n"),
            std::string::npos);
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

TEST_F(PathEdit, RefusedNativeWriteFailsOnlyTheSystemScope) {
  std::string user_conf = user_envd() + "/99-pellomar-user.conf";
  fs::create_directories(user_conf + "/x");
  ASSERT_EQ(env_path_add("user", "/u", 0), 1);
  EXPECT_NE(std::string(env_last_error()).find("cannot write environment file"), std::string::npos);
  EXPECT_EQ(path(), "/u");
  std::string system_conf = system_envd() + "/99-pellomar-system.conf";
  fs::create_directories(system_conf + "/x");
  EXPECT_EQ(env_path_add("system", "/s", 0), 0);
  EXPECT_NE(std::string(env_last_error()).find("root required for system scope"), std::string::npos);
  EXPECT_EQ(path("system"), "/s");
  EXPECT_FALSE(fs::exists(data_dir() + "/exports/system-env.sh"));
}

TEST_F(PathEdit, EntryHoldingTheSeparatorBecomesTwoEntries) {
  ASSERT_EQ(env_path_add("user", "/a:/b", 0), 1);
  path_entry_list e;
  path_split(path().c_str(), ':', e);
  EXPECT_EQ(e.size(), 2u);
}

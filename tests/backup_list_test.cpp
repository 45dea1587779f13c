// env_backups: the listing reads the folder, not every backup; what it shows of each backup
// comes from a derived index that is rebuilt whenever it is missing, damaged or stale.
#include "support/sandbox.h"

#include "core/file_ops.h"
#include "kestrune_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

int g_backup_reads = 0;
int counting_open(const char *path, int flags, unsigned mode) {
  std::string p(path);
  if (p.find("/backups/") != std::string::npos && p.size() > 5 && p.substr(p.size() - 5) == ".json")
    ++g_backup_reads;
  return env_file_ops_default.open(path, flags, mode);
}

class BackupList : public Sandbox {
protected:
  std::string listing() {
    char *text = env_backups();
    EXPECT_NE(text, nullptr) << env_last_error();
    std::string out = text ? text : "";
    env_free_string(text);
    return out;
  }
  // The listing, counting the backup files it opened.
  std::string listing_counting(int &reads) {
    g_backup_reads = 0;
    env_file_sys.open = counting_open;
    std::string out = listing();
    env_file_sys = env_file_ops_default;
    reads = g_backup_reads;
    return out;
  }
  std::string dir() const { return data_dir() + "/backups"; }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (auto &e : fs::directory_iterator(dir()))
      if (e.path().extension() == ".json")
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string entry(const std::string &file, const char *ts, const char *scope, int vars) const {
    return "{\"file\":\"" + file + "\",\"path\":\"" + dir() + "/" + file + "\",\"ts\":" + ts +
           ",\"scope\":" + scope + ",\"vars\":" + std::to_string(vars) + "}";
  }
};

} // namespace

// What a change takes, it also notes in the index: the listing reads no backup at all.
TEST_F(BackupList, ReadsNoBackupThatChangesNoted) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  ASSERT_EQ(env_set("user", "B", "2"), 1);
  ASSERT_EQ(env_set("system", "C", "3"), 1);
  int reads = -1;
  std::string json = listing_counting(reads);
  EXPECT_EQ(reads, 0);
  std::vector<std::string> f = files();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_THAT(json, HasSubstr("\"file\":\"" + f[1] + "\",\"path\":\"" + dir() + "/" + f[1] + "\",\"ts\":\""));
  EXPECT_THAT(json, HasSubstr("\"path\":\"" + system_data_dir() + "/backups/"));
  EXPECT_THAT(json, HasSubstr("\"scope\":\"system\",\"vars\":0}"));
  EXPECT_THAT(json, HasSubstr("\"scope\":\"user\",\"vars\":1}"));
}

// The system scope keeps its backups in the machine's folder: the listing shows them with
// the user's own, newest first, each with its folder's path.
TEST_F(BackupList, ListsTheSystemScopesBackupsTooNewestFirst) {
  std::string system_dir = system_data_dir() + "/backups";
  Sandbox::write(dir() + "/20240101-000000-00000001.json", R"({"ts":"1","scope":"user","vars":[]})");
  Sandbox::write(system_dir + "/20240102-000000-00000001.json", R"({"ts":"2","scope":"system","vars":[]})");
  Sandbox::write(dir() + "/20240103-000000-00000001.json", R"({"ts":"3","scope":"user","vars":[]})");
  std::string system = "{\"file\":\"20240102-000000-00000001.json\",\"path\":\"" + system_dir +
                       "/20240102-000000-00000001.json\",\"ts\":\"2\",\"scope\":\"system\",\"vars\":0}";
  EXPECT_EQ(listing(), "[" + entry("20240103-000000-00000001.json", "\"3\"", "\"user\"", 0) + "," + system +
                           "," + entry("20240101-000000-00000001.json", "\"1\"", "\"user\"", 0) + "]");
  fs::remove_all(data_dir());
  EXPECT_EQ(listing(), "[" + system + "]");
}

// Backups the index does not know (copied in by hand, or taken before there was an index)
// are read once; the next listing reads none of them.
TEST_F(BackupList, ReadsUnknownBackupsOnce) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  Sandbox::write(dir() + "/20000101-000000-00000001.json",
                 R"({"ts":"2000-01-01T00:00:00Z","scope":"user","vars":[{"name":"X","value":"1"}]})");
  Sandbox::write(dir() + "/20000101-000000-00000002.json", "not json");
  Sandbox::write(dir() + "/20000101-000000-00000003.json", "{\"ts\":\"t\\n\\u0001\\\\\",\"scope\":5}");
  int reads = -1;
  std::string first = listing_counting(reads);
  EXPECT_EQ(reads, 3);
  EXPECT_THAT(first,
              HasSubstr(entry("20000101-000000-00000003.json", "\"t\\n\\u0001\\\\\"", "null", 0) + "," +
                        entry("20000101-000000-00000002.json", "null", "null", 0) + "," +
                        entry("20000101-000000-00000001.json", "\"2000-01-01T00:00:00Z\"", "\"user\"", 1) +
                        "]"));
  EXPECT_EQ(listing_counting(reads), first);
  EXPECT_EQ(reads, 0);
}

// The index is never the only copy of anything: without it, or with it damaged, the
// listing is the same.
TEST_F(BackupList, IsTheSameWithTheIndexGoneOrDamaged) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  ASSERT_EQ(env_set("system", "B", "2"), 1);
  std::string json = listing();
  for (const std::string &folder : {data_dir(), system_data_dir()}) {
    std::string index = folder + "/.backup-index";
    ASSERT_TRUE(fs::exists(index));
    for (auto &e : fs::directory_iterator(folder + "/backups"))
      EXPECT_EQ(e.path().extension(), ".json") << "the backups folder holds backups only";
    fs::remove(index);
    EXPECT_EQ(listing(), json);
    for (const char *damage : {"", "garbage\n", "\xff\xfe", "pellomar backup index 1\n20990101-000000-1\t"}) {
      Sandbox::write(index, damage);
      EXPECT_EQ(listing(), json) << damage;
    }
  }
}

// A backup removed, or replaced by another file under the same name, is seen at once.
TEST_F(BackupList, FollowsBackupsRemovedOrReplaced) {
  ASSERT_EQ(env_set("user", "A", "1"), 1);
  ASSERT_EQ(env_set("user", "B", "2"), 1);
  ASSERT_EQ(env_set("user", "C", "3"), 1);
  listing();
  std::vector<std::string> f = files();
  fs::remove(dir() + "/" + f[0]);
  std::string replaced = dir() + "/" + f[1];
  Sandbox::write(replaced + ".new", R"({"ts":"x","scope":"elsewhere","vars":[1,2,3,4,5]})");
  fs::rename(replaced + ".new", replaced);
  std::string json = listing();
  EXPECT_THAT(json, Not(HasSubstr(f[0])));
  EXPECT_THAT(json, HasSubstr(entry(f[1], "\"x\"", "\"elsewhere\"", 5)));
  EXPECT_THAT(json, HasSubstr("\"file\":\"" + f[2] + "\""));
}

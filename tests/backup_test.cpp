// Backups: names, counter, content, and never replacing a file.
#include "support/sandbox.h"

#include "core/file_ops.h"
#include "core/files.h"
#include "kestrune_env.h"
#include "support/core_calls.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Backup : public Sandbox {
protected:
  std::vector<std::string> names(const std::string &scope = "user") {
    std::vector<std::string> out;
    for (auto &e : fs::directory_iterator(scope_dir(scope) + "/backups"))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

} // namespace

TEST_F(Backup, HoldsTheStoreOnlyAndNamesTheScope) {
  write(user_envd() + "/10-native.conf", "NATIVE=1\n");
  ASSERT_EQ(put_in_store("A", "x\xFF"), 0); // bytes environment.d refuses, in a store edited by hand
  ASSERT_EQ(backup_store(), 0);
  ASSERT_EQ(backup_store(env_scope::system), 0);
  ASSERT_EQ(backup_store(), 0);
  ASSERT_EQ(backup_store(), 0);
  std::vector<std::string> n = names(), s = names("system");
  ASSERT_EQ(n.size(), 3u);
  ASSERT_EQ(s.size(), 1u);
  std::string system = read(system_data_dir() + "/backups/" + s[0]);
  EXPECT_NE(system.find("\"scope\": \"system\""), std::string::npos);
  EXPECT_NE(system.find("\"vars\": []"), std::string::npos);
  std::string user = read(data_dir() + "/backups/" + n[1]);
  EXPECT_NE(user.find("\"name\": \"A\",\n            \"value\": \"x\xFF\""), std::string::npos);
  EXPECT_EQ(user.find("NATIVE"), std::string::npos);
  EXPECT_NE(read(data_dir() + "/backups/" + n[2]).find("\"scope\": \"user\""), std::string::npos);
  // Two backups of one store differ in their time stamp only (which may fall in another second).
  auto after_time = [](const std::string &doc) { return doc.substr(doc.find("\"scope\"")); };
  EXPECT_EQ(after_time(read(data_dir() + "/backups/" + n[2])), after_time(user));
}

TEST_F(Backup, NeverReplacesAFileAnotherProcessTook) {
  fs::create_directories(data_dir() + "/backups");
  long long now = env_now();
  // Whatever second the backup lands in, its first number is taken.
  char next[16];
  std::snprintf(next, sizeof next, "-%08u.json", g_backup_seq + 1);
  for (long long t = now; t <= now + 2; ++t)
    write(data_dir() + "/backups/" + env_format_utc(t, "%Y%m%d-%H%M%S") + next, "theirs");
  ASSERT_EQ(backup_store(), 0);
  std::vector<std::string> n = names();
  ASSERT_EQ(n.size(), 4u);
  int ours = 0;
  for (const std::string &name : n) {
    std::string text = read(data_dir() + "/backups/" + name);
    if (text == "theirs")
      continue;
    ++ours;
    char after[16];
    std::snprintf(after, sizeof after, "-%08u.json", g_backup_seq);
    EXPECT_NE(name.find(after), std::string::npos) << name;
  }
  EXPECT_EQ(ours, 1);
}

// Two processes that change things in the same second: the later backup takes one more than
// the highest number of that second, so name order is time order.
TEST_F(Backup, TakesOneMoreThanTheHighestNumberOfItsSecond) {
  fs::create_directories(data_dir() + "/backups");
  long long now = env_now();
  for (long long t = now; t <= now + 2; ++t)
    for (const char *n : {"-00000001.json", "-00000007.json"})
      write(data_dir() + "/backups/" + env_format_utc(t, "%Y%m%d-%H%M%S") + n, "theirs");
  ASSERT_EQ(backup_store(), 0);
  ASSERT_EQ(backup_store(), 0);
  std::vector<std::string> ours;
  for (const std::string &name : names())
    if (read(data_dir() + "/backups/" + name) != "theirs")
      ours.push_back(name);
  ASSERT_EQ(ours.size(), 2u);
  EXPECT_EQ(ours[0].substr(15), "-00000008.json");
  EXPECT_GE(ours[1].substr(15), "-00000008.json");
  for (const std::string &name : names())
    if (name.substr(0, 15) == ours[1].substr(0, 15)) {
      EXPECT_LE(name, ours[1]) << "the newest backup sorts last in its second";
    }
}

namespace {
int g_temp_files = 0;
int counting_open(const char *path, int flags, unsigned mode) {
  if ((flags & O_CREAT) && std::string(path).find(".tmp-") != std::string::npos)
    ++g_temp_files;
  return env_file_ops_default.open(path, flags, mode);
}
} // namespace

// A thousand names taken in one second once made every change fail, and each taken name cost
// a full write and flush.
TEST_F(Backup, TakenNamesCostNoRewrite) {
  fs::create_directories(data_dir() + "/backups");
  // Ten seconds of taken names, so that the backup still falls among them when laying them
  // out is slow on a loaded machine.
  long long now = env_now();
  for (long long t = now; t <= now + 9; ++t)
    for (int i = 1; i <= 100; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "-%08d.json", i);
      write(data_dir() + "/backups/" + env_format_utc(t, "%Y%m%d-%H%M%S") + name, "theirs");
    }
  g_temp_files = 0;
  env_file_sys.open = counting_open;
  int rc = backup_store();
  env_file_sys = env_file_ops_default;
  ASSERT_EQ(rc, 0) << env_last_error();
  EXPECT_EQ(g_temp_files, 1);
  for (const std::string &name : names())
    if (read(data_dir() + "/backups/" + name) != "theirs") {
      EXPECT_EQ(name.substr(15), "-00000101.json");
    }
}

TEST_F(Backup, FailsWithoutADataDirectory) {
  unsetenv("HOME");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(backup_store(), -1);
  EXPECT_EQ(env_set("user", "A", "1"), 0);
  EXPECT_STREQ(env_last_error(), "HOME is unset; cannot locate Pellomar dir");
}

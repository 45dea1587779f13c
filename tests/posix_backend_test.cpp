// The POSIX backend's identity, PATH entry comparison, data directory and data lock.
#include "support/sandbox.h"

#include "core/files.h"
#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PosixBackend : public Sandbox {
protected:
  int mode_of(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return static_cast<int>(st.st_mode & 07777);
  }
  // The data directory as the backend resolves it, with the message of a failure.
  std::string resolve(int expected_rc = 0) {
    env_clear_error();
    std::string dir = "stale";
    EXPECT_EQ(env_plat_data_dir(env_scope::user, dir), expected_rc) << env_last_error();
    return expected_rc == 0 ? dir : env_last_error();
  }
};

} // namespace

TEST_F(PosixBackend, IdentityIsLinuxWithColonsAndEnvironmentD) {
  EXPECT_STREQ(env_plat_name(), "linux");
  EXPECT_EQ(env_plat_path_sep(), ':');
  EXPECT_STREQ(env_plat_write_policy(), "environment.d");
}

TEST_F(PosixBackend, PathEntriesCompareByteForByteAfterTrailingSlashes) {
  struct Case {
    const char *a;
    const char *b;
    int eq;
  } cases[] = {
      {"/usr/bin", "/usr/bin", 1},
      {"/usr/bin", "/usr/bin/", 1},
      {"/usr/bin///", "/usr/bin", 1},
      {"/", "//", 1},
      {"///", "/", 1},
      {"", "", 1},
      {"a/", "a", 1},
      {"/", "", 0},
      {"/usr/Bin", "/usr/bin", 0},
      {"/usr/./bin", "/usr/bin", 0},
      {"/usr//bin", "/usr/bin", 0},
      {"/usr/bin/..", "/usr", 0},
      {"~/bin", "/home/bin", 0},
      {"$HOME/bin", "~/bin", 0},
      {" /usr/bin", "/usr/bin", 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(env_plat_path_eq(c.a, c.b), c.eq) << "'" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(env_plat_path_eq(c.b, c.a), c.eq) << "'" << c.b << "' vs '" << c.a << "'";
  }
  EXPECT_EQ(env_plat_path_eq(nullptr, "/usr/bin"), 0);
  EXPECT_EQ(env_plat_path_eq("/usr/bin", nullptr), 0);
  EXPECT_EQ(env_plat_path_eq(nullptr, nullptr), 0);
}

TEST_F(PosixBackend, DataDirFollowsAnAbsoluteXdgDataHome) {
  std::string xdg = root() + "/xdg data";
  setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  EXPECT_EQ(resolve(), xdg + "/pellomar");
  // Resolving creates nothing: reading leaves no trace.
  EXPECT_FALSE(fs::exists(xdg));
  EXPECT_FALSE(fs::exists(data_dir()));
}

TEST_F(PosixBackend, DataDirFallsBackToHomeWhenXdgDataHomeIsUnsetEmptyOrRelative) {
  for (const char *xdg : {static_cast<const char *>(nullptr), "", "relative/dir", "./x"}) {
    if (xdg)
      setenv("XDG_DATA_HOME", xdg, 1);
    else
      unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(resolve(), home() + "/.local/share/pellomar") << (xdg ? xdg : "(unset)");
  }
  EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(PosixBackend, DataDirAndItsNewParentsAreForTheUserAlone) {
  umask(0);
  ASSERT_EQ(env_set("user", "A", "1"), 1) << env_last_error();
  umask(022);
  EXPECT_EQ(mode_of(data_dir()), 0700);
  for (const char *sub : {"/backups", "/exports"})
    EXPECT_EQ(mode_of(data_dir() + sub), 0700) << sub;
  EXPECT_EQ(mode_of(home() + "/.local"), 0700);
  EXPECT_EQ(mode_of(home() + "/.local/share"), 0700);
}

TEST_F(PosixBackend, DataDirWithoutHomeFails) {
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  EXPECT_EQ(resolve(-1), "HOME is unset; cannot locate Pellomar dir");
  setenv("HOME", "", 1);
  EXPECT_EQ(resolve(-1), "HOME is unset; cannot locate Pellomar dir");
  setenv("XDG_DATA_HOME", "relative", 1);
  EXPECT_EQ(resolve(-1), "HOME is unset; cannot locate Pellomar dir");
  // An absolute XDG_DATA_HOME needs no HOME.
  setenv("XDG_DATA_HOME", (root() + "/xdg").c_str(), 1);
  EXPECT_EQ(resolve(), root() + "/xdg/pellomar");
}

TEST_F(PosixBackend, DataDirPathOfEnvPathMaxBytesIsTooLong) {
  const std::size_t suffix = std::string("/pellomar").size();
  std::string base = "/" + std::string(env_path_max - suffix - 1, 'd');
  setenv("XDG_DATA_HOME", base.c_str(), 1);
  EXPECT_EQ(resolve(-1), "data dir path too long");
  // One byte less fits the limit.
  base.pop_back();
  setenv("XDG_DATA_HOME", base.c_str(), 1);
  EXPECT_EQ(resolve(), base + "/pellomar");
}

TEST_F(PosixBackend, DataDirThatCannotBeCreatedFailsTheChange) {
  write(root() + "/file", "not a directory");
  setenv("XDG_DATA_HOME", (root() + "/file").c_str(), 1);
  EXPECT_EQ(env_set("user", "A", "1"), 0);
  EXPECT_EQ(std::string(env_last_error()),
            "cannot lock " + root() + "/file/pellomar/.lock (Not a directory)");
}

TEST_F(PosixBackend, DataLockIsExclusiveUntilUnlocked) {
  std::string path = data_dir() + "/.lock";
  env_plat_lock_handle lock;
  ASSERT_EQ(env_plat_lock_file(path, lock), 0) << env_last_error();
  EXPECT_EQ(mode_of(path), 0600);
  // flock belongs to the open file, so a second open conflicts even in this process.
  int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  lock.reset();
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  // A second lock after the first was released is granted at once.
  EXPECT_EQ(env_plat_lock_file(path, lock), 0);
}

// A lock that cannot be taken is a failure with the file and the reason: a change must
// never go on unlocked.
TEST_F(PosixBackend, DataLockThatCannotBeTakenIsNamed) {
  fs::create_directories(data_dir() + "/.lock");
  env_plat_lock_handle lock;
  EXPECT_EQ(env_plat_lock_file(data_dir() + "/.lock", lock), -1);
  EXPECT_EQ(std::string(env_last_error()), "cannot lock " + data_dir() + "/.lock (Is a directory)");
  EXPECT_EQ(env_set("user", "A", "1"), 0);
  EXPECT_EQ(std::string(env_last_error()), "cannot lock " + data_dir() + "/.lock (Is a directory)");
  EXPECT_FALSE(fs::exists(data_dir() + "/user-env.json"));
}

TEST_F(PosixBackend, BroadcastDoesNothing) {
  env_clear_error();
  env_plat_broadcast();
  EXPECT_TRUE(env_error_is_empty());
  EXPECT_FALSE(fs::exists(data_dir()));
  EXPECT_TRUE(fs::is_empty(home()));
}

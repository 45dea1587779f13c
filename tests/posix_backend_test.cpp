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
    EXPECT_EQ(env_plat_data_dir(dir), expected_rc) << env_last_error();
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
  EXPECT_TRUE(fs::is_directory(xdg + "/pellomar"));
  EXPECT_EQ(mode_of(xdg + "/pellomar"), 0700);
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
  std::string dir = resolve();
  umask(022);
  EXPECT_EQ(mode_of(dir), 0700);
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
  // One byte less fits the limit; creating it is what fails then.
  base.pop_back();
  setenv("XDG_DATA_HOME", base.c_str(), 1);
  EXPECT_EQ(resolve(-1).rfind("cannot create data dir /ddd", 0), 0u);
}

TEST_F(PosixBackend, DataDirThatCannotBeCreatedIsNamed) {
  write(root() + "/file", "not a directory");
  setenv("XDG_DATA_HOME", (root() + "/file").c_str(), 1);
  EXPECT_EQ(resolve(-1), "cannot create data dir " + root() + "/file/pellomar");
}

TEST_F(PosixBackend, DataLockIsExclusiveUntilUnlocked) {
  void *handle = reinterpret_cast<void *>(1);
  int fd = env_plat_lock_data(&handle);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(handle, nullptr);
  std::string path = data_dir() + "/.lock";
  EXPECT_EQ(mode_of(path), 0600);
  // flock belongs to the open file, so a second open conflicts even in this process.
  int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  env_plat_unlock_data(fd, handle);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  // A second lock after the first was released is granted at once.
  fd = env_plat_lock_data(&handle);
  EXPECT_GE(fd, 0);
  env_plat_unlock_data(fd, handle);
}

TEST_F(PosixBackend, DataLockWithoutDataDirIsMinusOne) {
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  void *handle = reinterpret_cast<void *>(1);
  EXPECT_EQ(env_plat_lock_data(&handle), -1);
  EXPECT_EQ(handle, nullptr);
  env_plat_unlock_data(-1, nullptr);
}

TEST_F(PosixBackend, BroadcastDoesNothing) {
  env_clear_error();
  env_plat_broadcast();
  EXPECT_TRUE(env_error_is_empty());
  EXPECT_FALSE(fs::exists(data_dir()));
  EXPECT_TRUE(fs::is_empty(home()));
}

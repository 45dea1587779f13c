// Where each scope keeps its files: the user scope in the caller's data directory, the
// system scope in the machine's state directory, shared by everyone who changes it, with its
// export file a drop-in that every login shell sources.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class SystemScope : public Sandbox {
protected:
  static std::string listing(const char *scope) {
    char *text = env_list(scope);
    std::string out = text ? text : "";
    env_free_string(text);
    return out;
  }
  static fs::perms mode(const std::string &path) { return fs::status(path).permissions() & fs::perms::all; }
  // Another user's home: HOME and the XDG folders moved there.
  void become(const std::string &home) {
    fs::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  }
};

} // namespace

// The store every user's listing reads is world-readable, as environment.d is anyway; the
// backups keep every earlier value, so only their owner may look in.
TEST_F(SystemScope, ChangesWriteTheMachinesFoldersWithTheirModes) {
  ASSERT_EQ(env_set("system", "EDITOR", "vim"), 1) << env_last_error();
  constexpr fs::perms rw_r_r =
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
  constexpr fs::perms rwx_rx_rx = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec;
  const std::vector<std::pair<std::string, fs::perms>> expected = {
      {system_data_dir(), rwx_rx_rx},
      {system_data_dir() + "/system-env.json", rw_r_r},
      {system_data_dir() + "/backups", fs::perms::owner_all},
      {system_data_dir() + "/.lock", fs::perms::owner_read | fs::perms::owner_write},
      {fs::path(system_export()).parent_path().string(), rwx_rx_rx},
      {system_export(), rw_r_r},
  };
  for (const auto &[path, perms] : expected) {
    EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(mode(path), perms) << path;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(system_data_dir() + "/backups"), fs::directory_iterator()),
            1);
  EXPECT_THAT(read(system_data_dir() + "/system-env.json"), HasSubstr("\"EDITOR\""));
  EXPECT_THAT(read(system_export()), HasSubstr("\nexport EDITOR='vim'\n"));
  EXPECT_FALSE(fs::exists(data_dir()));
  EXPECT_THAT(listing("system"), HasSubstr("\"export_file\":\"" + system_export() + "\""));
}

// Two administrators see and change one system scope; each user scope stays its own.
TEST_F(SystemScope, TwoHomesShareOneStore) {
  become(root() + "/alice");
  ASSERT_EQ(env_set("system", "FROM_ALICE", "a"), 1) << env_last_error();
  ASSERT_EQ(env_set("user", "ALICE_ONLY", "a"), 1) << env_last_error();
  become(root() + "/bob");
  EXPECT_THAT(listing("system"), HasSubstr("\"name\":\"FROM_ALICE\""));
  ASSERT_EQ(env_set("system", "FROM_BOB", "b"), 1) << env_last_error();
  EXPECT_THAT(listing("user"), Not(HasSubstr("ALICE_ONLY")));
  become(root() + "/alice");
  std::string system = listing("system");
  EXPECT_THAT(system, HasSubstr("\"name\":\"FROM_ALICE\""));
  EXPECT_THAT(system, HasSubstr("\"name\":\"FROM_BOB\""));
  EXPECT_THAT(read(system_export()), HasSubstr("export FROM_ALICE='a'\nexport FROM_BOB='b'\n"));
  EXPECT_FALSE(fs::exists(root() + "/alice/.local/share/pellomar/system-env.json"));
  EXPECT_FALSE(fs::exists(root() + "/bob/.local/share/pellomar"));
}

// The system scope needs no home at all.
TEST_F(SystemScope, WorksWithoutAHome) {
  unsetenv("HOME");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(env_set("system", "A", "1"), 1) << env_last_error();
  EXPECT_THAT(listing("system"), HasSubstr("\"name\":\"A\""));
}

// Reading creates nothing, not even the machine's folder.
TEST_F(SystemScope, ListingLeavesNoTrace) {
  fs::remove_all(KENV_LOCALSTATEDIR);
  EXPECT_THAT(listing("system"), HasSubstr("\"scope\":\"system\""));
  EXPECT_FALSE(fs::exists(KENV_LOCALSTATEDIR));
  EXPECT_FALSE(fs::exists(system_export()));
}

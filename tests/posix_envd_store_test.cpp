// The environment.d native store through the platform interface: what is listed, what is
// written where, with which modes, and every refusal with its message.
#include "support/core_calls.h"
#include "support/sandbox.h"

#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using vars = std::vector<std::pair<std::string, std::string>>;

class EnvdStore : public Sandbox {
protected:
  std::string user_file() { return user_envd() + "/99-pellomar-user.conf"; }
  std::string system_file() { return system_envd() + "/99-pellomar-system.conf"; }

  vars list(const char *scope = "user", int expected_rc = 0) {
    env_kv_list out{{"stale", "x", "y"}};
    env_clear_error();
    EXPECT_EQ(env_plat_native_vars(to_scope(scope), out), expected_rc) << env_last_error();
    vars result;
    const char *tag = std::string(scope) == "system" ? "envd-system" : "envd-user";
    for (const env_kv &kv : out) {
      EXPECT_EQ(kv.source, tag) << kv.name;
      result.emplace_back(kv.name, kv.value);
    }
    return result;
  }
  void set(const char *name, const char *value, const char *scope = "user") {
    env_clear_error();
    ASSERT_EQ(native_set(to_scope(scope), name, value), 0) << env_last_error();
    EXPECT_TRUE(env_error_is_empty()) << env_last_error();
  }
  // The message of a refused set.
  std::string refused(const char *name, const char *value, const char *scope = "user") {
    env_clear_error();
    EXPECT_EQ(native_set(to_scope(scope), name, value), -1);
    return env_last_error();
  }
  int mode_of(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return static_cast<int>(st.st_mode & 07777);
  }
};

// Restores the umask when a test that changed it ends.
struct umask_guard {
  mode_t old;
  explicit umask_guard(mode_t m) : old(umask(m)) {}
  ~umask_guard() { umask(old); }
};

} // namespace

TEST_F(EnvdStore, AwkwardValuesRoundTrip) {
  const char *values[] = {
      "plain",
      "two  words",
      "  lead",
      "trail  ",
      "say \"hi\"",
      "it's",
      "C:\\dir\\",
      "\\\\server\\share",
      "back`tick`",
      "#hash",
      ";semi",
      "a=b=c",
      "$5",
      "a$",
      "$$",
      "$",
      "${A:-x}",
      "${",
      "$HOME/bin",
      "${HOME}x",
      "%PATH%",
      "~/x",
      "*?[",
      "\\n literally",
      "gr\xC3\xBC\xC3\x9F\x65 \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9A\x80",
      "\xC2\xA0nbsp\xC2\xA0",
      "'",
      "\"",
      "\\",
      "=",
  };
  int i = 0;
  vars expected;
  for (const char *value : values) {
    std::string name = std::string("V").append(std::to_string(i++));
    set(name.c_str(), value);
    expected.emplace_back(name, value);
  }
  EXPECT_EQ(list(), expected);
}

TEST_F(EnvdStore, NamesMatchByteForByteAndKeepTheirPlace) {
  set("Foo", "1");
  set("B", "2");
  set("FOO", "3");
  set("Foo", "4");
  EXPECT_EQ(read(user_file()), "Foo=4\nB=2\nFOO=3\n");
  EXPECT_EQ(list(), (vars{{"Foo", "4"}, {"B", "2"}, {"FOO", "3"}}));
  ASSERT_EQ(native_del(env_scope::user, "fOO"), 0);
  ASSERT_EQ(native_del(env_scope::user, "Foo"), 0);
  EXPECT_EQ(read(user_file()), "B=2\nFOO=3\n");
}

TEST_F(EnvdStore, HandEditedOwnFileKeepsItsOtherLines) {
  write(user_file(), "# my notes\nA=1\n\na=2\nB=\"kept as\nwritten\"\nA=3\n");
  set("A", "new");
  EXPECT_EQ(read(user_file()), "# my notes\nA=new\n\na=2\nB=\"kept as\nwritten\"\n");
}

TEST_F(EnvdStore, EmptyValueRemovesTheLine) {
  set("A", "1");
  set("B", "2");
  set("A", "");
  EXPECT_EQ(read(user_file()), "B=2\n");
  set("B", nullptr);
  EXPECT_EQ(read(user_file()), "");
  EXPECT_TRUE(list().empty());
  // Nothing to remove creates nothing.
  set("C", "", "system");
  EXPECT_FALSE(fs::exists(system_envd()));
}

TEST_F(EnvdStore, PathExtendsTheSessionPathAndReadsBackWithoutIt) {
  set("PATH", "/opt/a:/opt/b");
  EXPECT_EQ(read(user_file()), "PATH=${PATH}:/opt/a:/opt/b\n");
  EXPECT_EQ(list(), (vars{{"PATH", "/opt/a:/opt/b"}}));
  set("PATH", "/my dir:$HOME/bin:/$5");
  EXPECT_EQ(read(user_file()), "PATH=\"${PATH}:/my dir:$HOME/bin:/$$5\"\n");
  EXPECT_EQ(list(), (vars{{"PATH", "/my dir:$HOME/bin:/$5"}}));
  set("PATH", "");
  EXPECT_EQ(read(user_file()), "");
  // path is a variable of its own, not the PATH.
  set("path", "/x");
  EXPECT_EQ(read(user_file()), "path=/x\n");
}

// Other files' PATH lines add to the session's PATH; the scope's PATH is its own file's.
TEST_F(EnvdStore, PathOfOtherFilesIsNotTheScopes) {
  write(user_envd() + "/10-a.conf", "PATH=${PATH}:/x\nB=1\n");
  write(user_file(), "PATH=/plain\n");
  EXPECT_EQ(list(), (vars{{"B", "1"}, {"PATH", "/plain"}}));
  fs::remove(user_file());
  EXPECT_EQ(list(), (vars{{"B", "1"}}));
}

TEST_F(EnvdStore, DollarsAreDoubledInTheFileAndSingleInTheListing) {
  set("A", "$5");
  set("B", "a$");
  set("C", "$$");
  set("D", "$HOME/x");
  EXPECT_EQ(read(user_file()), "A=$$5\nB=a$$\nC=$$$$\nD=$HOME/x\n");
  EXPECT_EQ(list(), (vars{{"A", "$5"}, {"B", "a$"}, {"C", "$$"}, {"D", "$HOME/x"}}));
  // Other files are listed as written: there `$$` is what the file says.
  write(user_envd() + "/10-a.conf", "E=$$5\n");
  EXPECT_EQ(list()[0], (std::pair<std::string, std::string>{"E", "$$5"}));
}

TEST_F(EnvdStore, FilesMergeInByteOrderLaterValuesKeepingTheFirstPlace) {
  write(user_envd() + "/20-b.conf", "C=b\nA=b\n");
  write(user_envd() + "/10-a.conf", "A=a\nB=a\nlower=a\n");
  write(user_envd() + "/9-z.conf", "A=9\nZ=9\n");
  write(user_envd() + "/Z.conf", "B=Z\n");
  write(user_file(), "B=own\nLOWER=own\n");
  // Byte order: "10-a" < "20-b" < "9-z" < "99-pellomar-user" < "Z".
  EXPECT_EQ(list(), (vars{{"A", "9"}, {"B", "Z"}, {"lower", "a"}, {"C", "b"}, {"Z", "9"}, {"LOWER", "own"}}));
}

TEST_F(EnvdStore, OnlyConfFilesCount) {
  write(user_envd() + "/a.conf", "A=1\n");
  write(user_envd() + "/b.conf~", "B=1\n");
  write(user_envd() + "/c.conf.bak", "C=1\n");
  write(user_envd() + "/.d.conf", "D=1\n");
  write(user_envd() + "/.conf", "E=1\n");
  write(user_envd() + "/f.CONF", "F=1\n");
  fs::create_directories(user_envd() + "/g.conf");
  fs::create_symlink(user_envd() + "/a.conf", user_envd() + "/h.conf");
  fs::create_symlink("/dev/null", user_envd() + "/i.conf");
  fs::create_symlink(user_envd() + "/missing", user_envd() + "/j.conf");
  write(user_envd() + "/k.conf", std::string("K=1\0", 4));
  write(user_envd() + "/l.conf", "L=1\nBAD=\xFF\nM=1\n");
  EXPECT_EQ(list(), (vars{{"A", "1"}, {"L", "1"}}));
}

TEST_F(EnvdStore, ForeignSyntaxIsReadAsSystemdReadsIt) {
  write(user_envd() + "/10-a.conf",
        "# comment\n ; another\nQ=\"quoted value\" \nS='single \\ kept'\nU=unquoted  \n"
        "E=\nEE=\"\"\nbad-name=1\n1ST=1\nREF=${HOME}/bin:$X\nCONT=a\\\nb\n");
  EXPECT_EQ(list(), (vars{{"Q", "quoted value"},
                          {"S", "single \\ kept"},
                          {"U", "unquoted"},
                          {"REF", "${HOME}/bin:$X"},
                          {"CONT", "ab"}}));
}

TEST_F(EnvdStore, MissingDirectoriesListNothing) {
  EXPECT_TRUE(list("user").empty());
  EXPECT_TRUE(list("system").empty());
  EXPECT_TRUE(env_error_is_empty());
}

TEST_F(EnvdStore, UnreadableUserDirectoryFailsButSystemDirectoryIsEmpty) {
  // A file where the directory belongs cannot be read, also not by root.
  write(user_envd(), "not a directory");
  EXPECT_TRUE(list("user", -1).empty());
  EXPECT_EQ(std::string(env_last_error()), "cannot read environment directory " + user_envd() + " (20)");
  write(system_envd(), "not a directory");
  EXPECT_TRUE(list("system", 0).empty());
  EXPECT_TRUE(env_error_is_empty());
}

TEST_F(EnvdStore, DirectoryWithoutReadPermissionIsUnreadable) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads every directory";
  write(user_envd() + "/a.conf", "A=1\n");
  write(system_envd() + "/a.conf", "A=1\n");
  fs::permissions(user_envd(), fs::perms::none);
  fs::permissions(system_envd(), fs::perms::none);
  EXPECT_TRUE(list("user", -1).empty());
  EXPECT_EQ(std::string(env_last_error()), "cannot read environment directory " + user_envd() + " (13)");
  EXPECT_TRUE(list("system", 0).empty());
  EXPECT_TRUE(env_error_is_empty());
  fs::permissions(user_envd(), fs::perms::owner_all);
  fs::permissions(system_envd(), fs::perms::owner_all);
}

TEST_F(EnvdStore, UserDirectoryFollowsXdgConfigHomeElseHome) {
  std::string xdg = root() + "/cfg";
  setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  set("A", "1");
  EXPECT_EQ(read(xdg + "/environment.d/99-pellomar-user.conf"), "A=1\n");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  set("B", "1");
  EXPECT_EQ(read(user_file()), "B=1\n");
  unsetenv("XDG_CONFIG_HOME");
  set("C", "1");
  EXPECT_EQ(read(user_file()), "B=1\nC=1\n");
  unsetenv("HOME");
  EXPECT_EQ(refused("D", "1"), "HOME is unset; cannot locate environment.d");
  env_kv_list out;
  EXPECT_EQ(env_plat_native_vars(env_scope::user, out), -1);
  EXPECT_STREQ(env_last_error(), "HOME is unset; cannot locate environment.d");
  // The system scope needs no HOME.
  set("D", "1", "system");
}

TEST_F(EnvdStore, ScopesWriteTheirOwnFileAndNothingElse) {
  write(user_envd() + "/50-other.conf", "A=other\n");
  write(system_envd() + "/50-other.conf", "A=other\n");
  set("A", "u", "user");
  set("A", "s", "SYSTEM");
  EXPECT_EQ(read(user_file()), "A=u\n");
  EXPECT_EQ(read(system_file()), "A=s\n");
  EXPECT_EQ(read(user_envd() + "/50-other.conf"), "A=other\n");
  EXPECT_EQ(read(system_envd() + "/50-other.conf"), "A=other\n");
  EXPECT_EQ(list("user"), (vars{{"A", "u"}}));
  EXPECT_EQ(list("system"), (vars{{"A", "s"}}));
  ASSERT_EQ(native_del(env_scope::user, "A"), 0);
  EXPECT_EQ(list("user"), (vars{{"A", "other"}}));
  EXPECT_EQ(read(system_file()), "A=s\n");
}

TEST_F(EnvdStore, ModesAreExactWhateverTheUmask) {
  umask_guard guard(077);
  set("A", "1", "user");
  set("A", "1", "system");
  EXPECT_EQ(mode_of(user_envd()), 0700);
  EXPECT_EQ(mode_of(user_file()), 0600);
  EXPECT_EQ(mode_of(system_envd()), 0755);
  EXPECT_EQ(mode_of(system_file()), 0644);
  umask(0);
  set("B", "1", "user");
  set("B", "1", "system");
  EXPECT_EQ(mode_of(user_file()), 0600);
  EXPECT_EQ(mode_of(system_file()), 0644);
}

TEST_F(EnvdStore, ExistingDirectoriesKeepTheirMode) {
  fs::create_directories(user_envd());
  fs::permissions(user_envd(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  set("A", "1");
  EXPECT_EQ(mode_of(user_envd()), 0750);
}

TEST_F(EnvdStore, RefusedNamesAndValuesNameTheReason) {
  for (const char *name : {"", "1A", "A-B", "A B", "A=B", "\xC3\x89T\xC3\x89", "A\n"})
    EXPECT_EQ(refused(name, "x"),
              std::string("cannot write '") + name + "' to environment.d: not a valid variable name");
  EXPECT_EQ(refused(nullptr, "x"), "cannot write '' to environment.d: not a valid variable name");
  // The name is checked first, then UTF-8, then emptiness.
  EXPECT_EQ(refused("A-B", "\xFF"), "cannot write 'A-B' to environment.d: not a valid variable name");
  EXPECT_EQ(refused("A-B", ""), "cannot write 'A-B' to environment.d: not a valid variable name");
  for (const char *value : {"\xFF", "a\xC3", "\xED\xA0\x80", "\xEF\xB7\x90", "x\xEF\xBF\xBE"})
    EXPECT_EQ(refused("Ab", value), "cannot write 'Ab' to environment.d: not valid UTF-8");
  const std::pair<const char *, const char *> controls[] = {
      {"a\nb", "0x0A"}, {"\t", "0x09"}, {"cr\r", "0x0D"}, {"\x1B[0m", "0x1B"}, {"\x7F", "0x7F"}};
  for (const auto &[value, code] : controls)
    EXPECT_EQ(refused("path", value),
              std::string("cannot write 'path' to environment.d: value holds control character ") + code +
                  ", which systemd passes on as an escape sequence");
  EXPECT_FALSE(fs::exists(user_envd()));
}

TEST_F(EnvdStore, RefusedWriteNamesTheFileAndErrno) {
  // A directory where the file belongs makes the write fail, also for root.
  fs::create_directories(user_file() + "/x");
  fs::create_directories(system_file() + "/x");
  EXPECT_EQ(refused("A", "1", "user"), "cannot write environment file " + user_file() + " (21)");
  EXPECT_EQ(refused("A", "1", "system"), "cannot write environment file " + system_file() +
                                             " (21) \xE2\x80\x94 root required for system scope");
  env_clear_error();
  EXPECT_EQ(native_del(env_scope::system, "A"), -1);
  EXPECT_EQ(std::string(env_last_error()), "cannot write environment file " + system_file() +
                                               " (21) \xE2\x80\x94 root required for system scope");
}

TEST_F(EnvdStore, ReadOnlyDirectoryRefusesTheWrite) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root writes every directory";
  fs::create_directories(system_envd());
  fs::permissions(system_envd(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(refused("A", "1", "system"), "cannot write environment file " + system_file() +
                                             " (13) \xE2\x80\x94 root required for system scope");
  fs::permissions(system_envd(), fs::perms::owner_all);
}

TEST_F(EnvdStore, DeletingWhatIsNotThereChangesNothing) {
  EXPECT_EQ(native_del(env_scope::user, "A"), 0);
  EXPECT_FALSE(fs::exists(user_envd()));
  write(user_file(), "# mine\nB=1");
  fs::last_write_time(user_file(), fs::file_time_type{});
  EXPECT_EQ(native_del(env_scope::user, "A"), 0);
  EXPECT_EQ(native_del(env_scope::user, "not-a-name"), 0);
  EXPECT_EQ(fs::last_write_time(user_file()), fs::file_time_type{});
  EXPECT_EQ(read(user_file()), "# mine\nB=1");
}

// Every write carries the whole store, so a change interrupted before environment.d is
// healed by the next one; pairs environment.d cannot hold are left out. The undo puts the
// file back byte for byte.
TEST_F(EnvdStore, WriteHealsFromTheStoreAndUndoPutsTheFileBack) {
  write(user_file(), "# mine\nKEEP=k\nSTALE=old\n");
  env_kv_list store{{"STALE", "new", "overlay"}, {"bad-name", "x", "overlay"}, {"B", "1", "overlay"}};
  env_native_undo undo;
  ASSERT_EQ(env_plat_native_write(env_scope::user, {{"GONE", std::nullopt}}, store, undo), 0)
      << env_last_error();
  EXPECT_EQ(read(user_file()), "# mine\nKEEP=k\nSTALE=new\nB=1\n");
  ASSERT_TRUE(undo);
  ASSERT_EQ(undo(), 0);
  EXPECT_EQ(read(user_file()), "# mine\nKEEP=k\nSTALE=old\n");
  fs::remove(user_file());
  ASSERT_EQ(env_plat_native_write(env_scope::user, {}, store, undo), 0);
  ASSERT_EQ(undo(), 0);
  EXPECT_FALSE(fs::exists(user_file()));
}

// kenv doctor: each check across both scopes, and its exit status.
#include "kenv_run.h"

#include <gmock/gmock.h>
#include <yyjson.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class KenvDoctor : public KenvTest {
protected:
  // Fails the test unless doctor exits with `status`; returns what it printed.
  std::string doctor(int status) {
    Outcome r = kenv({"doctor"});
    EXPECT_EQ(r.status, status) << r.out;
    EXPECT_EQ(r.err, "");
    return r.out;
  }

  static std::string sysconf_envd_file() { return system_envd() + "/50-test.conf"; }

  // A PATH of exactly `length` characters made of entries that exist.
  std::string path_of_length(std::size_t length) {
    std::string dir = root() + "/d";
    write(dir + "/.keep", "");
    std::string path = dir;
    while (path.size() + 1 + dir.size() <= length)
      path += ":" + dir;
    path += std::string(length - path.size(), '/');
    return path;
  }
};

TEST_F(KenvDoctor, FindsNothingInAnEmptyHome) {
  std::string out = doctor(0);
  EXPECT_THAT(out, HasSubstr("ok     PATH entries that both the user and the system PATH hold\n"));
  EXPECT_THAT(out, HasSubstr("ok     PATH entries that name no directory\n"));
  EXPECT_THAT(out, HasSubstr("ok     PATH lengths (limits 2047, 4095 and 8191 characters)\n"
                             "         system PATH: 0 characters\n"
                             "         user PATH: 0 characters\n"
                             "         both together: 0 characters\n"));
  EXPECT_THAT(out, HasSubstr("ok     references to names neither scope defines\n"));
  EXPECT_THAT(out, HasSubstr("ok     shell start-up files that load the user export file\n"
                             "         none loads it, and it holds no variables yet\n"));
  EXPECT_THAT(out, HasSubstr("\nNothing found.\n"));
}

TEST_F(KenvDoctor, FindsEntriesInBothScopes) {
  write(home() + "/.profile", kenv_ok({"shell-init", "--shell", "sh"}));
  kenv_ok({"path", "add", "/usr/bin", "--scope", "system"});
  kenv_ok({"path", "add", "/bin", "--scope", "system"});
  kenv_ok({"path", "add", "/bin/"});
  std::string out = doctor(1);
  EXPECT_THAT(out, HasSubstr("FOUND  PATH entries that both the user and the system PATH hold (1)\n"
                             "         /bin/  (user #2, system #1)\n"));
  EXPECT_THAT(out, HasSubstr("\n1 finding.\n"));
}

TEST_F(KenvDoctor, FindsEntriesThatNameNoDirectory) {
  write(root() + "/file", "");
  write(sysconf_envd_file(), "PATH=/usr/bin::" + root() + "/gone\n");
  kenv({"path", "add", root() + "/file"});
  std::string out = doctor(1);
  EXPECT_THAT(out, HasSubstr("FOUND  PATH entries that name no directory (3)\n"
                             "         system #1  (empty) is empty: shells search the current "
                             "directory for it (from " +
                             sysconf_envd_file() +
                             ")\n"
                             "         system #2  " +
                             root() + "/gone does not exist (from " + sysconf_envd_file() + ")\n" +
                             "         user #3  " + root() + "/file is not a directory\n"));
}

TEST_F(KenvDoctor, MeasuresPathAgainstTheThreeLimits) {
  struct Case {
    std::size_t length;
    const char *verdict;
  };
  const Case cases[] = {
      {2047, nullptr},
      {2048, "beyond 2047, where programs that pass PATH on a command line may fail"},
      {4096, "beyond 4095, the registry's caution on Windows"},
      {8192, "beyond 8191, where cmd.exe ignores PATH"},
  };
  for (const Case &c : cases) {
    write(user_envd() + "/99-pellomar-user.conf", "PATH=" + path_of_length(c.length) + "\n");
    std::string line = "user PATH: " + std::to_string(c.length) + " characters";
    if (!c.verdict) {
      std::string out = doctor(0);
      EXPECT_THAT(out, HasSubstr("ok     PATH lengths"));
      EXPECT_THAT(out, HasSubstr("         " + line + "\n"));
    } else {
      std::string out = doctor(1);
      EXPECT_THAT(out, HasSubstr("FOUND  PATH lengths"));
      EXPECT_THAT(out, HasSubstr("         " + line + ", " + c.verdict + "\n"));
    }
  }
}

TEST_F(KenvDoctor, MeasuresBothScopesTogether) {
  write(user_envd() + "/99-pellomar-user.conf", "PATH=" + path_of_length(1500) + "\n");
  write(system_envd() + "/99-pellomar-system.conf", "PATH=" + path_of_length(1000) + "\n");
  std::string out = doctor(1);
  EXPECT_THAT(out, HasSubstr("         system PATH: 1000 characters\n"
                             "         user PATH: 1500 characters\n"));
  EXPECT_THAT(out, HasSubstr("both together: 2501 characters, beyond 2047"));
}

// References are read as sessions read them: on Linux %NAME% is text, and a name the
// session inherits (HOME) is defined.
TEST_F(KenvDoctor, FindsReferencesToNamesNeitherScopeDefines) {
  kenv_ok({"set", "TOOLS", "/opt/tools", "--scope", "system"});
  kenv_ok({"set", "A", "${TOOLS}/bin:$NOWHERE_ONE/x:%NOWHERE_TWO%:${NOWHERE_ONE}"});
  kenv_ok({"set", "B", "$HOME/go"});
  std::string out = doctor(1);
  EXPECT_THAT(out, HasSubstr("FOUND  references to names neither scope defines (1)\n"
                             "         user A refers to $NOWHERE_ONE, which neither scope "
                             "defines\n"));
  EXPECT_THAT(out, Not(HasSubstr("HOME")));
  EXPECT_THAT(out, Not(HasSubstr("TOOLS,")));
}

TEST_F(KenvDoctor, ChecksWhetherAStartUpFileLoadsTheExportFile) {
  kenv_ok({"set", "A", "1"});
  write(home() + "/.profile", "# . " + user_export() + "\numask 022\n");
  std::string out = doctor(1);
  EXPECT_THAT(out, HasSubstr("FOUND  shell start-up files that load the user export file (1)\n"
                             "         not loaded by " +
                             home() +
                             "/.profile; add what `kenv "
                             "shell-init` prints to your shell's start-up file\n"));
  write(home() + "/.bashrc", kenv_ok({"shell-init", "--shell", "bash"}));
  out = doctor(0);
  EXPECT_THAT(out, HasSubstr("ok     shell start-up files that load the user export file\n"
                             "         loaded by " +
                             home() + "/.bashrc\n"));
}

TEST_F(KenvDoctor, SeesFishConfiguration) {
  kenv_ok({"set", "A", "1"});
  std::string file = home() + "/.config/fish/conf.d/kenv.fish";
  write(file, kenv_ok({"shell-init", "--shell", "fish"}));
  EXPECT_THAT(doctor(0), HasSubstr("loaded by " + file + "\n"));
}

TEST_F(KenvDoctor, ReportsVariablesAboveThreeQuartersOfTheSizeLimit) {
  std::string value(100 * 1024, 'x');
  for (int i = 0; i < 8; ++i)
    kenv_ok({"set", "V" + std::to_string(i), value});
  Outcome r = kenv({"doctor"});
  EXPECT_THAT(r.out,
              HasSubstr("user scope: the variables take 819232 bytes with the system scope's, 78% of the "
                        "1 MiB limit"));
}

TEST_F(KenvDoctor, TakesNoArguments) {
  Outcome r = kenv({"doctor", "now"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kenv: unexpected word 'now'\nTry 'kenv doctor --help'.\n");
}

TEST_F(KenvDoctor, JsonMarksFlagsWithTrueAndFalseAndIsValidUtf8) {
  // A start-up file adds an entry whose bytes are not UTF-8 and that names no directory.
  write(home() + "/.bashrc", "export PATH=\"$PATH:/opt/caf\xE9/bin\"\n");
  Outcome r = kenv({"doctor", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), '\n');
  yyjson_doc *doc = yyjson_read(r.out.data(), r.out.size(), 0); // strict: valid UTF-8 only
  ASSERT_NE(doc, nullptr) << r.out;
  yyjson_val *top = yyjson_doc_get_root(doc);
  EXPECT_TRUE(yyjson_is_false(yyjson_obj_get(top, "ok")));
  yyjson_val *checks = yyjson_obj_get(top, "checks");
  EXPECT_EQ(yyjson_arr_size(checks), 6u);
  std::size_t idx, max, findings = 0, failed = 0;
  yyjson_val *check;
  yyjson_arr_foreach(checks, idx, max, check) {
    yyjson_val *ok = yyjson_obj_get(check, "ok");
    ASSERT_TRUE(yyjson_is_bool(ok)) << idx;
    findings += yyjson_arr_size(yyjson_obj_get(check, "findings"));
    failed += yyjson_is_false(ok) ? 1 : 0;
    EXPECT_TRUE(yyjson_is_arr(yyjson_obj_get(check, "notes")));
    EXPECT_TRUE(yyjson_is_str(yyjson_obj_get(check, "title")));
  }
  EXPECT_GE(failed, 1u);
  EXPECT_EQ(yyjson_get_uint(yyjson_obj_get(top, "found")), findings);
  EXPECT_THAT(r.out, HasSubstr("/opt/caf\xEF\xBF\xBD/bin"));
  yyjson_doc_free(doc);

  Outcome clean = kenv({"doctor", "--json"}, {{"HOME", root() + "/other"}});
  EXPECT_THAT(clean.out, ::testing::StartsWith("{\"ok\":true,\"found\":0,"));
}

} // namespace

// Names that differ only in case, which earlier versions merged, are two variables now.
TEST_F(KenvDoctor, ListsStoredNamesThatDifferOnlyInCase) {
  kenv_ok({"set", "Foo", "1"});
  kenv_ok({"set", "FOO", "2"});
  EXPECT_THAT(doctor(1),
              HasSubstr("user 'Foo' and 'FOO' differ only in letter case: they are two variables now"));
}

// A system store kept in an administrator's data directory by an earlier version is not
// silently forgotten.
TEST_F(KenvDoctor, NotesAnOldSystemStoreInTheDataDirectory) {
  write(data_dir() + "/system-env.json", R"({"vars": [{"name": "EDITOR", "value": "vim"}]})");
  EXPECT_THAT(doctor(1), HasSubstr("system store " + data_dir() +
                                   "/system-env.json was left by an earlier version and is no longer read"));
}

// A value that is not UTF-8 in any environment.d file a session reads makes systemd 252's
// generator abort: the listing of each scope that reads the file warns of it, and doctor
// names the file and the line once.
TEST_F(KenvDoctor, NamesAnEnvironmentdLineThatIsNotUtf8) {
  write(sysconf_envd_file(), "GOOD=1\nBAD=caf\xE9\nLATER=2\n");
  std::string warning = R"({"code":"session_utf8","name":")" + sysconf_envd_file() +
                        R"(","message":"line 2: the value of BAD is not valid UTF-8)";
  for (const char *scope : {"user", "system"})
    EXPECT_THAT(kenv_ok({"list", "--json", "--scope", scope}), HasSubstr(warning)) << scope;
  std::string out = doctor(1);
  std::string finding = sysconf_envd_file() + " line 2: the value of BAD is not valid UTF-8";
  EXPECT_THAT(out, HasSubstr("\n         " + finding));
  EXPECT_EQ(out.find(finding), out.rfind(finding));
}

// An unset killed after its store landed, before environment.d caught up: the line it meant
// to remove is named with its file and line until the next change of the scope removes it.
TEST_F(KenvDoctor, NamesTheLineAKilledChangeLeftUntilTheNextChangeRemovesIt) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "B", "2"});
  // The renames of a change: the journal, the store, environment.d, the export file.
  Outcome killed = run_process({"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
                                "inject=rename:signal=KILL:when=3", KENV_BIN, "unset", "A"});
  ASSERT_EQ(killed.status, -1) << killed.err;
  std::string own = user_envd() + "/99-pellomar-user.conf";
  EXPECT_THAT(doctor(1), HasSubstr(own + " line 1: 'A' was left by a change that was killed part-way"));
  kenv_ok({"set", "D", "4"});
  EXPECT_EQ(read(own), "B=2\nD=4\n");
  EXPECT_EQ(kenv({"unset", "A"}).status, 1);
}

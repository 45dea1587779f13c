// kenv path: listing the PATH entries and editing them one at a time.
#include "kenv_run.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class KenvPath : public KenvTest {
protected:
  std::string path_value(const std::string &scope = "user") {
    return kenv_ok({"get", "PATH", "--scope", scope});
  }
};

TEST_F(KenvPath, AddAppendsAndInsertsAtAPosition) {
  kenv_ok({"path", "add", "/usr/bin"});
  kenv_ok({"path", "add", "/bin"});
  EXPECT_EQ(kenv_ok({"path", "add", "/usr/local/bin", "--at", "0"}), "");
  kenv_ok({"path", "add", "/sbin", "--at=2"});
  EXPECT_EQ(path_value(), "/usr/local/bin:/usr/bin:/sbin:/bin\n");
}

TEST_F(KenvPath, AddPastTheEndAppends) {
  kenv_ok({"path", "add", "/usr/bin"});
  kenv_ok({"path", "add", "/bin", "--at", "2147483647"});
  EXPECT_EQ(path_value(), "/usr/bin:/bin\n");
}

TEST_F(KenvPath, AddNotesAnEntryThatIsNoDirectory) {
  Outcome r = kenv({"path", "add", root() + "/missing"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kenv: note: '" + root() +
                       "/missing' is not an existing directory; added "
                       "all the same\n");
  EXPECT_EQ(path_value(), root() + "/missing\n");
}

TEST_F(KenvPath, AddRefusesADuplicate) {
  kenv_ok({"path", "add", "/usr/bin"});
  Outcome r = kenv({"path", "add", "/usr/bin/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: refused: duplicate PATH entry '/usr/bin/'\n");
  EXPECT_EQ(path_value(), "/usr/bin\n");
}

TEST_F(KenvPath, AUserEditThatEnvironmentDRefusesFailsAndChangesNothing) {
  // A directory where the library's own file belongs makes every write of it fail.
  write(user_envd() + "/99-pellomar-user.conf/.keep", "");
  Outcome r = kenv({"path", "add", "/usr/bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err,
              StartsWith("kenv: cannot write environment file " + user_envd() + "/99-pellomar-user.conf ("));
  EXPECT_EQ(kenv({"get", "PATH"}).err, "kenv: 'PATH' is not set in the user scope\n");
}

TEST_F(KenvPath, RmRemovesTheEntry) {
  kenv_ok({"path", "add", "/usr/bin"});
  kenv_ok({"path", "add", "/bin"});
  EXPECT_EQ(kenv_ok({"path", "rm", "/usr/bin"}), "");
  EXPECT_EQ(path_value(), "/bin\n");
}

TEST_F(KenvPath, RmOfAnUnknownEntryFails) {
  Outcome r = kenv({"path", "rm", "/nowhere"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: PATH entry not found: '/nowhere'\n");
}

TEST_F(KenvPath, RmExplainsAnEntryThatAStartUpFileAdds) {
  write(home() + "/.profile", "PATH=\"$HOME/tools:$PATH\"\n");
  Outcome r = kenv({"path", "rm", home() + "/tools"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: PATH entry not found: '" + home() +
                       "/tools'\n"
                       "kenv: note: '" +
                       home() +
                       "/tools' comes from rc:~/.profile; kenv does not "
                       "edit shell start-up files\n");
}

TEST_F(KenvPath, RmNamesTheFileOfAnotherFilesEntry) {
  write(user_envd() + "/10-x.conf", "PATH=$PATH:/opt/mine/bin\n");
  Outcome r = kenv({"path", "rm", "/opt/mine/bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: refused: PATH entry '/opt/mine/bin' comes from " + user_envd() +
                       "/10-x.conf, which only its own editor changes\n");
}

TEST_F(KenvPath, MvMovesAnEntryAndPastTheEndMakesItLast) {
  for (const char *entry : {"/a", "/b", "/c"})
    kenv({"path", "add", entry});
  EXPECT_EQ(kenv_ok({"path", "mv", "/c", "0"}), "");
  EXPECT_EQ(path_value(), "/c:/a:/b\n");
  kenv_ok({"path", "mv", "/c", "99"});
  EXPECT_EQ(path_value(), "/a:/b:/c\n");
}

TEST_F(KenvPath, PositionsMustBeNumbers) {
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"path", "mv", "/a", "-1"},
        std::vector<std::string>{"path", "mv", "/a", "first"},
        std::vector<std::string>{"path", "add", "/a", "--at", "2147483648"},
        std::vector<std::string>{"path", "add", "/a", "--at", ""}}) {
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_THAT(r.err, HasSubstr("must be a number from 0 on"));
  }
}

TEST_F(KenvPath, MissingWordsAndUnknownCommandsAreUsageErrors) {
  EXPECT_EQ(kenv({"path", "add"}).err, "kenv: missing ENTRY\nTry 'kenv path add --help'.\n");
  EXPECT_EQ(kenv({"path", "mv", "/a"}).err, "kenv: missing N\nTry 'kenv path mv --help'.\n");
  Outcome r = kenv({"path", "shuffle"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kenv: unknown path command 'shuffle' (list, add, rm, mv, off or on)\n"
                   "Try 'kenv path --help'.\n");
}

TEST_F(KenvPath, ListIsTheDefaultAndTakesTheScopeAnywhere) {
  kenv_ok({"path", "add", "/usr/bin", "--scope", "system"});
  std::string expected = "PATH (1 entry, separator ':')\n"
                         "  #  state  source  entry\n"
                         "  0  ok     path    /usr/bin\n";
  EXPECT_EQ(kenv_ok({"path", "--scope", "system"}), expected);
  EXPECT_EQ(kenv_ok({"path", "list", "--scope", "system"}), expected);
  EXPECT_EQ(kenv_ok({"path", "--scope", "system", "list"}), expected);
  // The user's sessions get the system's entries too: listed, but not the user scope's.
  EXPECT_THAT(kenv_ok({"path"}), StartsWith("PATH (1 entry, separator ':')\n  #  state  source   entry\n"
                                            "  0  ok     session  /usr/bin\n"));
}

TEST_F(KenvPath, EditsGoToTheChosenScope) {
  kenv_ok({"path", "--scope", "system", "add", "/usr/bin"});
  kenv_ok({"path", "add", "/bin"});
  EXPECT_EQ(path_value("system"), "/usr/bin\n");
  EXPECT_EQ(path_value("user"), "/bin\n");
  kenv_ok({"path", "rm", "/usr/bin", "--scope", "system"});
  EXPECT_EQ(path_value("system"), "\n");
}

TEST_F(KenvPath, AnEntryStartingWithADashNeedsDoubleDash) {
  EXPECT_EQ(kenv({"path", "add", "-weird"}).status, 2);
  EXPECT_EQ(kenv({"path", "add", "--", "-weird"}).status, 0);
  EXPECT_EQ(path_value(), "-weird\n");
}

} // namespace

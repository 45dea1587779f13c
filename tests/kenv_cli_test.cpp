// kenv's general conventions and its variable commands: help, version, usage errors,
// list, get, set and unset, colour, and failures passed through from the library.
#include "kenv_run.h"

#include <filesystem>

#include "kestrune_env.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

// The library's own listing, as kenv --json must print it.
std::string library_listing(const char *scope) {
  char *text = env_list(scope);
  std::string out = text ? text : "";
  env_free_string(text);
  return out;
}

class KenvCli : public KenvTest {};

TEST_F(KenvCli, VersionPrintsTheProjectVersion) {
  Outcome r = kenv({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "kenv " KENV_VERSION "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(KenvCli, HelpDescribesEveryCommandWithExamples) {
  std::string help = kenv_ok({"--help"});
  EXPECT_THAT(help, StartsWith("kenv - "));
  for (const char *command :
       {"list", "get", "set", "unset", "path", "backups", "restore", "shell-init", "doctor"})
    EXPECT_THAT(help, HasSubstr("\n  " + std::string(command) + " "));
  EXPECT_THAT(help, HasSubstr("Examples:"));
  EXPECT_EQ(kenv_ok({"-h"}), help);
  EXPECT_EQ(kenv_ok({"help"}), help);
}

TEST_F(KenvCli, EverySubcommandHasItsOwnHelpWithExamples) {
  const std::vector<std::vector<std::string>> commands{
      {"list"},         {"get"},         {"set"},        {"unset"},      {"path"},
      {"path", "list"}, {"path", "add"}, {"path", "rm"}, {"path", "mv"}, {"backups"},
      {"restore"},      {"shell-init"},  {"doctor"}};
  for (const auto &words : commands) {
    std::string name = words[0] + (words.size() > 1 ? " " + words[1] : "");
    std::vector<std::string> args = words;
    args.push_back("--help");
    std::string help = kenv_ok(args);
    EXPECT_THAT(help, StartsWith("Usage: kenv " + name)) << name;
    EXPECT_THAT(help, HasSubstr("Examples:\n  kenv " + words[0])) << name;
    std::vector<std::string> via_help{"help"};
    via_help.insert(via_help.end(), words.begin(), words.end());
    EXPECT_EQ(kenv_ok(via_help), help) << name;
  }
}

TEST_F(KenvCli, HelpWinsOverMissingArguments) {
  EXPECT_THAT(kenv_ok({"set", "-h"}), StartsWith("Usage: kenv set NAME VALUE"));
}

TEST_F(KenvCli, NoCommandIsAUsageErrorThatShowsTheUsage) {
  Outcome r = kenv({});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, StartsWith("kenv: missing command\nUsage: kenv [--scope user|system] COMMAND"));
  EXPECT_THAT(r.err, HasSubstr("\nTry 'kenv --help'.\n"));
}

TEST_F(KenvCli, GlobalOptionsMayComeBeforeTheCommand) {
  std::string bin = root() + "/bin";
  write(bin + "/.keep", "");
  kenv_ok({"--scope", "system", "set", "WHERE", "system-value"});
  kenv_ok({"--scope=system", "path", "add", bin});
  EXPECT_EQ(kenv_ok({"--scope", "system", "get", "WHERE"}), "system-value\n");
  EXPECT_EQ(kenv_ok({"get", "WHERE", "--scope", "system"}), "system-value\n");
  EXPECT_EQ(kenv({"get", "WHERE"}).status, 1);
  EXPECT_THAT(kenv_ok({"--scope", "system", "path"}), HasSubstr(bin));
  EXPECT_EQ(kenv_ok({"--scope", "system", "list", "--json"}), library_listing("system") + "\n");
  EXPECT_THAT(kenv_ok({"--scope", "system", "--help"}), StartsWith("kenv - "));
  Outcome alone = kenv({"--scope", "system"});
  EXPECT_EQ(alone.status, 2);
  EXPECT_EQ(alone.err, "kenv: missing command after --scope\nTry 'kenv --help'.\n");
}

TEST_F(KenvCli, EmptyingPathNeedsForceAndSaysWhatItRemoves) {
  EXPECT_EQ(kenv({"path", "add", "/opt/a"}).status, 0);
  EXPECT_EQ(kenv({"path", "add", "/opt/b"}).status, 0);
  Outcome refused = kenv({"set", "PATH", ""});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "kenv: refused: an empty PATH removes all 2 entries of the user scope's PATH: "
                         "'/opt/a', '/opt/b'; add --force to do that\n");
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "/opt/a:/opt/b\n");
  Outcome forced = kenv({"set", "PATH", "", "--force"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(forced.err, "kenv: note: removed all 2 entries of the user scope's PATH: '/opt/a', '/opt/b'\n");
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "\n");
  // Nothing left to remove: no question asked.
  EXPECT_EQ(kenv_ok({"set", "PATH", ""}), "");
}

TEST_F(KenvCli, ListSaysThatAnEmptyValueLeftEnvironmentD) {
  kenv_ok({"set", "EMPTY", ""});
  kenv_ok({"set", "FULL", "x"});
  std::string out = kenv_ok({"list"});
  EXPECT_THAT(
      out, HasSubstr("  overlay  EMPTY=\n"
                     "             empty: removed from environment.d, so new sessions do not define it\n"));
  EXPECT_THAT(out, HasSubstr("  overlay  FULL=x\n  overlay"));
  EXPECT_THAT(read(user_envd() + "/99-pellomar-user.conf"), Not(HasSubstr("EMPTY")));
}

TEST_F(KenvCli, UsageErrorsExitWithTwoAndPointToTheHelp) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"frobnicate"}, "kenv: unknown command 'frobnicate'\nTry 'kenv --help'.\n"},
      {{"--frob"}, "kenv: unknown option '--frob'\nTry 'kenv --help'.\n"},
      {{"list", "--frob"},
       "kenv: unknown option '--frob' (put -- before a word that starts with '-')\n"
       "Try 'kenv list --help'.\n"},
      {{"list", "extra"}, "kenv: unexpected word 'extra'\nTry 'kenv list --help'.\n"},
      {{"get"}, "kenv: missing NAME\nTry 'kenv get --help'.\n"},
      {{"set", "A"}, "kenv: missing VALUE\nTry 'kenv set --help'.\n"},
      {{"set", "A", "1", "2"}, "kenv: unexpected word '2'\nTry 'kenv set --help'.\n"},
      {{"unset"}, "kenv: missing NAME\nTry 'kenv unset --help'.\n"},
      {{"list", "--scope"}, "kenv: option --scope needs a value\nTry 'kenv list --help'.\n"},
      {{"list", "--scope", "global"},
       "kenv: --scope must be 'user' or 'system', not 'global'\nTry 'kenv list --help'.\n"},
      {{"list", "--json=yes"}, "kenv: option --json takes no value\nTry 'kenv list --help'.\n"},
      {{"list", "--max-width", "0"}, "kenv: --max-width must be at least 1\nTry 'kenv list --help'.\n"},
      {{"help", "nothing"}, "kenv: no help for 'nothing'\nTry 'kenv --help'.\n"},
  };
  for (const Case &c : cases) {
    Outcome r = kenv(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0];
    EXPECT_EQ(r.out, "") << c.args[0];
    EXPECT_EQ(r.err, c.message) << c.args[0];
  }
}

TEST_F(KenvCli, AUsageErrorChangesNothing) {
  EXPECT_EQ(kenv({"set", "A", "1", "--scope", "everywhere"}).status, 2);
  EXPECT_EQ(kenv({"get", "A"}).status, 1);
  EXPECT_EQ(read(data_dir() + "/user-env.json"), "");
}

TEST_F(KenvCli, SetIsSilentAndGetPrintsTheValueUnchanged) {
  const std::string value = "it's \"quoted\", $HOME, ${X}, %Y%, back\\slash, gr\u00FC\u00DFe";
  EXPECT_EQ(kenv_ok({"set", "TRICKY", value}), "");
  EXPECT_EQ(kenv_ok({"get", "TRICKY"}), value + "\n");
}

TEST_F(KenvCli, SetAcceptsAnEmptyValueAndOneAfterDoubleDash) {
  kenv_ok({"set", "EMPTY", ""});
  EXPECT_EQ(kenv_ok({"get", "EMPTY"}), "\n");
  kenv_ok({"set", "LESS", "--", "-R"});
  EXPECT_EQ(kenv_ok({"get", "LESS"}), "-R\n");
  kenv_ok({"set", "--scope=user", "DASH", "-"});
  EXPECT_EQ(kenv_ok({"get", "DASH"}), "-\n");
}

TEST_F(KenvCli, ANegativeNumberIsAValueNotAnOption) {
  kenv_ok({"set", "OFFSET", "-5"});
  EXPECT_EQ(kenv_ok({"get", "OFFSET"}), "-5\n");
}

TEST_F(KenvCli, GetExpandsReferencesWithinTheScopeOnRequest) {
  kenv_ok({"set", "ROOT", "/opt/tools"});
  kenv_ok({"set", "TOOLS_BIN", "${ROOT}/bin:$ROOT/sbin"});
  EXPECT_EQ(kenv_ok({"get", "TOOLS_BIN"}), "${ROOT}/bin:$ROOT/sbin\n");
  EXPECT_EQ(kenv_ok({"get", "TOOLS_BIN", "--expanded"}), "/opt/tools/bin:/opt/tools/sbin\n");
}

TEST_F(KenvCli, GetFindsANameWrittenInAnotherLetterCase) {
  kenv_ok({"set", "Editor", "vim"});
  EXPECT_EQ(kenv_ok({"get", "EDITOR"}), "vim\n");
}

TEST_F(KenvCli, GetOfAnUnknownNameFailsWithStatusOne) {
  Outcome r = kenv({"get", "NOPE"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kenv: 'NOPE' is not set in the user scope\n");
}

TEST_F(KenvCli, ScopesAreSeparateAndUserIsTheDefault) {
  kenv_ok({"set", "WHERE", "system-value", "--scope", "SYSTEM"});
  kenv_ok({"set", "WHERE", "user-value"});
  EXPECT_EQ(kenv_ok({"get", "WHERE", "--scope", "system"}), "system-value\n");
  EXPECT_EQ(kenv_ok({"get", "WHERE"}), "user-value\n");
  EXPECT_THAT(read(system_envd() + "/99-pellomar-system.conf"), HasSubstr("WHERE=system-value"));
  EXPECT_THAT(read(user_envd() + "/99-pellomar-user.conf"), HasSubstr("WHERE=user-value"));
}

TEST_F(KenvCli, UnsetDeletesAVariable) {
  kenv_ok({"set", "GONE", "soon"});
  EXPECT_EQ(kenv_ok({"unset", "GONE"}), "");
  EXPECT_EQ(kenv({"get", "GONE"}).status, 1);
}

TEST_F(KenvCli, LibraryFailuresArePassedThroughWithStatusOne) {
  // Each refusal below changes nothing, so asking the library directly afterwards gives
  // the same words kenv must have printed.
  struct Case {
    std::vector<std::string> args;
    int (*call)();
  };
  const Case cases[] = {
      {{"unset", "PATH"}, [] { return env_del("user", "PATH"); }},
      {{"unset", "NEVER_SET"}, [] { return env_del("user", "NEVER_SET"); }},
      {{"set", "", "x"}, [] { return env_set("user", "", "x"); }},
  };
  for (const Case &c : cases) {
    Outcome r = kenv(c.args);
    ASSERT_EQ(c.call(), 0);
    std::string message = env_last_error();
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kenv: " + message + "\n");
  }
  EXPECT_THAT(kenv({"unset", "PATH"}).err, HasSubstr("'PATH' is a protected name"));
}

TEST_F(KenvCli, ListJsonIsTheLibrarysDocument) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "B", "2", "--scope", "system"});
  EXPECT_EQ(kenv_ok({"list", "--json"}), library_listing("user") + "\n");
  EXPECT_EQ(kenv_ok({"list", "--json", "--scope", "system"}), library_listing("system") + "\n");
}

TEST_F(KenvCli, ListShowsAnEmptyScope) {
  std::string out = kenv_ok({"list"});
  EXPECT_THAT(out, StartsWith("Scope user on linux, written to environment.d\n"));
  EXPECT_THAT(out, HasSubstr("\nVariables (0)\n\nPATH (0 entries, separator ':')\n"));
  EXPECT_THAT(out, HasSubstr("\nWarnings (0)\n"));
  EXPECT_THAT(out, HasSubstr("Export file\n  " + user_export() + " (not written yet"));
}

TEST_F(KenvCli, ListShowsValuesExpansionsSourcesPathAndWarnings) {
  write(user_envd() + "/50-mine.conf", "FROM_FILE=here\n");
  std::string bin = root() + "/bin";
  write(bin + "/.keep", "");
  kenv_ok({"set", "BASE", "/srv"});
  kenv_ok({"set", "DATA", "$BASE/data"});
  kenv_ok({"path", "add", bin});
  Outcome add = kenv({"path", "add", root() + "/nowhere"});
  EXPECT_EQ(add.status, 0);
  std::string out = kenv_ok({"list"});
  EXPECT_THAT(out, HasSubstr("\nVariables (4)\n"
                             "  envd-user  FROM_FILE=here\n"
                             "  overlay    BASE=/srv\n"
                             "  overlay    DATA=$BASE/data\n"
                             "               expands to: /srv/data\n"
                             "  overlay    PATH=" +
                             bin + ":" + root() + "/nowhere\n"));
  EXPECT_THAT(out, HasSubstr("PATH (2 entries, separator ':')\n"
                             "  #  state    source  entry\n"
                             "  0  ok       path    " +
                             bin +
                             "\n"
                             "  1  missing  path    " +
                             root() + "/nowhere\n"));
  EXPECT_THAT(out, HasSubstr("Warnings (1)\n  ! PATH entry does not exist (warn, not refused): " + root() +
                             "/nowhere\n"));
  EXPECT_THAT(out,
              HasSubstr("Export file\n  " + user_export() + "\n  source it:  . '" + user_export() + "'\n"));
  EXPECT_THAT(out, HasSubstr("PATH entries are appended to the PATH the shell already has"));
}

TEST_F(KenvCli, ListMarksDuplicatesAndEntriesFromStartUpFiles) {
  write(user_envd() + "/50-mine.conf", "PATH=/usr/bin:/usr/bin/\n");
  write(home() + "/.bashrc", "export PATH=\"$HOME/.cargo/bin:$PATH\"\n");
  std::string out = kenv_ok({"list"});
  EXPECT_THAT(out, HasSubstr("  #  state      source        entry\n"
                             "  0  ok         session       /usr/bin\n"
                             "  1  duplicate  session       /usr/bin/\n"
                             "  2  missing    rc:~/.bashrc  " +
                             home() + "/.cargo/bin\n"));
  EXPECT_THAT(out, HasSubstr("  ! duplicate PATH entry: /usr/bin/\n"));
}

// Debian's skeleton ~/.profile adds ~/bin and ~/.local/bin only when they exist, so a new
// account's first listing has nothing to warn of; an entry whose directory is made later
// is listed, and fine.
TEST_F(KenvCli, ANewDebianAccountsFirstListRaisesNoAlarm) {
  for (const char *debian : {"debian12", "debian13"}) {
    std::filesystem::remove_all(home() + "/bin");
    for (const char *file : {"profile", "bashrc"})
      write(home() + "/." + file, read(std::string(KENV_TEST_DATA "/") + debian + "-skel." + file));
    std::string out = kenv_ok({"list"});
    EXPECT_THAT(out, HasSubstr("\nPATH (0 entries, separator ':')\n")) << debian;
    EXPECT_THAT(out, HasSubstr("\nWarnings (0)\n")) << debian;
    std::filesystem::create_directories(home() + "/bin");
    out = kenv_ok({"list"});
    EXPECT_THAT(out, HasSubstr("  0  ok     rc:~/.profile  " + home() + "/bin\n")) << debian;
    EXPECT_THAT(out, HasSubstr("\nWarnings (0)\n")) << debian;
  }
}

TEST_F(KenvCli, ListShowsControlCharactersEscapedAndValuesWhole) {
  // environment.d refuses control characters from kenv, but a file of its own may hold them.
  write(user_envd() + "/50-mine.conf", "TABBED=\"a\tb\x1b[31m\"\nC1=\"x\xC2\x9By\"\n");
  std::string long_value(5000, 'x');
  kenv_ok({"set", "LONG", long_value});
  std::string out = kenv_ok({"list"});
  EXPECT_THAT(out, HasSubstr("LONG=" + long_value + "\n"));
  EXPECT_THAT(out, HasSubstr("TABBED=a\\tb\\e[31m\n"));
  EXPECT_THAT(out, HasSubstr("C1=x\\xC2\\x9By\n"));
  EXPECT_EQ(kenv_ok({"get", "TABBED"}), "a\tb\x1b[31m\n");
  EXPECT_THAT(out, HasSubstr("value length exceeds Windows 4095-char registry caution: LONG is "
                             "5000 bytes\n"));
}

TEST_F(KenvCli, ListCutsValuesOnlyWhenAsked) {
  kenv_ok({"set", "LONG", "abcdefghij"});
  kenv_ok({"set", "SHORT", "abc"});
  std::string out = kenv_ok({"list", "--max-width", "5"});
  EXPECT_THAT(out, HasSubstr("LONG=abcd\xE2\x80\xA6\n"));
  EXPECT_THAT(out, HasSubstr("SHORT=abc\n"));
}

TEST_F(KenvCli, ColourOnlyOnATerminalWithoutNoColor) {
  kenv_ok({"set", "A", "1"});
  EnvChanges env{{"NO_COLOR", std::nullopt}, {"TERM", "xterm"}};
  Outcome tty = run_in_terminal({KENV_BIN, "list"}, env);
  EXPECT_EQ(tty.status, 0);
  EXPECT_THAT(tty.out, HasSubstr("\x1b["));
  env["NO_COLOR"] = "1";
  Outcome no_color = run_in_terminal({KENV_BIN, "list"}, env);
  EXPECT_EQ(no_color.status, 0);
  EXPECT_THAT(no_color.out, HasSubstr("A=1"));
  EXPECT_THAT(no_color.out, Not(HasSubstr("\x1b[")));
  EXPECT_THAT(kenv_ok({"list"}, {{"TERM", "xterm"}}), Not(HasSubstr("\x1b[")));
}

TEST_F(KenvCli, OutputThatCannotBeWrittenIsAFailure) {
  Outcome r = run_process({KENV_BIN, "list"}, {}, "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, StartsWith("kenv: cannot write output: "));
}

} // namespace

// Reading leaves no trace: a listing, a backup listing, shell-init and doctor create
// nothing in the home directory, and the listing still names the export file.
TEST_F(KenvCli, ReadingCommandsCreateNothing) {
  std::filesystem::create_directories(home());
  for (const std::vector<std::string> &args : {std::vector<std::string>{"list"},
                                               {"list", "--scope", "system"},
                                               {"backups"},
                                               {"shell-init"},
                                               {"doctor"}})
    kenv(args);
  EXPECT_TRUE(std::filesystem::is_empty(home()));
  EXPECT_NE(kenv_ok({"list"}).find(user_export() + " (not written yet"), std::string::npos);
}

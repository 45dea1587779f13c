// kenv shell-init against the real shells: the printed lines go into each shell's start-up
// file, the shell starts as a user's would, and what it exports must be exactly what kenv
// stored. Needs sh (dash), bash, zsh and fish installed.
#include "kenv_run.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

struct Shell {
  std::string name;               // as --shell takes it
  std::string binary;             // absolute path, "" when not installed
  std::string start_up;           // start-up file, relative to HOME
  std::vector<std::string> flags; // what makes it read that file
};

// sh, dash and bash login shells read /etc/profile, zsh and fish do not.
bool reads_etc_profile(const std::string &shell) {
  return shell == "sh" || shell == "dash" || shell == "bash";
}

// What Debian's /etc/profile does before the user's start-up file: a fresh PATH, then every
// drop-in of profile.d. The tests never touch /etc, so this stands in for it.
std::string debian_profile() {
  return "PATH=/usr/bin:/bin; export PATH\n"
         "for i in " KENV_SYSCONFDIR "/profile.d/*.sh; do\n"
         "  if [ -r \"$i\" ]; then . \"$i\"; fi\n"
         "done\n"
         "unset i\n";
}

std::string find_binary(const std::string &name) {
  for (const char *dir : {"/bin/", "/usr/bin/", "/usr/local/bin/"}) {
    std::string path = dir + name;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      return path;
  }
  return "";
}

Shell shell_named(const std::string &name) {
  if (name == "sh") // a login shell reads ~/.profile
    return {name, find_binary("sh"), ".profile", {"-l", "-c"}};
  if (name == "dash")
    return {name, find_binary("dash"), ".profile", {"-l", "-c"}};
  if (name == "bash") // an interactive shell reads ~/.bashrc
    return {name, find_binary("bash"), ".bashrc", {"-i", "-c"}};
  if (name == "zsh") // every zsh reads ~/.zshenv
    return {name, find_binary("zsh"), ".zshenv", {"-c"}};
  return {name, find_binary("fish"), ".config/fish/conf.d/kenv.fish", {"-c"}};
}

std::vector<std::string> split_path(const std::string &path) {
  std::vector<std::string> entries;
  for (std::size_t at = 0;;) {
    std::size_t end = path.find(':', at);
    entries.push_back(path.substr(at, end - at));
    if (end == std::string::npos)
      return entries;
    at = end + 1;
  }
}

// bash complains on stderr when it is interactive without a terminal; nothing else may.
std::string real_complaints(const std::string &err) {
  std::string out;
  for (std::size_t at = 0; at < err.size();) {
    std::size_t end = std::min(err.find('\n', at), err.size());
    std::string line = err.substr(at, end - at);
    if (line.find("cannot set terminal process group") == std::string::npos &&
        line.find("no job control in this shell") == std::string::npos)
      out += line + "\n";
    at = end + 1;
  }
  return out;
}

// zsh code that loads every module the installed zsh ships, as a start-up file may, but
// zsh/example (a sample that defines parameters to show how) and zsh/newuser (which may
// start the set-up of a new user's files).
const char zsh_all_modules[] = "() { local d m; for d in $module_path; do for m in $d/zsh/**/*.so(N); do\n"
                               "  [[ $m = */(example|newuser).so ]] || zmodload ${${m#$d/}%.so} 2>/dev/null\n"
                               "done; done; }\n";

// The names the shells keep for themselves, as they list them when started clean: zsh's
// parameters, with every module loaded, whose flags make them more than a plain variable
// (special, read-only, integer, float, array or association); every variable an
// interactive bash sets; every variable fish sets. PATH is left
// out: it is the search path, which the export file extends instead of setting.
std::vector<std::string> shell_parameter_names(const std::string &fish_home) {
  const std::string zsh_listing =
      zsh_all_modules + std::string("for k in ${(k)parameters}; do\n"
                                    "  [[ ${parameters[$k]} = (scalar|scalar-export) ]] || print -r -- $k\n"
                                    "done\n");
  const std::vector<std::vector<std::string>> listings = {
      {"/usr/bin/env", "-i", find_binary("zsh"), "-f", "-c", zsh_listing},
      {"/usr/bin/env", "-i", find_binary("bash"), "--norc", "-i", "-c", "compgen -v"},
      {"/usr/bin/env", "-i", "HOME=" + fish_home, find_binary("fish"), "--no-config", "-c", "set -n"}};
  std::set<std::string> names;
  for (const std::vector<std::string> &listing : listings) {
    std::string out = run_process(listing).out;
    EXPECT_NE(out, "") << listing[2];
    for (std::size_t at = 0; at < out.size();) {
      std::size_t end = std::min(out.find('\n', at), out.size());
      std::string name = out.substr(at, end - at);
      at = end + 1;
      bool identifier = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
                        std::all_of(name.begin(), name.end(), [](char c) {
                          return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                        });
      if (identifier && name != "PATH")
        names.insert(name);
    }
  }
  return {names.begin(), names.end()};
}

class KenvShell : public KenvTest, public ::testing::WithParamInterface<const char *> {
protected:
  void SetUp() override {
    KenvTest::SetUp();
    shell_ = shell_named(GetParam());
    if (shell_.binary.empty())
      GTEST_SKIP() << GetParam() << " is not installed";
  }

  // Writes what `kenv shell-init` prints for this shell into its start-up file, after what
  // /etc/profile gives the shells that read it.
  void install(const EnvChanges &env = {}, const std::string &prelude = "") {
    std::string before = reads_etc_profile(shell_.name) ? debian_profile() : "";
    write(home() + "/" + shell_.start_up,
          before + prelude + kenv_ok({"shell-init", "--shell", shell_.name}, env));
  }

  // Starts the shell, has it run `command`, and returns what it printed on stdout.
  Outcome start(const std::string &command, const EnvChanges &env = {}) {
    std::vector<std::string> argv{shell_.binary};
    argv.insert(argv.end(), shell_.flags.begin(), shell_.flags.end());
    argv.push_back(command);
    EnvChanges changes{{"PATH", "/usr/bin:/bin"}, {"SHELL", shell_.binary}};
    for (const auto &[name, value] : env)
      changes[name] = value;
    Outcome r = run_process(argv, changes);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(real_complaints(r.err), "");
    return r;
  }

  std::map<std::string, std::string> exported(const EnvChanges &env = {}) {
    return parse_env0(start("env -0", env).out);
  }

  Shell shell_;
};

// Each shell gets what a new session gets from environment.d: references expand, every
// other byte is literal, and an empty value (which environment.d drops) defines nothing.
TEST_P(KenvShell, LoadsTheValuesASessionGets) {
  const std::map<std::string, std::string> values{
      {"QUOTES", "it's \"double\" and 'single'"},   {"DOLLARS", "$HOME ${HOME}/go $(id) `id` $$ %PATH% $"},
      {"BACKSLASHES", "C:\\new\\table \\\\ end\\"}, {"SPACES", "  two leading,  two trailing  "},
      {"UNICODE", "gr\u00FC\u00DFe \u2713"},        {"EMPTY", ""},
  };
  for (const auto &[name, value] : values)
    kenv_ok({"set", name, value});
  install();
  std::map<std::string, std::string> env = exported();
  std::map<std::string, std::string> session = values;
  session["DOLLARS"] = home() + " " + home() + "/go $(id) `id` $$ %PATH% $";
  session.erase("EMPTY");
  for (const auto &[name, value] : session) {
    ASSERT_EQ(env.count(name), 1u) << name;
    EXPECT_EQ(env[name], value) << name;
  }
  EXPECT_EQ(env.count("EMPTY"), 0u);
}

// The system scope reaches every shell: sh, dash and bash through /etc/profile's drop-ins,
// zsh and fish through the lines kenv prints.
TEST_P(KenvShell, LoadsTheSystemScopeFirstSoThatUserValuesWin) {
  std::string admin = root() + "/admin";
  EnvChanges as_admin{
      {"HOME", admin}, {"XDG_DATA_HOME", admin + "/.local/share"}, {"XDG_CONFIG_HOME", admin + "/.config"}};
  kenv_ok({"set", "ONLY_SYSTEM", "from system", "--scope", "system"}, as_admin);
  kenv_ok({"set", "BOTH", "system value", "--scope", "system"}, as_admin);
  kenv_ok({"set", "BOTH", "user value"});
  install();
  std::map<std::string, std::string> env = exported();
  EXPECT_EQ(env["ONLY_SYSTEM"], "from system");
  EXPECT_EQ(env["BOTH"], "user value");
}

TEST_P(KenvShell, AddsPathEntriesAfterThePathTheShellHasOnceEach) {
  std::string system_bin = root() + "/system bin", user_bin = root() + "/user-bin";
  write(system_bin + "/.keep", "");
  write(user_bin + "/.keep", "");
  kenv_ok({"path", "add", system_bin, "--scope", "system"});
  kenv_ok({"path", "add", user_bin});
  kenv_ok({"path", "add", system_bin});
  kenv_ok({"path", "add", "/usr/bin"});
  install();
  // A shell started from a shell that loaded the lines already has the entries.
  std::string nested = shell_.binary;
  for (const std::string &flag : shell_.flags)
    nested += " " + flag;
  nested += " 'env -0'";
  for (const std::string &command : {std::string("env -0"), nested}) {
    std::vector<std::string> path = split_path(parse_env0(start(command).out)["PATH"]);
    for (const std::string &entry : {std::string("/usr/bin"), system_bin, user_bin})
      EXPECT_EQ(std::count(path.begin(), path.end(), entry), 1) << entry << " in " << command;
    ASSERT_GE(path.size(), 3u);
    EXPECT_EQ(path[path.size() - 2], system_bin) << command;
    EXPECT_EQ(path.back(), user_bin) << command;
    EXPECT_EQ(std::count(path.begin(), path.end(), ""), 0) << command;
  }
}

TEST_P(KenvShell, ReadsNewlinesQuotesAndBackslashesInTheExportFile) {
  // The library refuses a newline for environment.d, but an export file may still hold one
  // (from a store written elsewhere); the lines must read every value the format allows.
  write(user_export(), "# export file\n"
                       "export NL='first\nsecond\n'\n"
                       "export QUOTE='it'\\''s'\n"
                       "export ONLY_QUOTE=''\\'''\n"
                       "export TRAIL='ends in \\'\n"
                       "export EQUALS='a=b=c'\n");
  install();
  std::map<std::string, std::string> env = exported();
  EXPECT_EQ(env["NL"], "first\nsecond\n");
  EXPECT_EQ(env["QUOTE"], "it's");
  EXPECT_EQ(env["ONLY_QUOTE"], "'");
  EXPECT_EQ(env["TRAIL"], "ends in \\");
  EXPECT_EQ(env["EQUALS"], "a=b=c");
}

TEST_P(KenvShell, WorksWhenTheDataDirectoryNameHoldsAQuote) {
  std::string data = root() + "/it's \"data\" $dir";
  EnvChanges env{{"XDG_DATA_HOME", data}};
  kenv_ok({"set", "WHERE", "quoted dir"}, env);
  install(env);
  EXPECT_EQ(exported(env)["WHERE"], "quoted dir");
}

TEST_P(KenvShell, StartsQuietlyBeforeAnythingWasStored) {
  install();
  Outcome r = start("echo started");
  EXPECT_EQ(r.out, "started\n");
  EXPECT_THAT(parse_env0(start("env -0").out)["PATH"], StartsWith("/"));
}

// Names whose assignment changes the shell rather than its environment stay out of the
// export file: zsh takes UID, EUID, GID, EGID and USERNAME as orders to change its ids (for
// good, as root), a read-only name or one a shell refuses ends zsh's reading of the file
// there and makes fish complain at every start, and zsh reads the value of an integer
// parameter as arithmetic, which stops it at a word under nounset. The names come from the
// shells themselves, each stored with a user or group id and with a user name.
TEST_P(KenvShell, NoStoredNameChangesTheShellsIdsOrEndsItsStartUp) {
  std::vector<std::string> names = shell_parameter_names(root() + "/fish-home");
  ASSERT_GT(names.size(), 100u);
  std::vector<std::string> preludes{""};
  if (shell_.name == "zsh")
    preludes = {zsh_all_modules, zsh_all_modules + std::string("setopt nounset\n")};
  const std::string probe = "id -u; id -g; id -G; printf %s \"$AFTER\"";
  install();
  const std::string ids = start(probe).out;
  for (const char *value : {"1", "daemon"}) {
    std::string vars;
    for (const std::string &name : names)
      vars += "{\"name\": \"" + name + "\", \"value\": \"" + value + "\"}, ";
    write(root() + "/names.json", "{\"format\": \"kenv-state/1\", \"vars\": [" + vars +
                                      "{\"name\": \"AFTER\", \"value\": \"ok\"}], \"path\": []}");
    kenv_ok({"apply", root() + "/names.json"});
    for (const std::string &prelude : preludes) {
      SCOPED_TRACE("every name set to '" + std::string(value) + "' after " + prelude);
      install({}, prelude);
      EXPECT_EQ(start(probe).out, ids + "ok");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shells, KenvShell, ::testing::Values("sh", "dash", "bash", "zsh", "fish"));

class KenvShellInit : public KenvTest {};

// A login shell of sh, dash or bash gets the system scope from /etc/profile alone, as every
// user's does: the drop-in is readable by all, and adds to the PATH the profile set.
TEST_F(KenvShellInit, LoginShellsGetTheSystemScopeFromTheProfileDropIn) {
  std::string bin = root() + "/opt bin";
  write(bin + "/.keep", "");
  kenv_ok({"set", "EDITOR", "it's vim", "--scope", "system"});
  kenv_ok({"set", "GOPATH", "$HOME/go", "--scope", "system"});
  kenv_ok({"path", "add", bin, "--scope", "system"});
  for (const char *name : {"sh", "dash", "bash"}) {
    Shell shell = shell_named(name);
    if (shell.binary.empty())
      continue;
    Outcome r = run_process({shell.binary, "-c", debian_profile() + "env -0"});
    EXPECT_EQ(r.err, "") << name;
    std::map<std::string, std::string> env = parse_env0(r.out);
    EXPECT_EQ(env["EDITOR"], "it's vim") << name;
    EXPECT_EQ(env["GOPATH"], home() + "/go") << name;
    EXPECT_EQ(env["PATH"], "/usr/bin:/bin:" + bin) << name;
  }
}

TEST_F(KenvShellInit, ChoosesTheShellFromShellVariable) {
  EXPECT_THAT(kenv_ok({"shell-init"}, {{"SHELL", "/usr/bin/fish"}}),
              HasSubstr("`kenv shell-init --shell fish`"));
  EXPECT_THAT(kenv_ok({"shell-init"}, {{"SHELL", "/bin/bash"}}), HasSubstr("`kenv shell-init --shell bash`"));
  EXPECT_THAT(kenv_ok({"shell-init"}, {{"SHELL", "/bin/tcsh"}}), HasSubstr("`kenv shell-init --shell sh`"));
  EXPECT_THAT(kenv_ok({"shell-init"}, {{"SHELL", std::nullopt}}), HasSubstr("`kenv shell-init --shell sh`"));
}

// Login shells of sh, dash and bash get the system drop-in from /etc/profile already; loading
// it again would only add its PATH entries twice.
TEST_F(KenvShellInit, LoadsTheSystemDropInOnlyForShellsThatSkipEtcProfile) {
  std::string both = "'" + system_export() + "' '" + user_export() + "'";
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"sh", "for kenv_file in '" + user_export() + "'; do\n"},
      {"dash", "for kenv_file in '" + user_export() + "'; do\n"},
      {"bash", "for kenv_file in '" + user_export() + "'; do\n"},
      {"zsh", "for kenv_file in " + both + "; do\n"},
      {"fish", "    for kenv_file in " + both + "\n"},
  };
  for (const auto &[shell, line] : lines) {
    std::string out = kenv_ok({"shell-init", "--shell", shell});
    EXPECT_THAT(out, HasSubstr(line)) << shell;
    if (reads_etc_profile(shell)) {
      EXPECT_THAT(out, Not(HasSubstr(system_export()))) << shell;
    }
  }
  EXPECT_THAT(kenv_ok({"shell-init", "--shell", "zsh"}), HasSubstr("# add it to ~/.zshrc"));
}

TEST_F(KenvShellInit, RefusesAnUnknownShell) {
  Outcome r = kenv({"shell-init", "--shell", "csh"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kenv: --shell must be sh, dash, bash, zsh or fish, not 'csh'\n"
                   "Try 'kenv shell-init --help'.\n");
}

TEST_F(KenvShellInit, FailsWithTheLibrarysWordsWithoutAHome) {
  Outcome r =
      kenv({"shell-init", "--shell", "sh"}, {{"HOME", std::nullopt}, {"XDG_DATA_HOME", std::nullopt}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kenv: HOME is unset; cannot locate Pellomar dir\n");
}

} // namespace

// The shell completions of kenv, driven the way each shell drives them but without a
// terminal: bash calls the completion function with COMP_WORDS and COMP_CWORD set, fish
// answers `complete -C`, and zsh runs its completion function with `words` and CURRENT set
// and compadd replaced by a function that prints what it is given. The variable names,
// PATH entries and backups come from the built kenv, found first on PATH.
#include "kenv_run.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <regex>

using ::testing::Contains;
using ::testing::Not;

namespace fs = std::filesystem;

namespace {

const std::string completions = KENV_COMPLETIONS_DIR;

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// bash quotes what it offers for the command line; the test compares the words themselves.
std::string unquote_bash(const std::string &word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i)
    out.push_back(word[i] == '\\' && i + 1 < word.size() ? word[++i] : word[i]);
  return out;
}

class KenvCompletion : public KenvTest, public ::testing::WithParamInterface<const char *> {
protected:
  // What the shell offers for the word last in `words` (which may be empty).
  std::vector<std::string> offered(const std::vector<std::string> &words) {
    std::string shell = GetParam();
    std::vector<std::string> argv;
    if (shell == "bash") {
      argv = {"/bin/bash",
              "--norc",
              "--noprofile",
              "-c",
              "source " + completions +
                  "/kenv.bash; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _kenv; "
                  "printf '%s\\n' \"${COMPREPLY[@]}\"",
              "_"};
      argv.insert(argv.end(), words.begin(), words.end());
    } else if (shell == "zsh") {
      argv = {"/usr/bin/zsh", "-f", "-c",
              "compadd() { local i=${@[(i)--]}; print -rl -- \"${(@)@[i+1,-1]}\"; }; _files() { :; }; "
              "compdef() { :; }; source " +
                  completions + "/_kenv; words=(\"$@\"); CURRENT=$#; _kenv",
              "_"};
      argv.insert(argv.end(), words.begin(), words.end());
    } else {
      std::string line;
      for (const std::string &w : words)
        line += (line.empty() ? "" : " ") + (w.find(' ') == std::string::npos ? w : "'" + w + "'");
      argv = {"/usr/bin/fish", "--no-config", "-c",
              "source " + completions + "/kenv.fish; complete -C $argv[1]", line};
    }
    std::string bin_dir = fs::path(KENV_BIN).parent_path().string();
    Outcome r = run_process(argv, {{"PATH", bin_dir + ":/usr/bin:/bin"}});
    EXPECT_EQ(r.status, 0) << shell << ": " << r.err;
    EXPECT_EQ(r.err, "") << shell;
    std::vector<std::string> words_offered;
    for (std::string line : lines_of(r.out)) {
      line = line.substr(0, line.find('\t')); // fish: "word<TAB>description"
      words_offered.push_back(shell == "bash" ? unquote_bash(line) : line);
    }
    return words_offered;
  }
};

struct Case {
  std::vector<std::string> words;
  std::vector<std::string> offered;
  std::vector<std::string> not_offered;
};

TEST_P(KenvCompletion, OffersCommandsOptionsNamesEntriesAndBackups) {
  kenv_ok({"set", "EDITOR", "vim"});
  kenv_ok({"--scope", "system", "set", "SYSVAR", "1"});
  EXPECT_EQ(kenv({"path", "add", "/opt/a"}).status, 0);
  EXPECT_EQ(kenv({"path", "add", "/opt/with space"}).status, 0);
  EXPECT_EQ(kenv({"path", "add", "/opt/off"}).status, 0);
  kenv_ok({"path", "off", "/opt/off"});
  kenv_ok({"profile", "new", "work", "--vars", "EDITOR"});
  std::vector<std::string> backups;
  for (const std::string &line : lines_of(kenv_ok({"__complete", "backups"})))
    if (!line.empty())
      backups.push_back(line);
  ASSERT_GE(backups.size(), 3u);

  const Case cases[] = {
      {{"kenv", ""},
       {"list", "env", "get", "set", "unset", "path", "backups", "restore", "export", "apply", "profile",
        "shell-init", "doctor", "help"},
       {"__complete"}},
      {{"kenv", "--"}, {"--scope", "--help", "--version"}, {}},
      {{"kenv", "get", ""}, {"EDITOR", "PATH"}, {"SYSVAR"}},
      {{"kenv", "--scope", "system", "unset", ""}, {"SYSVAR"}, {"EDITOR"}},
      {{"kenv", "set", "--scope", "system", ""}, {"SYSVAR"}, {"EDITOR"}},
      {{"kenv", "path", ""}, {"list", "add", "rm", "mv", "off", "on"}, {}},
      {{"kenv", "path", "on", ""}, {"/opt/off"}, {"/opt/a"}},
      {{"kenv", "profile", ""}, {"list", "new", "show", "rm", "on", "off"}, {}},
      {{"kenv", "profile", "on", ""}, {"work"}, {}},
      {{"kenv", "export", "--format", ""}, {"json", "env"}, {}},
      {{"kenv", "path", "rm", ""}, {"/opt/a", "/opt/with space"}, {}},
      {{"kenv", "path", "mv", ""}, {"/opt/a", "/opt/with space"}, {}},
      {{"kenv", "restore", ""}, backups, {}},
      {{"kenv", "restore", "--"}, {"--latest"}, {}},
      {{"kenv", "shell-init", "--"}, {"--install", "--uninstall", "--shell"}, {}},
      {{"kenv", "shell-init", "--install", "--shell", ""}, {"sh", "dash", "bash", "zsh", "fish"}, {}},
      {{"kenv", "set", "--"}, {"--force", "--scope"}, {}},
      {{"kenv", "list", "--scope", ""}, {"user", "system"}, {}},
      {{"kenv", "help", "path", ""}, {"add", "rm", "mv"}, {}},
  };
  for (const Case &c : cases) {
    std::vector<std::string> got = offered(c.words);
    std::string line;
    for (const std::string &w : c.words)
      line += w + " ";
    for (const std::string &w : c.offered)
      EXPECT_THAT(got, Contains(w)) << GetParam() << ": " << line;
    for (const std::string &w : c.not_offered)
      EXPECT_THAT(got, Not(Contains(w))) << GetParam() << ": " << line;
  }
}

// The options a help text defines: the lines of its "Options:" section that start with one.
std::vector<std::string> defined_options(const std::string &help) {
  static const std::regex option("^  (-h, )?(--[a-z][a-z-]*)");
  std::vector<std::string> found;
  std::size_t at = help.find("\nOptions:\n");
  for (at = at == std::string::npos ? help.size() : at + 10; at < help.size() && help[at] != '\n';) {
    std::size_t end = help.find('\n', at);
    std::string line = help.substr(at, end - at);
    std::smatch m;
    if (std::regex_search(line, m, option))
      found.push_back(m[2]);
    at = end + 1;
  }
  return found;
}

TEST_P(KenvCompletion, OffersEveryOptionTheCommandsHelpDefines) {
  // `kenv path --help` defines the options of its subcommands, --at among them.
  const std::vector<std::vector<std::string>> topics{
      {},          {"list"},    {"env"},        {"get"},    {"set"},    {"unset"}, {"path"},
      {"backups"}, {"restore"}, {"shell-init"}, {"doctor"}, {"export"}, {"apply"}, {"profile"}};
  for (const auto &topic : topics) {
    std::vector<std::string> help_args = topic;
    help_args.push_back("--help");
    std::vector<std::string> options = defined_options(kenv_ok(help_args));
    std::vector<std::string> words{"kenv"};
    words.insert(words.end(), topic.begin(), topic.end());
    if (topic == std::vector<std::string>{"path"})
      words.push_back("add");
    words.push_back("--");
    std::vector<std::string> got = offered(words);
    for (const std::string &o : options)
      EXPECT_THAT(got, Contains(o)) << GetParam() << ": " << help_args[0];
    EXPECT_THAT(got, Contains("--help")) << GetParam() << ": " << help_args[0];
  }
  EXPECT_EQ(defined_options(kenv_ok({"--help"})),
            (std::vector<std::string>{"--scope", "--help", "--version"}));
}

INSTANTIATE_TEST_SUITE_P(Shells, KenvCompletion, ::testing::Values("bash", "zsh", "fish"));

} // namespace

// The man page, kenv(1), is written alongside the --help texts: every command and option
// the help names must appear in the man page, and every option the man page names must be
// one the help names. groff, when installed, must read the page without a warning.
#include "kenv_run.h"

#include <gmock/gmock.h>

#include <regex>
#include <set>

using ::testing::HasSubstr;

namespace {

// The man page's text with the escapes that matter for matching undone.
std::string man_text(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\-") == 0) {
      out.push_back('-');
      ++i;
    } else if (text.compare(i, 3, "\\fB") == 0 || text.compare(i, 3, "\\fI") == 0 ||
               text.compare(i, 3, "\\fR") == 0) {
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::set<std::string> options_in(const std::string &text) {
  static const std::regex option("(^|[^-a-z])(--[a-z][a-z-]*)");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
    found.insert((*it)[2]);
  return found;
}

// The words listed under "Commands:" in a help text, up to the next blank line.
std::vector<std::string> commands_in(const std::string &help) {
  std::vector<std::string> found;
  std::size_t at = help.find("\nCommands:\n");
  if (at == std::string::npos)
    return found;
  std::smatch m;
  static const std::regex line("^  ([a-z][a-z-]*)");
  for (at += 11; at < help.size() && help[at] != '\n';) {
    std::size_t end = help.find('\n', at);
    std::string text = help.substr(at, end - at);
    if (std::regex_search(text, m, line))
      found.push_back(m[1]);
    at = end + 1;
  }
  return found;
}

class KenvDocs : public KenvTest {};

TEST_F(KenvDocs, TheManPageNamesEveryCommandAndOptionOfTheHelp) {
  std::string main_help = kenv_ok({"--help"});
  std::vector<std::string> commands = commands_in(main_help);
  ASSERT_GE(commands.size(), 9u);
  std::vector<std::string> path_commands = commands_in(kenv_ok({"path", "--help"}));
  ASSERT_EQ(path_commands, (std::vector<std::string>{"list", "add", "rm", "mv", "off", "on"}));

  std::string all_help = main_help;
  for (const std::string &c : commands)
    all_help += kenv_ok({c, "--help"});
  for (const std::string &c : path_commands)
    all_help += kenv_ok({"path", c, "--help"});

  std::string man = man_text(read(KENV_MAN_PAGE));
  for (const std::string &c : commands)
    EXPECT_THAT(man, HasSubstr(".SS \"kenv " + c)) << c;
  for (const std::string &c : path_commands)
    EXPECT_THAT(man, HasSubstr("kenv path " + c)) << c;
  std::set<std::string> help_options = options_in(all_help), man_options = options_in(man);
  EXPECT_THAT(help_options, ::testing::Contains("--force"));
  for (const std::string &o : help_options)
    EXPECT_TRUE(man_options.count(o)) << o << " is in the help but not in the man page";
  for (const std::string &o : man_options)
    EXPECT_TRUE(help_options.count(o)) << o << " is in the man page but not in the help";
  EXPECT_THAT(man, HasSubstr("\n.TH KENV 1 \"2026\" \"kenv " KENV_VERSION "\""));
}

TEST_F(KenvDocs, GroffReadsTheManPageWithoutWarnings) {
  if (run_process({"/bin/sh", "-c", "command -v groff"}).status != 0)
    GTEST_SKIP() << "groff is not installed";
  Outcome r = run_process({"/bin/sh", "-c", "groff -man -ww -z -t \"$0\"", KENV_MAN_PAGE});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

} // namespace

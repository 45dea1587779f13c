// The export file: quoting, limits, and what real shells make of it.
#include "support/process.h"
#include "support/sandbox.h"

#include "kestrune_env.h"
#include "support/core_calls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Export : public Sandbox {
protected:
  std::string file() { return data_dir() + "/exports/user-env.sh"; }
  std::string lines_of(const env_kv_list &vars) {
    std::string text = export_text("/x/user-env.sh", env_scope::user, vars, 0);
    return text.substr(text.find("\n\n") + 2);
  }
  // Sources the export file in `shell` and prints the variable's value in hex.
  std::string sourced(const char *shell, const std::string &name) {
    std::string cmd =
        std::string(shell) + " -c '. \"$1\" && printf %s \"$" + name + "\" | od -An -v -tx1' sh " + file();
    return run(cmd);
  }
  static std::string hex(const std::string &s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
      std::snprintf(b, sizeof b, " %02x", c);
      out += b;
    }
    return out;
  }
};

std::string squash(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\n' && !(c == ' ' && !out.empty() && out.back() == ' '))
      out.push_back(c);
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

} // namespace

TEST_F(Export, QuotesValuesAndKeepsStoreOrder) {
  env_kv_list vars;
  env_kv_push(vars, "A", "it's", "overlay");
  env_kv_push(vars, "B", "", "overlay");
  env_kv_push(vars, "C", "x\ny $HOME %P% ${HOME}/go $(id) $$ a$ \\", "overlay");
  // References become parameter expansions, as environment.d expands them; an empty value,
  // which environment.d drops, defines nothing.
  EXPECT_EQ(lines_of(vars), "export A='it'\\''s'\n# not exported (empty, as environment.d drops it): B\n"
                            "export C='x\ny '\"${HOME-}\"' %P% '\"${HOME-}\"'/go $(id) $$ a$ \\'\n");
  EXPECT_EQ(lines_of({}), "");
}

TEST_F(Export, NamesThatAreNotShellIdentifiersBecomeComments) {
  env_kv_list vars;
  for (const char *name : {"A$(touch pwned)", "`touch pwned`", "a b", "1A", "X\n\xC3\xA9", "ok_1"})
    env_kv_push(vars, name, "v", "overlay");
  EXPECT_EQ(lines_of(vars), "# not exported (not a shell variable name): A$(touch pwned)\n"
                            "# not exported (not a shell variable name): `touch pwned`\n"
                            "# not exported (not a shell variable name): a b\n"
                            "# not exported (not a shell variable name): 1A\n"
                            "# not exported (not a shell variable name): X\\x0A\\xC3\\xA9\n"
                            "export ok_1='v'\n");
}

// A name a shell keeps for itself gets a comment, and so does an integer parameter of a
// shell whose value is not a decimal integer (kenv_shell_test.cpp sources every such name
// in the real shells).
TEST_F(Export, NamesAShellReservesAreNotExported) {
  env_kv_list vars;
  for (auto [name, value] : {std::pair{"OPTIND", "x"},
                             {"UID", "x"},
                             {"USERNAME", "x"},
                             {"histchars", "x"},
                             {"status", "x"},
                             {"path", "x"},
                             {"STATUS", "x"},
                             {"optind", "x"},
                             {"SECONDS", "12"},
                             {"HISTSIZE", "-1"},
                             {"SECONDS", "x"},
                             {"RANDOM", "1x"},
                             {"LINES", "99999999999999999999"}})
    env_kv_push(vars, name, value, "overlay");
  const std::string integer =
      "# not exported (a shell's integer parameter, and the value is not a decimal integer): ";
  EXPECT_EQ(lines_of(vars), "# not exported (reserved by a shell): OPTIND\n"
                            "# not exported (reserved by a shell): UID\n"
                            "# not exported (reserved by a shell): USERNAME\n"
                            "# not exported (reserved by a shell): histchars\n"
                            "# not exported (reserved by a shell): status\n"
                            "# not exported (reserved by a shell): path\n"
                            "export STATUS='x'\n"
                            "export optind='x'\n"
                            "export SECONDS='12'\n"
                            "export HISTSIZE='-1'\n" +
                                integer + "SECONDS\n" + integer + "RANDOM\n" + integer + "LINES\n");
}

// A shell that stops at an unset name (`set -u`, zsh's nounset) reads every line of both
// scopes' files: a reference to an unset name expands to nothing, as in a session.
TEST_F(Export, SourcingUnderNounsetLetsTheShellGoOn) {
  for (const char *scope : {"user", "system"}) {
    ASSERT_EQ(env_set(scope, "KT_R", "${KT_UNSET}/x"), 1) << env_last_error();
    ASSERT_EQ(env_path_add(scope, "/kt/$d", -1), 1) << env_last_error();
    ASSERT_EQ(env_set(scope, "KT_AFTER", "ok"), 1) << env_last_error();
  }
  for (const char *shell : {"bash -u", "dash -u", "zsh -o nounset"})
    for (const std::string &sourced : {system_export(), file()})
      EXPECT_EQ(run("env -i PATH=/bin " + std::string(shell) +
                    " -c '. \"$1\"; printf %s \"$KT_R $PATH $KT_AFTER\"' sh " + sourced + " 2>/dev/null"),
                "/x /bin:/kt/ ok")
          << shell << " " << sourced;
}

// Values the native store takes are exported whole, however long: a line limit would fail
// the change after the store was written, and every later change of the scope with it.
TEST_F(Export, LongValuesAreWrittenWholeAndSourceBack) {
  const std::vector<std::pair<std::string, std::string>> cases = {{"LONG", std::string(100000, 'x')},
                                                                  {"QUOTES", std::string(5000, '\'')}};
  for (auto &[name, value] : cases)
    ASSERT_EQ(env_set("user", name.c_str(), value.c_str()), 1) << env_last_error();
  for (int i = 0; i < 500; ++i)
    ASSERT_EQ(env_path_add("user", ("/opt/entry-" + std::to_string(i)).c_str(), -1), 1) << env_last_error();
  for (const char *shell : {"bash", "dash"}) {
    for (auto &[name, value] : cases)
      EXPECT_EQ(
          run(std::string(shell) + " -c '. \"$1\" && printf %s \"$" + name + "\" | wc -c' sh " + file()),
          std::to_string(value.size()) + "\n")
          << shell << " " << name;
    EXPECT_EQ(run(std::string("PATH=/bin ") + shell +
                  " -c '. \"$1\" && printf %s \"$PATH\" | tr : \"\\n\" | wc -l' sh " + file()),
              "500\n");
  }
}

// An empty PATH adds nothing: an empty entry would be the current directory.
TEST_F(Export, EmptyPathAddsNoEntry) {
  ASSERT_EQ(env_path_add("user", "/opt/a", 0), 1) << env_last_error();
  ASSERT_EQ(env_path_del("user", "/opt/a"), 1) << env_last_error();
  for (const char *shell : {"bash", "dash"})
    EXPECT_EQ(run(std::string("PATH=/usr/bin:/bin ") + shell + " -c '. \"$1\" && printf %s \"$PATH\"' sh " +
                  file()),
              "/usr/bin:/bin")
        << shell;
}

TEST_F(Export, BannerSaysSystemForTheSystemScope) {
  ASSERT_EQ(env_set("SYSTEM", "A", "1"), 1);
  EXPECT_NE(read(system_export()).find("  scope=system\n"), std::string::npos);
}

// Every byte reaches the shell as it is, but references, which expand as in a session.
TEST_F(Export, BashAndDashReadBackEveryValueByteForByte) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Q", "it's 'quoted' ''"},
      {"NL", "line1\nline2\n"},
      {"DOLLAR", "$NOT_SET ${NOT_SET} $(id) `id` $$"},
      {"BS", "a\\b\\\\c\\"},
      {"PCT", "%PATH%;50%"},
      {"UTF", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
      {"SP", "  lead and trail  "},
      {"EMPTY", ""},
      {"TABS", "\t\x01\x7F"},
  };
  // Some of these values environment.d cannot hold, so they go to the store directly.
  env_kv_list vars;
  for (auto &[name, value] : cases)
    env_kv_push(vars, name.c_str(), value.c_str(), "overlay");
  ASSERT_EQ(save_store(vars), 0) << env_last_error();
  ASSERT_EQ(export_store(), 0) << env_last_error();
  for (const char *shell : {"bash", "dash"})
    for (auto &[name, value] : cases)
      EXPECT_EQ(squash(sourced(shell, name)), squash(hex(name == "DOLLAR" ? "  $(id) `id` $$" : value)))
          << shell << " " << name;
}

TEST_F(Export, PathExtendsTheShellsPath) {
  ASSERT_EQ(env_path_add("user", "/opt/a b", 0), 1) << env_last_error();
  ASSERT_EQ(env_path_add("user", "/opt/c", -1), 1) << env_last_error();
  EXPECT_NE(read(file()).find("export PATH=\"${PATH:+$PATH:}\"'/opt/a b:/opt/c'\n"), std::string::npos);
  for (const char *shell : {"bash", "dash"}) {
    EXPECT_EQ(run(std::string("PATH=/usr/bin:/bin ") + shell + " -c '. \"$1\" && printf %s \"$PATH\"' sh " +
                  file()),
              "/usr/bin:/bin:/opt/a b:/opt/c")
        << shell;
    EXPECT_EQ(run(std::string("env -i /bin/") + shell +
                  " -c 'unset PATH; . \"$1\" && printf %s \"$PATH\"' sh " + file()),
              "/opt/a b:/opt/c")
        << shell;
  }
}

TEST_F(Export, SourcingHostileNamesRunsNothing) {
  fs::create_directories(data_dir());
  std::string marker = home() + "/pwned";
  write(data_dir() + "/user-env.json", "{\"vars\": [{\"name\": \"A$(touch " + marker +
                                           ")\", \"value\": \"x\"},"
                                           "{\"name\": \"`touch " +
                                           marker +
                                           "`\", \"value\": \"x\"},"
                                           "{\"name\": \"B; touch " +
                                           marker +
                                           "; C\", \"value\": \"x\"},"
                                           "{\"name\": \"D\\ntouch " +
                                           marker +
                                           "\", \"value\": \"x\"},"
                                           "{\"name\": \"SAFE\", \"value\": \"$(touch " +
                                           marker + ")\"}]}");
  ASSERT_EQ(env_set("user", "Z", "z"), 1) << env_last_error();
  for (const char *shell : {"bash", "dash"}) {
    run(std::string(shell) + " -c '. \"$1\"' sh " + file());
    EXPECT_FALSE(fs::exists(marker)) << shell;
  }
}

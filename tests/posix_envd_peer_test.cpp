// The environment.d files against their real reader: systemd's environment.d generator,
// which systemd --user runs at session start. It reads the user's environment.d (from
// XDG_CONFIG_HOME) and the system's directories, expands references against its own
// environment, and prints the result for the service manager. Only the user scope can be
// checked this way: the generator reads the system scope from the real /etc, and the test
// build keeps it elsewhere.
#include "support/core_calls.h"
#include "support/generator.h"
#include "support/process.h"
#include "support/sandbox.h"

#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr const char *generator = envd_generator;
constexpr const char *inherited_path = "/kenv/inherited:/usr/bin:/bin";

using vars = std::vector<std::pair<std::string, std::string>>;

class EnvdPeer : public Sandbox {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (access(generator, X_OK) != 0)
      GTEST_SKIP() << "systemd's environment.d generator is not installed at " << generator;
  }
  // The session environment the generator makes, in its order.
  vars generate() {
    std::string cmd = "env -i HOME='" + home() + "' XDG_CONFIG_HOME='" + home() + "/.config' PATH='" +
                      inherited_path + "' " + generator;
    int status = -1;
    std::string out = run(cmd, &status);
    EXPECT_EQ(status, 0) << out;
    vars result;
    for (std::size_t start = 0, end; start < out.size(); start = end + 1) {
      end = out.find('\n', start);
      std::string line = out.substr(start, end - start);
      std::size_t eq = line.find('=');
      if (eq != std::string::npos)
        result.emplace_back(line.substr(0, eq), generator_unquote(line.substr(eq + 1)));
    }
    return result;
  }
  static const std::string *find(const vars &v, const std::string &name) {
    for (const auto &kv : v)
      if (kv.first == name)
        return &kv.second;
    return nullptr;
  }
  static std::string value_of(const vars &v, const std::string &name) {
    const std::string *value = find(v, name);
    return value ? *value : "(missing)";
  }
  // The variables whose names begin with KP_ in any letter case, in order.
  static vars ours(const vars &v) {
    vars out;
    for (const auto &kv : v)
      if (kv.first.size() > 3 && (kv.first.compare(0, 3, "KP_") == 0 || kv.first.compare(0, 3, "kp_") == 0))
        out.push_back(kv);
    return out;
  }
  vars listed() {
    env_kv_list out;
    EXPECT_EQ(env_plat_native_vars(env_scope::user, out), 0) << env_last_error();
    vars v;
    for (const env_kv &kv : out)
      v.emplace_back(kv.name, kv.value);
    return v;
  }
  void set(const std::string &name, const std::string &value) {
    ASSERT_EQ(native_set(env_scope::user, name.c_str(), value.c_str()), 0) << env_last_error();
  }
};

} // namespace

TEST_F(EnvdPeer, WrittenValuesReachTheSessionByteForByte) {
  std::string h = home();
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"say \"hi\" and 'bye'", "say \"hi\" and 'bye'"},
      {"C:\\dir\\ \\\\server\\share \\n \\", "C:\\dir\\ \\\\server\\share \\n \\"},
      {"$5", "$5"},
      {"$$", "$$"},
      {"a$", "a$"},
      {"$", "$"},
      {"${A:-x} ${A:+y} ${ $} ${}", "${A:-x} ${A:+y} ${ $} ${}"},
      {"x$$y$$$z", "x$$$"}, // $y and $z are references to unset variables
      {"gr\xC3\xBC\xC3\x9F\x65 \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9A\x80 \xC2\xA0\xC2\x85",
       "gr\xC3\xBC\xC3\x9F\x65 \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9A\x80 \xC2\xA0\xC2\x85"},
      {"trailing blanks  ", "trailing blanks  "},
      {"   leading blanks", "   leading blanks"},
      {"#not a comment", "#not a comment"},
      {";not a comment", ";not a comment"},
      {"a=b=c", "a=b=c"},
      {"`backticks` *?[ ] ( ) < > | & !", "`backticks` *?[ ] ( ) < > | & !"},
      {"%PATH% ~/x", "%PATH% ~/x"},
      {"$HOME/bin", h + "/bin"},
      {"${HOME}x:$HOME", h + "x:" + h},
      {"$KENV_PEER_UNSET/x", "/x"},
      {"$$HOME", "$" + h},
  };
  std::string baseline_path = inherited_path;
  if (const std::string *p = find(generate(), "PATH"))
    baseline_path = *p;
  int i = 0;
  for (const auto &[value, session] : cases)
    set("KP_V" + std::to_string(i++), value);
  set("PATH", "/kenv/one:/kenv/two words:/kenv/$5");
  set("KP_GONE", "soon");
  set("KP_GONE", "");
  vars env = generate();
  i = 0;
  for (const auto &[value, session] : cases) {
    std::string name = "KP_V" + std::to_string(i++);
    const std::string *got = find(env, name);
    ASSERT_NE(got, nullptr) << name << " is missing for " << value;
    EXPECT_EQ(*got, session) << "written: " << value;
  }
  EXPECT_EQ(value_of(env, "PATH"), baseline_path + ":/kenv/one:/kenv/two words:/kenv/$5");
  EXPECT_EQ(find(env, "KP_GONE"), nullptr);
  EXPECT_EQ(find(env, "Path"), nullptr);
  // And the listing gives back what was set.
  vars list = listed();
  i = 0;
  for (const auto &[value, session] : cases) {
    const std::string *got = find(list, "KP_V" + std::to_string(i++));
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(*got, value);
  }
  EXPECT_EQ(value_of(list, "PATH"), "/kenv/one:/kenv/two words:/kenv/$5");
}

TEST_F(EnvdPeer, ForeignFilesAreListedAsTheSessionReceivesThem) {
  std::string d = user_envd();
  write(d + "/10-syntax.conf", "# comment \\\nKP_SWALLOWED=by the comment above\n"
                               "; also a comment\n"
                               "  KP_INDENT  =  spaced value  \r\n"
                               "KP_DQ=\"double \\\"quoted\\\" \\\\ \\x\" \n"
                               "KP_SQ='single \\ \"kept\"'\n"
                               "KP_MIX=\"a\" 'b' c\\ \n"
                               "KP_MID=x\"y\"'z'\n"
                               "KP_CONT=first\\\n  second\n"
                               "KP_QCONT=\"one\\\ntwo\"\n"
                               "KP_HASH=a#b;c\n"
                               "KP_EMPTY=\n"
                               "KP_EMPTYQ=\"\"\n"
                               "KP-BAD=1\n"
                               "KP_NOEQUALS\n"
                               "kp_lower=lower\n"
                               "KP_LATE=first file\n");
  write(d + "/20-later.conf", "KP_INDENT=overridden\nKP_NEW=new\nKP_LOWER=upper\n");
  write(d + "/zz-last.conf", "KP_OWN=foreign wins\nKP_OPEN=\"unterminated");
  set("KP_OWN", "own");
  set("KP_LATE", "own file");
  vars session = ours(generate());
  EXPECT_EQ(session.size(), 14u);
  EXPECT_EQ(ours(listed()), session);
  // A few values spelled out, so that a parser shared by both sides could not hide a fault.
  EXPECT_EQ(value_of(session, "KP_INDENT"), "overridden");
  EXPECT_EQ(value_of(session, "KP_DQ"), "double \"quoted\" \\ \\x");
  EXPECT_EQ(value_of(session, "KP_MIX"), "abc ");
  EXPECT_EQ(value_of(session, "KP_OWN"), "foreign wins");
  EXPECT_EQ(value_of(session, "KP_LATE"), "own file");
  EXPECT_EQ(find(session, "KP_SWALLOWED"), nullptr);
  EXPECT_EQ(find(session, "KP_EMPTY"), nullptr);
}

TEST_F(EnvdPeer, HandEditedOwnFileWithAnUnfinishedLastLineStillTakesNewValues) {
  std::string own = user_envd() + "/99-pellomar-user.conf";
  for (const char *text : {"KP_OLD=1\n# note \\", "KP_OLD=1\nKP_OPEN=\"abc", "KP_OLD=1\nKP_OPEN='abc",
                           "KP_OLD=1\nKP_OPEN=\"abc\\", "KP_OLD=1\nKP_OPEN=abc\\", "KP_OLD=1\nnoise"}) {
    write(own, text);
    vars before = ours(generate());
    set("KP_NEW", "2");
    before.emplace_back("KP_NEW", "2");
    EXPECT_EQ(ours(generate()), before) << text;
  }
}

namespace {

// A shell's environment after it sourced the user export file, started as the generator
// was: only HOME, XDG_CONFIG_HOME and the inherited PATH.
vars sourced_by(const std::string &shell, const std::string &home, const std::string &file) {
  std::string out = run("env -i HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' PATH='" +
                        inherited_path + "' " + shell + " -c '. \"$1\" && env -0' sh '" + file + "'");
  vars result;
  for (std::size_t start = 0, end; start < out.size(); start = end + 1) {
    end = out.find('\0', start);
    std::string entry = out.substr(start, end - start);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos)
      result.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return result;
}

} // namespace

// What the listing shows, what a new session gets from the generator and what each shell
// gets from the export file are one value, variable for variable.
TEST_F(EnvdPeer, ListingSessionAndShellsAgree) {
  const vars corpus = {
      {"KP_GOPATH", "$HOME/go"},
      {"KP_XDG", "${XDG_CONFIG_HOME}/x"},
      {"KP_PIDS", "$$"},
      {"KP_TAIL", "a$"},
      {"KP_DEFAULT", "${A:-x}"},
      {"KP_QUOTES", "it's \"q\""},
      {"KP_BS", "a\\b\\\\c"},
      {"KP_UTF8", "gr\xC3\xBC\xC3\x9F"},
      {"KP_PCT", "%HOME%"},
      {"KP_EARLY", "$KP_LATE"},
      {"KP_LATE", "late"},
      {"KP_CHAIN", "$KP_GOPATH/bin"},
      {"KP_SPACES", "  two  "},
      {"KP_TICK", "`id` $(id)"},
      {"KP_BRACE", "${HOME"},
      {"KP_EMPTY_REF", "$KP_NOPE!"},
      {"kp_lower", "lower"},
      {"KP_LOWER", "upper"},
      {"KP_PLAIN", "/opt/x:/opt/y"},
      {"KP_DOLLAR_DIGIT", "$5"},
  };
  for (const auto &[name, value] : corpus)
    ASSERT_EQ(env_set("user", name.c_str(), value.c_str()), 1) << name << ": " << env_last_error();
  for (const char *entry : {"/kenv/one", "/kenv/$HOME/x"})
    ASSERT_EQ(env_path_add("user", entry, -1), 1) << env_last_error();
  vars session = generate();
  char *text = env_list("user");
  std::string listing = text ? text : "";
  env_free_string(text);
  std::string file = home() + "/.local/share/pellomar/exports/user-env.sh";
  for (const char *shell : {"sh", "dash", "bash", "zsh"}) {
    vars shell_env = sourced_by(shell, home(), file);
    for (const auto &[name, value] : corpus)
      EXPECT_EQ(value_of(shell_env, name), value_of(session, name)) << shell << " " << name;
    EXPECT_EQ(value_of(shell_env, "PATH"), value_of(session, "PATH")) << shell;
  }
  for (const auto &[name, value] : corpus) {
    std::string expanded = "\"name\":\"" + name + "\",\"value\":";
    std::size_t at = listing.find(expanded);
    ASSERT_NE(at, std::string::npos) << name;
    std::size_t from = listing.find("\"expanded\":\"", at) + 12;
    std::string shown = listing.substr(from, listing.find("\",\"source\"", from) - from);
    std::string want = value_of(session, name);
    // The listing escapes '"' and '\' as JSON does.
    std::string escaped;
    for (char c : want)
      escaped += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    EXPECT_EQ(shown, escaped) << name;
  }
}

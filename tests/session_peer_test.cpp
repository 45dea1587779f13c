// The listing's session view against its real peers: systemd's environment.d generator,
// run over the test's directories (bind-mounted over the system's own inside a private
// mount namespace, so nothing outside the test sees them), and sh, dash, bash, zsh and fish
// loading the export file. A corpus of values in every file the generator reads must come
// out of the generator exactly as the listing's "session" member says, and each shell must
// get what the member's "shell" says, which for the library's own variables is the value.
#include "kenv_run.h"
#include "support/generator.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>
#include <yyjson.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char *generator = envd_generator;
constexpr const char *inherited_path = "/kenv/inherited:/usr/bin:/bin";

using vars = std::vector<std::pair<std::string, std::string>>;

struct session_var {
  std::string value;
  std::optional<std::string> shell;
};

class SessionPeer : public KenvTest {
protected:
  void SetUp() override {
    KenvTest::SetUp();
    if (access(generator, X_OK) != 0)
      GTEST_SKIP() << "systemd's environment.d generator is not installed";
    if (in_namespace(overlay_etc() + "true").status != 0)
      GTEST_SKIP() << "no private mount namespace with /etc overlaid here: "
                   << in_namespace(overlay_etc() + "true").err;
    const char *path = getenv("PATH");
    saved_path_ = path ? path : "";
    setenv("PATH", inherited_path, 1); // what the generator and the shells inherit too
    setenv("KT_EMPTY", "", 1);
  }
  void TearDown() override {
    unsetenv("KT_EMPTY");
    setenv("PATH", saved_path_.c_str(), 1);
    KenvTest::TearDown();
  }
  std::string vendor_envd() const { return KENV_VENDOR_ROOT "/usr/lib/environment.d"; }
  // What the generator and the shells inherit: the test's HOME and PATH, and KT_EMPTY set
  // but empty (the test process sets it too).
  std::string inherited() const {
    return "env -i HOME='" + home() + "' XDG_CONFIG_HOME='" + home() + "/.config' XDG_DATA_HOME='" + home() +
           "/.local/share' PATH='" + inherited_path + "' KT_EMPTY= ";
  }
  // The generator's session, in its order, with the test's directories in place of the
  // system's: those that do not exist on this machine stay absent, as the test's are. /etc
  // is overlaid first, so that an /etc/environment.d to mount over exists (a minimal system
  // has none); what the overlay gains stays in the test's folder.
  std::string overlay_etc() {
    fs::create_directories(root() + "/etc-upper");
    fs::create_directories(root() + "/etc-work");
    return "mount -t overlay overlay -o lowerdir=/etc,upperdir='" + root() + "/etc-upper',workdir='" +
           root() + "/etc-work' /etc && mkdir -p /etc/environment.d && ";
  }
  // Runs the script in a mount namespace of its own, whose mounts nobody else sees. Inside a
  // chroot (as in the fresh-machine check) the root is no mount point and its propagation
  // cannot be made private; there the mounts are only made when /etc is known not to share
  // them with another namespace.
  static Outcome in_namespace(const std::string &script) {
    std::string unshare = geteuid() == 0 ? "unshare --mount" : "unshare --mount --map-root-user";
    Outcome r = run_process({"/bin/sh", "-c", unshare + " /bin/sh -c \"$1\"", "sh", script});
    if (r.status == 0 || r.err.find("propagation") == std::string::npos)
      return r;
    std::string guarded =
        "case $(findmnt -no PROPAGATION -T /etc 2>/dev/null) in *shared*) exit 3;; esac; " + script;
    return run_process(
        {"/bin/sh", "-c", unshare + " --propagation unchanged /bin/sh -c \"$1\"", "sh", guarded});
  }
  vars generate(int *status = nullptr) {
    std::string mounts = overlay_etc();
    const std::pair<std::string, std::string> dirs[] = {
        {system_envd(), "/etc/environment.d"},
        {KENV_VENDOR_ROOT "/run/environment.d", "/run/environment.d"},
        {KENV_VENDOR_ROOT "/usr/local/lib/environment.d", "/usr/local/lib/environment.d"},
        {vendor_envd(), "/usr/lib/environment.d"}};
    for (const auto &[ours, real] : dirs) {
      fs::create_directories(ours);
      if (real == "/etc/environment.d" || fs::is_directory(real))
        mounts += "mount --bind '" + ours + "' '" + real + "' && ";
    }
    Outcome r = in_namespace(mounts + "exec " + inherited() + generator);
    if (status)
      *status = r.status;
    else if (r.status != 0)
      ADD_FAILURE() << "the generator did not run: " << r.err;
    vars out;
    for (std::size_t start = 0, end; start < r.out.size(); start = end + 1) {
      end = std::min(r.out.find('\n', start), r.out.size());
      std::string line = r.out.substr(start, end - start);
      std::size_t eq = line.find('=');
      if (eq != std::string::npos)
        out.emplace_back(line.substr(0, eq), generator_unquote(line.substr(eq + 1)));
    }
    return out;
  }
  using json_doc = std::unique_ptr<yyjson_doc, decltype(&yyjson_doc_free)>;
  static json_doc listing() {
    char *text = env_list("user");
    EXPECT_NE(text, nullptr) << env_last_error();
    json_doc doc(yyjson_read(text ? text : "{}", text ? strlen(text) : 2, 0), yyjson_doc_free);
    env_free_string(text);
    return doc;
  }
  // The listing's variables: each name with its "expanded".
  static std::map<std::string, std::string> expanded() {
    json_doc doc = listing();
    std::map<std::string, std::string> out;
    std::size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(yyjson_obj_get(yyjson_doc_get_root(doc.get()), "vars"), i, n, v)
        out[yyjson_get_str(yyjson_obj_get(v, "name"))] = yyjson_get_str(yyjson_obj_get(v, "expanded"));
    return out;
  }
  // The listing's session member: names in order, and each one's values.
  vars session(std::map<std::string, session_var> &by_name) {
    json_doc doc = listing();
    vars out;
    yyjson_val *arr = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "session");
    std::size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(arr, i, n, v) {
      std::string name = yyjson_get_str(yyjson_obj_get(v, "name"));
      std::string value = yyjson_get_str(yyjson_obj_get(v, "value"));
      yyjson_val *shell = yyjson_obj_get(v, "shell");
      out.emplace_back(name, value);
      by_name[name] = {value, yyjson_is_str(shell) ? std::optional<std::string>(yyjson_get_str(shell))
                                                   : std::nullopt};
    }
    return out;
  }
  // A shell's environment after it loaded the export file: sh, dash, bash and zsh source it
  // with unset names as errors (`set -u`), fish runs what `kenv shell-init --shell fish` prints.
  std::map<std::string, std::string> loaded_by(const std::string &shell) {
    std::string command = ". \"$1\" && env -0";
    std::string strict = shell == "zsh" ? " -o nounset" : shell == "fish" ? "" : " -u";
    if (shell == "fish") {
      write(root() + "/init.fish", kenv_ok({"shell-init", "--shell", "fish"}));
      command = "source \"$argv[1]\"; and env -0";
    }
    std::string file = shell == "fish" ? root() + "/init.fish" : user_export();
    Outcome r = run_process({"/bin/sh", "-c",
                             inherited() + shell + strict + " -c '" + command + "' " +
                                 (shell == "fish" ? "" : "sh ") + "'" + file + "'"});
    EXPECT_EQ(r.status, 0) << shell << ": " << r.err;
    return parse_env0(r.out);
  }

private:
  std::string saved_path_;
};

std::string plain_names(int i) {
  static const char *const stems[] = {"KP_",   "kp_", "Kp_Mixed_", "_kp", "KP_9_", "kp__x", "KPLONG_NAME_",
                                      "KP_A_", "kpz", "KP_Z_",     "k_",  "KP_UP", "kp_dn", "KP_",
                                      "XKP_",  "kP_", "KP_Q_",     "kpq", "KP_R_", "kpr_"};
  return stems[i % 20] + std::to_string(i);
}

} // namespace

TEST_F(SessionPeer, GeneratorShellsAndListingAgreeVariableForVariable) {
  const std::vector<std::string> values = {"$HOME/go",
                                           "${XDG_DATA_HOME}/x",
                                           "$$",
                                           "a$",
                                           "${A:-x}",
                                           "it's \"q\"",
                                           "back\\slash\\\\",
                                           "gr\xC3\xBC\xC3\x9F",
                                           "\xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9A\x80",
                                           "$",
                                           "$5",
                                           "x$$y",
                                           "${HOME",
                                           "${ $}",
                                           "${}",
                                           "%HOME%",
                                           "~/x",
                                           "`id` $(id)",
                                           "  two  ",
                                           "#not a comment",
                                           ";semi",
                                           "a=b=c",
                                           "*?[ ]",
                                           "$KP_LATE_REF",
                                           "${HOME}${HOME}",
                                           "$HOME$HOME",
                                           "$HOME-$",
                                           "pre${XDG_CONFIG_HOME}post",
                                           "${A:+y}",
                                           "tab\\t",
                                           "'single'",
                                           "\"double\"",
                                           "\\\"",
                                           "/opt/x:/opt/y",
                                           ":",
                                           "::a::",
                                           "&|;<>()",
                                           "!bang",
                                           "{}",
                                           "$PATH",
                                           "${PATH}/x",
                                           "\xC2\xA0nbsp",
                                           "end\\",
                                           "\\$HOME",
                                           "$ HOME",
                                           "$-",
                                           "$?",
                                           "$@",
                                           "$*",
                                           "$#",
                                           "$!",
                                           "$0",
                                           "a b c",
                                           "x=${XDG_CONFIG_HOME:-none}",
                                           "\xF0\x9F\x98\x80",
                                           "$HOMEX",
                                           "${HOME}X",
                                           "100%",
                                           "%%",
                                           "=",
                                           "plain"};
  ASSERT_GE(values.size(), 60u);
  for (std::size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ(env_set("user", plain_names(static_cast<int>(i)).c_str(), values[i].c_str()), 1)
        << values[i] << ": " << env_last_error();
  ASSERT_EQ(env_set("user", "KP_LATE_REF", "late"), 1);
  for (const char *entry : {"/kenv/own", "$HOME/own"})
    ASSERT_EQ(env_path_add("user", entry, -1), 1) << env_last_error();
  // Other files in every directory the generator reads, with PATH in its common forms.
  write(user_envd() + "/10-other.conf",
        "PATH=$PATH:/kenv/user\nKO_DEFAULT=${KO_UNSET:-dflt}\nKO_ALT=${HOME:+alt}\n");
  write(system_envd() + "/20-sys.conf", "PATH=/kenv/sys:$PATH\nKO_SYS=$HOME/sys\nkp_1=overridden-early\n");
  write(vendor_envd() + "/30-vendor.conf", "PATH=${PATH}:/kenv/vendor\nKO_VENDOR=${KO_SYS}/v\n");
  write(system_envd() + "/zz-late.conf", "KP_0=overridden-late\n");
  write(vendor_envd() + "/10-other.conf", "MASKED=by the user's file of the same name\n");

  std::map<std::string, session_var> listed;
  vars listing = session(listed);
  EXPECT_EQ(listing, generate());
  EXPECT_GE(listing.size(), 60u);
  for (const char *shell : {"sh", "dash", "bash", "zsh", "fish"}) {
    std::map<std::string, std::string> got = loaded_by(shell);
    for (std::size_t i = 0; i < values.size(); ++i) {
      std::string name = plain_names(static_cast<int>(i));
      auto at = got.find(name);
      std::optional<std::string> shell_value = at == got.end() ? std::nullopt : std::optional(at->second);
      EXPECT_EQ(shell_value, listed[name].shell) << shell << " " << name;
    }
    EXPECT_EQ(got["PATH"], listed["PATH"].shell.value_or("(none)")) << shell;
  }
  EXPECT_EQ(listed["PATH"].value, "/kenv/sys:" + std::string(inherited_path) +
                                      ":/kenv/user:/kenv/vendor:/kenv/own:" + home() + "/own");
  EXPECT_EQ(listed.count("MASKED"), 0u);
  // A shell gets every value of the library as the session does, except where another file
  // has the last word (KP_0) or the PATH, which other files extend.
  std::vector<std::string> differ;
  for (const auto &[name, value] : listing)
    if (listed[name].shell != std::optional(value) && name.compare(0, 3, "KO_") != 0)
      differ.push_back(name);
  std::sort(differ.begin(), differ.end());
  EXPECT_EQ(differ, (std::vector<std::string>{"KP_0", "KP_40", "PATH", "kpr_39"}));
}

// Each variable of another environment.d file is listed expanded as the generator expands
// it: at its assignment, with nested words, `$$`, names that are not names, and an inherited
// name that is set but empty.
TEST_F(SessionPeer, ExpandedIsWhatTheGeneratorGives) {
  const struct {
    const char *line, *name, *expected;
  } cases[] = {
      {"one=1", "one", "2"},
      {"twelve=${one}2", "twelve", "12"},
      {"one=2", "one", "2"},
      {"FOO=foo", "FOO", "foo"},
      {"BAR=bar", "BAR", "bar"},
      {"KT_A=${FOO:-${BAR}}", "KT_A", "foo"},
      {"KT_B=${XXX:-$BAR}", "KT_B", "bar"},
      {"KT_C=${X:-${Y:-deep}}", "KT_C", "deep"},
      {"KT_D=a$$b", "KT_D", "a$b"},
      {"KT_E=x$5", "KT_E", "x"},
      {"KT_F=x${5}y", "KT_F", "xy"},
      {"KT_G=x${}y", "KT_G", "xy"},
      {"KT_H=x${KT_EMPTY:-dflt}x", "KT_H", "xx"},
      {"KT_I=x${KT_EMPTY:+alt}x", "KT_I", "xaltx"},
      {"KT_J=x${KT_NONE:-dflt}x", "KT_J", "xdfltx"},
  };
  std::string file;
  for (const auto &c : cases)
    file += std::string(c.line) + "\n";
  write(user_envd() + "/10-cases.conf", file);
  std::map<std::string, std::string> generated;
  for (auto &[name, value] : generate())
    generated[name] = value;
  std::map<std::string, std::string> listed = expanded();
  for (const auto &c : cases) {
    EXPECT_EQ(generated[c.name], c.expected) << c.line;
    EXPECT_EQ(listed[c.name], c.expected) << c.line;
  }
}

// systemd 252's generator aborts at a value that is not UTF-8, in any file: a new session
// gets nothing from environment.d, which the listing says.
TEST_F(SessionPeer, AValueThatIsNotUtf8StopsTheGenerator) {
  write(user_envd() + "/10-good.conf", "GOOD=1\n");
  write(system_envd() + "/50-bad.conf", "BAD=caf\xE9\n");
  int status = 0;
  EXPECT_EQ(generate(&status), vars());
  EXPECT_NE(status, 0);
  EXPECT_NE(kenv_ok({"list", "--json"})
                .find(R"({"code":"session_utf8","name":")" + system_envd() +
                      "/50-bad.conf\",\"message\":\"line 1:"),
            std::string::npos);
}

namespace {

// A reference to another of the scope's variables gets the value the scope gives it,
// whatever order the variables were set or restored in: the generator and every shell agree.
// A reference to the variable's own name is to what it inherits; only a circle of two or
// more keeps the store's order, and the listing warns of it.
TEST_F(SessionPeer, AReferenceGetsTheScopesValueWhateverOrderItWasSetIn) {
  kenv({"path", "add", "/opt/x"});
  kenv_ok({"set", "JAVA_HOME", "/usr/lib/jvm/x"});
  kenv({"path", "add", "${JAVA_HOME}/bin"});
  for (const char *pair : {"A=1", "B=x", "C=$B/z", "MANPATH=${MANPATH}:/m", "P=$Q/p", "Q=$P/q"}) {
    std::string text = pair;
    kenv_ok({"set", text.substr(0, text.find('=')), text.substr(text.find('=') + 1)});
  }
  kenv_ok({"unset", "B"});
  kenv_ok({"restore", "--latest"});
  const std::string path = std::string(inherited_path) + ":/opt/x:/usr/lib/jvm/x/bin";
  std::map<std::string, std::string> from_generator;
  for (const auto &[name, value] : generate())
    from_generator[name] = value;
  EXPECT_EQ(from_generator["PATH"], path);
  EXPECT_EQ(from_generator["C"], "x/z");
  for (const char *shell : {"bash", "dash", "zsh"}) {
    std::map<std::string, std::string> env = loaded_by(shell);
    EXPECT_EQ(env["PATH"], path) << shell;
    EXPECT_EQ(env["C"], "x/z") << shell;
  }
  std::string warnings = kenv_ok({"list", "--json"});
  for (const char *name : {"P", "Q"})
    EXPECT_NE(warnings.find(R"({"code":"reference_cycle","name":")" + std::string(name)), std::string::npos);
  EXPECT_EQ(warnings.find(R"("reference_cycle","name":"MANPATH")"), std::string::npos);
}

} // namespace

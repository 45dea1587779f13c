// kenv export and kenv apply: a scope's state as a document, and a document applied as one
// change.
#include "kenv_run.h"
#include "support/generator.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

class KenvState : public KenvTest {
  int docs_ = 0;

protected:
  std::size_t backups(const std::string &scope = "user") const {
    std::error_code ec;
    auto it = fs::directory_iterator(scope_dir(scope) + "/backups", ec);
    return ec ? 0 : static_cast<std::size_t>(std::distance(it, fs::directory_iterator()));
  }
  // A new file each time, so that a table can hold several.
  std::string doc(const std::string &text) {
    std::string path = root() + "/doc" + std::to_string(++docs_);
    write(path, text);
    return path;
  }
  // Sets the variables and PATH entries of a scope through kenv.
  void given(const std::vector<std::pair<std::string, std::string>> &vars,
             const std::vector<std::string> &path = {}) {
    for (const auto &[name, value] : vars)
      kenv({"set", name, value});
    for (const std::string &e : path)
      kenv({"path", "add", e});
  }
};

// Values the export must carry through either format unchanged.
const std::vector<std::pair<std::string, std::string>> corpus{
    {"QUOTES", R"(he said "hi" and 'bye')"},
    {"DOLLARS", "$HOME/go ${HOME} $$ a$ ${A:-x} $1"},
    {"BACKSLASH", R"(C:\temp\ \" \\ end\)"},
    {"SPACES", "  lead and trail  "},
    {"UTF8", "\xC3\xBC\xC3\xB1\xC3\xAF \xE2\x82\xAC \xF0\x9F\x90\x8D"},
    {"MARKS", "#not-a-comment;x=y`tick`"},
    {"EMPTY", ""},
};

TEST_F(KenvState, ExportThenApplyIsANoOpAndRestoresTheStateExactly) {
  given(corpus, {"/opt/one bin", "/opt/$two"});
  for (const char *format : {"json", "env"}) {
    std::string exported = kenv_ok({"export", "--format", format});
    std::string file = doc(exported);
    std::size_t taken = backups();
    EXPECT_EQ(kenv_ok({"apply", file}), "no changes\n") << format;
    EXPECT_EQ(backups(), taken) << format;
    // Spoil the scope, then the document puts every value back.
    kenv_ok({"set", "QUOTES", "changed"});
    kenv_ok({"set", "EXTRA", "x"});
    kenv_ok({"path", "rm", "/opt/$two"});
    kenv_ok({"apply", file, "--prune"});
    EXPECT_EQ(kenv_ok({"export", "--format", format}), exported) << format;
    EXPECT_EQ(backups(), taken + 4) << format;
  }
}

// The env format is an environment.d file: systemd's generator makes of it exactly what it
// makes of the library's own file.
TEST_F(KenvState, TheEnvFormatGivesASessionWhatTheScopeGivesIt) {
  if (access(envd_generator, X_OK) != 0)
    GTEST_SKIP() << "systemd's environment.d generator is not installed";
  given(corpus, {"/opt/one bin"});
  std::string exported = kenv_ok({"export", "--format", "env"});
  auto session = [&](const std::string &conf) {
    std::string config = root() + "/gen" + std::to_string(conf.size()) + "/.config";
    write(config + "/environment.d/50-kenv.conf", conf);
    Outcome r = run_process({"/usr/bin/env", "-i", "HOME=" + home(), "XDG_CONFIG_HOME=" + config,
                             "PATH=/usr/bin:/bin", envd_generator});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  std::string ours = session(read(user_envd() + "/99-pellomar-user.conf"));
  EXPECT_EQ(session(exported), ours);
  EXPECT_THAT(ours, HasSubstr("QUOTES="));
}

TEST_F(KenvState, OneRefusedValueRefusesTheWholeApply) {
  given({{"A", "1"}});
  std::string before = read(store_path("user"));
  std::size_t taken = backups();
  struct Case {
    std::string vars, path, named;
  } cases[] = {
      {R"({"name": "BAD", "value": "two\nlines"})", R"("/x")", "'BAD'"},
      {R"({"name": "B-C", "value": "x"})", R"("/x")", "'B-C'"},
      {R"({"name": "C", "value": "x"})", R"("/x:/y")", "'/x:/y'"},
  };
  for (const Case &c : cases) {
    Outcome r = kenv({"apply", doc(R"({"format": "kenv-state/1", "vars": [{"name": "B", "value": "ok"}, )" +
                                   c.vars + R"(], "path": ["/ok", )" + c.path + "]}")});
    EXPECT_EQ(r.status, 1) << c.named;
    EXPECT_THAT(r.err, HasSubstr(c.named));
  }
  EXPECT_EQ(read(store_path("user")), before);
  EXPECT_EQ(backups(), taken);
}

TEST_F(KenvState, PruneLeavesExactlyTheDocumentButProtectedNames) {
  given({{"A", "1"}, {"B", "2"}, {"TMP", "/scratch"}}, {"/a", "/b"});
  Outcome r = kenv({"apply", doc("A=1\nC=3\nPATH=${PATH}:/c:/a\n"), "--prune", "--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kenv: note: kept 'TMP' in the user scope: a protected name is never deleted\n");
  EXPECT_THAT(r.out, HasSubstr(R"({"changed":true,"changes":[{"op":"set","name":"C","old":null,"new":"3"},)"
                               R"({"op":"delete","name":"B","old":"2","new":null},)"
                               R"({"op":"path_add","name":"PATH","old":null,"new":"/c"},)"
                               R"({"op":"path_remove","name":"PATH","old":"/b","new":null}],"backup":")"));
  EXPECT_EQ(kenv_ok({"export", "--format", "env"}),
            "# kenv-state/1 scope=user\nA=1\nTMP=/scratch\nC=3\nPATH=${PATH}:/c:/a\n");
}

TEST_F(KenvState, CheckReportsAndExitsThreeWhenSomethingWouldChange) {
  given({{"A", "1"}}, {"/a", "/b"});
  struct Case {
    std::vector<std::string> options;
    std::string text;
    int status;
    std::string out;
  } cases[] = {
      {{"--check"}, "A=1\nPATH=${PATH}:/b\n", 0, "no changes\n"},
      {{"--check"}, "A=2\nB=\"x y\"\nPATH=${PATH}:/c\n", 3, "~ A: 1 -> 2\n+ B=x y\n+ PATH /c\n"},
      {{"--check", "--prune"}, "PATH=${PATH}:/b:/a\n", 3, "- A\n~ PATH order\n"},
      {{"--check", "--json"}, "A=1\n", 0, "{\"changed\":false,\"changes\":[],\"backup\":null}\n"},
      // A null value asks for the name to be gone, and only that name.
      {{"--check"},
       R"({"format": "kenv-state/1", "vars": [{"name": "A", "value": null}], "path": []})",
       3,
       "- A\n"},
      {{"--check"},
       R"({"format": "kenv-state/1", "vars": [{"name": "NOPE", "value": null}], "path": []})",
       0,
       "no changes\n"},
  };
  std::size_t taken = backups();
  for (const Case &c : cases) {
    std::vector<std::string> args{"apply", doc(c.text)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, c.status) << c.text;
    EXPECT_EQ(r.out, c.out) << c.text;
  }
  EXPECT_EQ(backups(), taken);
}

TEST_F(KenvState, BadDocumentsAreUsageErrorsNamingTheLineOrName) {
  given({{"A", "1"}});
  struct Case {
    std::string text;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {"A=1\nthis is not an assignment\n", {}, "line 2: not NAME=value"},
      {R"({"format": "kenv-state/9", "vars": []})", {}, "unknown \"format\""},
      {R"({"format": "kenv-state/1", "vars": [{"name": "X", "value": "1"}, {"name": "X", "value": "2"}],
          "path": []})",
       {},
       "'X' is given twice"},
      {"X=1\nY=2\nX=3\n", {}, "line 3: 'X' is given twice"},
      {R"({"format": "kenv-state/1", "scope": "users", "vars": [], "path": []})",
       {"--scope", "user"},
       "the document's scope 'users' is neither user nor system"},
      {R"({"format": "kenv-state/1", "scope": "system", "vars": [], "path": []})",
       {"--scope", "user"},
       "the document is for the system scope, not the user scope"},
  };
  std::string before = read(store_path("user"));
  for (const Case &c : cases) {
    std::vector<std::string> args{"apply", doc(c.text)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, 2) << c.text;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.text;
  }
  EXPECT_EQ(read(store_path("user")), before);
}

TEST_F(KenvState, TheSystemScopeTakesItsOwnDocument) {
  given({{"U", "user"}});
  std::string file =
      doc(R"({"format": "kenv-state/1", "scope": "system", "vars": [{"name": "S", "value": "1"}],
      "path": ["/opt/sys"]})");
  EXPECT_THAT(kenv_ok({"apply", file}), HasSubstr("Applied 2 changes to the system scope"));
  EXPECT_EQ(kenv_ok({"export", "--scope", "system", "--format", "env"}),
            "# kenv-state/1 scope=system\nS=1\nPATH=${PATH}:/opt/sys\n");
  EXPECT_EQ(backups("system"), 1u);
}

// Wrong, missing and unknown members were read as empty: with --prune that deleted every
// variable and PATH entry.
TEST_F(KenvState, AMemberOfTheWrongTypeMissingOrUnknownIsRefusedNamingIt) {
  given({{"A", "1"}}, {"/a"});
  struct Case {
    std::string text, named;
  } cases[] = {
      {R"({"format": "kenv-state/1", "vars": {"A": "1"}, "path": []})", "\"vars\" is not a list"},
      {R"({"format": "kenv-state/1", "vars": [], "path": "/x"})", "\"path\" is not a list"},
      {R"({"format": "kenv-state/1", "vars": []})", "has no \"path\""},
      {R"({"format": "kenv-state/1", "path": []})", "has no \"vars\""},
      {R"({"format": "kenv-state/1", "var": [], "vars": [], "path": []})", "unknown member \"var\""},
      {R"({"format": "kenv-state/1", "scope": 1, "vars": [], "path": []})", "\"scope\" is not text"},
      {R"({"format": "kenv-state/1", "vars": [{"name": "A", "value": "1", "valeu": "2"}], "path": []})",
       "unknown member \"valeu\""},
  };
  std::string before = read(store_path("user"));
  for (const Case &c : cases) {
    Outcome r = kenv({"apply", doc(c.text), "--prune"});
    EXPECT_EQ(r.status, 2) << c.text;
    EXPECT_THAT(r.err, HasSubstr(c.named)) << c.text;
  }
  EXPECT_EQ(read(store_path("user")), before);
  kenv_ok({"path", "rm", "/a"});
  EXPECT_THAT(kenv_ok({"export"}), HasSubstr("\"path\": []"));
}

// A NUL cut the text: "PATH\u0000" became a second PATH record.
TEST_F(KenvState, ANulInANameValueEntryOrScopeIsRefusedNamingTheElement) {
  given({{"A", "1"}}, {"/a"});
  struct Case {
    std::string vars, path, scope, named;
  } cases[] = {
      {R"({"name": "PATH\u0000", "value": ""})", "", "", "\"vars\" element 0: the name holds a NUL"},
      {R"({"name": "B", "value": "a\u0000b"})", "", "", "\"vars\" element 0: the value holds a NUL"},
      {"", R"("/x\u0000y")", "", "\"path\" element 0 holds a NUL"},
      {"", "", R"("scope": "user\u0000", )", "\"scope\" holds a NUL"},
  };
  std::string before = read(store_path("user"));
  for (const Case &c : cases) {
    std::string text = R"({"format": "kenv-state/1", )" + c.scope + R"("vars": [)" + c.vars +
                       R"(], "path": [)" + c.path + "]}";
    Outcome r = kenv({"apply", doc(text)});
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_THAT(r.err, HasSubstr(c.named)) << text;
  }
  EXPECT_EQ(read(store_path("user")), before);
}

// Older versions wrote bytes that are not UTF-8 into the store; every change composed from
// the listing then failed with "changed while applying", which running it again never cured.
TEST_F(KenvState, AStoreHoldingBytesThatAreNotUtf8IsRefusedBeforeAnyChange) {
  given({{"A", "1"}}, {"/a"});
  write(root() + "/p.doc", "P=1\n");
  kenv_ok({"profile", "new", "p", "--from", root() + "/p.doc"});
  kenv_ok({"profile", "on", "p"});
  kenv_ok({"path", "off", "/a"});
  std::string store = read(store_path("user"));
  store.insert(store.find('[') + 1, "{\"name\": \"OLD\", \"value\": \"\xFF\xFE\"},");
  write(store_path("user"), store);
  const std::vector<std::vector<std::string>> changes{
      {"apply", doc("B=2\n")}, {"profile", "off", "p"}, {"path", "on", "/a"}, {"path", "off", "/b"}};
  for (const std::vector<std::string> &args : changes) {
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
    EXPECT_EQ(r.err, "kenv: variable OLD holds bytes that are not UTF-8 (written by an older version); "
                     "unset it or set it again\n")
        << args[0] << " " << args[1];
  }
  EXPECT_EQ(read(store_path("user")), store);
}

// PATH entries were compared byte for byte except by the library: "/opt/a/" was added beside
// "/opt/a", two profiles could own one entry, and path off refused what path rm took.
TEST_F(KenvState, PathEntriesCompareAsTheLibraryComparesThem) {
  given({}, {"/opt/a", "/opt/b"});
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"apply", doc(R"({"format": "kenv-state/1", "vars": [], "path": ["/opt/a/"]})"), "--check"},
       0,
       "no changes\n"},
      {{"apply", doc(R"({"format": "kenv-state/1", "vars": [], "path": ["/opt/b//", "/opt/a/"]})"), "--check",
        "--prune"},
       3,
       "~ PATH order\n"},
      {{"profile", "new", "one", "--from", doc("PATH=${PATH}:/opt/p\n")},
       0,
       "Profile 'one' saved in the user scope\n"},
      {{"profile", "new", "two", "--from", doc("PATH=${PATH}:/opt/p/\n")},
       0,
       "Profile 'two' saved in the user scope\n"},
      {{"profile", "on", "one"}, 0, "Profile 'one' is on (1 change)\n"},
      {{"profile", "on", "two"}, 1, ""},
      {{"path", "off", "/opt/b/"}, 0, ""},
      {{"path", "on", "/opt/b/"}, 0, ""},
  };
  for (const Case &c : cases) {
    Outcome r = kenv(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[0] << " " << c.args[1];
  }
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "/opt/a:/opt/b:/opt/p\n");
}

// kenv export -o failed on a bare file name, and replaced whatever the path named with a new
// regular file, devices included.
TEST_F(KenvState, ExportOutputReplacesOnlyARegularFileOrANewName) {
  given({{"A", "1"}});
  std::string document = kenv_ok({"export"});
  std::string dir = root() + "/out", fifo = dir + "/fifo";
  write(dir + "/old.json", "old");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Held open for reading, the FIFO takes the short document without blocking the writer.
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string sh = "cd '" + dir + "' && for o in my-setup.json old.json fifo /dev/stdout; do " + KENV_BIN +
                   " export -o $o || exit 1; done";
  Outcome r = run_process({"/bin/sh", "-c", sh});
  std::string from_fifo(document.size() + 1, '\0');
  ssize_t got = ::read(reader, from_fifo.data(), from_fifo.size());
  ::close(reader);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, document);
  EXPECT_EQ(from_fifo.substr(0, got < 0 ? 0 : static_cast<std::size_t>(got)), document);
  for (const char *name : {"my-setup.json", "old.json"})
    EXPECT_EQ(read(dir + "/" + name), document) << name;
  EXPECT_EQ(fs::status(dir + "/old.json").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

// A file written on Windows: CRLF line ends, a byte order mark before either format.
TEST_F(KenvState, CrlfLineEndsAndAByteOrderMarkAreAccepted) {
  given({{"A", "1"}}, {"/a"});
  const std::string bom = "\xEF\xBB\xBF";
  for (const std::string &text : {std::string("# kenv-state/1 scope=user\r\nA=2\r\nPATH=${PATH}:/a:/b\r\n"),
                                  bom + "# kenv-state/1 scope=user\nA=2\nPATH=${PATH}:/a:/b\n",
                                  bom + R"({"format": "kenv-state/1", "scope": "user", "vars": [{"name": "A",
                                    "value": "2"}], "path": ["/a", "/b"]})"}) {
    Outcome r = kenv({"apply", doc(text), "--check"});
    EXPECT_EQ(r.status, 3) << text << r.err;
    EXPECT_EQ(r.out, "~ A: 1 -> 2\n+ PATH /b\n") << text;
  }
}

// Malformed JSON said nothing of where, a FIFO blocked forever, an empty document pruned
// everything, and a second "value" was silently dropped.
TEST_F(KenvState, OddDocumentsGetAMessageThatSaysWhereOrWhatToDo) {
  given({{"A", "1"}});
  std::string fifo = root() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string file, message;
  } cases[] = {
      {doc("{\"format\": \"kenv-state/1\",\n  \"vars\": [,]}"), "line 2, column 12: not JSON"},
      {fifo, "give - and send it to stdin"},
      {doc(""), "the document is empty"},
      {doc(" \n\n"), "the document is empty"},
      {doc(R"({"format": "kenv-state/1", "vars": [{"name": "A", "value": "1", "value": "2"}], "path": []})"),
       "member \"value\" is given twice"},
      {doc(R"({"format": "kenv-state/1", "vars": [], "path": [], "path": ["/x"]})"),
       "member \"path\" is given twice"},
  };
  for (const Case &c : cases) {
    Outcome r = run_process({"/usr/bin/timeout", "10", KENV_BIN, "apply", c.file, "--prune"});
    EXPECT_EQ(r.status, 2) << c.file;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.file;
  }
  // stdin is read up to the system helper's cap on a request, 1 MiB.
  std::string big = doc(std::string(1 << 20, '#') + "\n");
  Outcome r = run_process({"/bin/sh", "-c", std::string(KENV_BIN) + " apply - < '" + big + "'"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("larger than 1 MiB"));
  EXPECT_EQ(kenv_ok({"get", "A"}), "1\n");
}

} // namespace

namespace {

// A variable with an empty value is in the store but not in environment.d, which the listing
// shows first: export, apply and a profile switched on and off keep the store's own order.
TEST_F(KenvState, ExportApplyAndProfilesKeepTheStoresOrder) {
  given({{"A", "1"}, {"E", ""}, {"B", "2"}});
  const std::string in_order = "A=1\nE=\nB=2\n";
  auto body = [](const std::string &exported) { return exported.substr(exported.find("A=")); };
  EXPECT_EQ(body(kenv_ok({"export", "--format", "env"})), in_order);
  std::string store = read(store_path("user"));
  kenv_ok({"apply", doc(R"({"format": "kenv-state/1", "vars": [{"name": "B", "value": "2"}], "path": []})")});
  EXPECT_EQ(read(store_path("user")), store);
  write(root() + "/p.doc", "C=3\n");
  kenv_ok({"profile", "new", "p", "--from", root() + "/p.doc"});
  kenv_ok({"profile", "on", "p"});
  kenv_ok({"profile", "off", "p"});
  EXPECT_EQ(read(store_path("user")), store);
}

} // namespace

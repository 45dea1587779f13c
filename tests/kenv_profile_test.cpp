// kenv profile and kenv path off/on: sets of variables and PATH entries switched on and off,
// each switch one change of the scope.
#include "kenv_run.h"

#include <filesystem>
#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace {

class KenvProfile : public KenvTest {
protected:
  // The three files a change writes, the export file without its time stamp line.
  std::vector<std::string> scope_files() {
    std::string exported = read(user_export());
    std::size_t stamp = exported.find("# Generated: ");
    exported.erase(stamp, exported.find('\n', stamp) - stamp);
    return {read(store_path("user")), read(user_envd() + "/99-pellomar-user.conf"), exported};
  }
  void profile(const std::string &name, const std::string &text) {
    std::string file = root() + "/" + name + ".doc";
    write(file, text);
    kenv_ok({"profile", "new", name, "--from", file});
  }
};

TEST_F(KenvProfile, OnThenOffLeavesTheScopeFilesAsTheyWere) {
  kenv_ok({"set", "EDITOR", "vim"});
  kenv_ok({"set", "GOPATH", "$HOME/old go"});
  kenv({"path", "add", "/usr/local/bin"});
  std::vector<std::string> before = scope_files();
  profile("go", "GOPATH=/w/go\nGOBIN=/w/go/bin\nPATH=${PATH}:/w/go/bin:/usr/local/bin\n");
  EXPECT_EQ(kenv_ok({"profile", "on", "go"}), "Profile 'go' is on (3 changes)\n");
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "/usr/local/bin:/w/go/bin\n");
  std::string listing = kenv_ok({"list"});
  EXPECT_THAT(listing, HasSubstr("Profiles on (1)\n  go\n"));
  EXPECT_THAT(listing, HasSubstr("GOBIN=/w/go/bin  (profile go)"));
  EXPECT_THAT(listing, HasSubstr("/w/go/bin  (profile go)"));
  EXPECT_EQ(kenv_ok({"profile", "off", "go"}), "Profile 'go' is off (3 changes)\n");
  EXPECT_EQ(scope_files(), before);
}

TEST_F(KenvProfile, OverlapsWithAnActiveProfileAreRefused) {
  profile("a", "X=1\nPATH=${PATH}:/a\n");
  profile("var", "X=2\n");
  profile("entry", "Y=1\nPATH=${PATH}:/a\n");
  profile("apart", "Z=1\n");
  kenv_ok({"profile", "on", "a"});
  struct Case {
    const char *name;
    std::string message;
  } cases[] = {
      {"var", "kenv: refused: 'X' is set by the active profile 'a'\n"},
      {"entry", "kenv: refused: PATH entry '/a' was added by the active profile 'a'\n"},
  };
  for (const Case &c : cases) {
    Outcome r = kenv({"profile", "on", c.name});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err, c.message) << c.name;
  }
  kenv_ok({"profile", "on", "apart"});
  EXPECT_EQ(kenv_ok({"profile", "list"}), "on   a\non   apart\noff  entry\noff  var\n");
  Outcome r = kenv({"profile", "rm", "a"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("profile 'a' is on"));
}

TEST_F(KenvProfile, OffAfterAnEditIsRefusedUnlessForced) {
  kenv_ok({"set", "A", "before"});
  profile("p", "A=profile\nB=new\n");
  kenv_ok({"profile", "on", "p"});
  kenv_ok({"set", "A", "edited"});
  kenv_ok({"set", "B", "edited too"});
  Outcome r = kenv({"profile", "off", "p"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("changed since profile 'p' went on: 'A', 'B'"));
  EXPECT_EQ(kenv_ok({"get", "A"}), "edited\n");
  kenv_ok({"profile", "off", "p", "--force"});
  EXPECT_EQ(kenv_ok({"get", "A"}), "before\n");
  EXPECT_EQ(kenv({"get", "B"}).status, 1);
}

TEST_F(KenvProfile, BadProfileNamesAreUsageErrors) {
  for (const char *name : {"a/b", ".hidden", "sp ace", ""}) {
    Outcome r = kenv({"profile", "new", name, "--vars", "X"});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_THAT(r.err, HasSubstr("is not a profile name")) << name;
  }
}

TEST_F(KenvProfile, PathOffAndOnReturnTheEntryToItsPlace) {
  for (const char *e : {"/a", "/b", "/c"})
    kenv({"path", "add", e});
  struct Case {
    std::vector<std::string> between; // a PATH edit while the entry is off
    std::string after_on;
  } cases[] = {
      {{}, "/a:/b:/c\n"},
      {{"path", "add", "/d", "--at", "0"}, "/d:/b:/a:/c\n"},
      {{"path", "rm", "/c"}, "/a:/b\n"},
  };
  for (const Case &c : cases) {
    kenv_ok({"path", "off", "/b"});
    EXPECT_EQ(kenv_ok({"get", "PATH"}).find("/b"), std::string::npos);
    EXPECT_THAT(kenv_ok({"path"}), HasSubstr("-  off      path    /b\n"));
    EXPECT_THAT(kenv_ok({"path", "list", "--json"}),
                HasSubstr(R"({"entry":"/b","exists":false,"dup":false,)"
                          R"("source":"path","editable":true,"off":true,)"));
    if (!c.between.empty())
      kenv(c.between);
    kenv_ok({"path", "on", "/b"});
    EXPECT_EQ(kenv_ok({"get", "PATH"}), c.after_on);
    kenv({"path", "rm", "/d"});
    kenv({"path", "add", "/c"});
    kenv_ok({"path", "mv", "/a", "0"});
    kenv_ok({"path", "mv", "/b", "1"});
  }
  kenv_ok({"path", "off", "/b"});
  kenv({"path", "add", "/b"});
  EXPECT_EQ(kenv_ok({"path", "on", "/b"}), "'/b' is in the user scope's PATH already; nothing changed\n");
}

} // namespace

namespace {

// The records of what is switched on and off change with the variables: undoing a switch
// brings back the record of its time, and records an earlier version kept in files beside
// the store are read, then moved into the store by the next switch.
TEST_F(KenvProfile, RecordsComeBackWithTheVariablesTheyDescribe) {
  kenv({"path", "add", "/x"});
  kenv_ok({"path", "off", "/x"});
  kenv_ok({"path", "on", "/x"});
  kenv_ok({"restore", "--latest"});
  EXPECT_THAT(kenv_ok({"path"}), HasSubstr("-  off    path    /x\n"));
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "\n");
  kenv_ok({"path", "on", "/x"});
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "/x\n");
}

TEST_F(KenvProfile, RecordsOfAnEarlierVersionAreMovedIntoTheStore) {
  kenv_ok({"set", "PATH", "/a:/c"});
  kenv_ok({"set", "GOBIN", "/g"});
  profile("go", "GOBIN=/g\n");
  write(data_dir() + "/profiles/.on/go.json",
        R"({"set":[{"name":"GOBIN","value":"/g"}],"replaced":[{"name":"GOBIN","value":null}],)"
        R"("path_added":[],"path_was_unset":false})");
  write(data_dir() + "/path-off.json", R"({"entries":[{"entry":"/b","position":1}]})");
  EXPECT_EQ(kenv_ok({"profile", "list"}), "on   go\n");
  kenv_ok({"path", "on", "/b"});
  EXPECT_EQ(kenv_ok({"get", "PATH"}), "/a:/b:/c\n");
  EXPECT_FALSE(std::filesystem::exists(data_dir() + "/path-off.json"));
  EXPECT_FALSE(std::filesystem::exists(data_dir() + "/profiles/.on"));
  EXPECT_EQ(kenv_ok({"profile", "list"}), "on   go\n");
  kenv_ok({"profile", "off", "go"});
  EXPECT_EQ(kenv({"get", "GOBIN"}).status, 1);
}

// profile new --from saved what only profile on refused; it now checks a document with the
// library's own rules, which kenv set reaches through the library.
TEST_F(KenvProfile, NewFromRefusesWhatTheLibraryRefuses) {
  struct Case {
    std::string name, value;
    bool refused;
  } cases[] = {
      {"FINE", "a value with spaces, $HOME and \xC3\xBC", false},
      {"NL", "two\nlines", true},
      {"TAB", "a\tb", true},
      {"BYTE", "\xFF", true},
      {"A=B", "x", true},
      {"B-C", "x", true},
      {"B", std::string(131070, 'x'), true},
      {"B", std::string(131060, 'x'), false},
  };
  auto json_text = [](std::string s) {
    for (auto [raw, escaped] : {std::pair{"\n", "\\n"}, std::pair{"\t", "\\t"}})
      if (std::size_t at = s.find(raw); at != std::string::npos)
        s.replace(at, 1, escaped);
    return s;
  };
  int n = 0;
  for (const Case &c : cases) {
    std::string file = root() + "/case" + std::to_string(++n) + ".json";
    write(file, R"({"format": "kenv-state/1", "vars": [{"name": ")" + c.name + R"(", "value": ")" +
                    json_text(c.value) + R"("}], "path": []})");
    Outcome set = kenv({"set", c.name, c.value});
    Outcome made = kenv({"profile", "new", "p" + std::to_string(n), "--from", file});
    EXPECT_EQ(set.status, c.refused ? 1 : 0) << c.name << set.err;
    EXPECT_EQ(made.status, c.refused ? 2 : 0) << c.name << made.err;
    EXPECT_THAT(made.err, HasSubstr(c.refused ? "'" + c.name + "'" : "")) << c.name;
  }
}

} // namespace

// kenv backups and kenv restore.
#include "kenv_run.h"

#include "kestrune_env.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace {

std::string library_backups() {
  char *text = env_backups();
  std::string out = text ? text : "";
  env_free_string(text);
  return out;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

class KenvBackups : public KenvTest {
protected:
  std::string backup_dir() const { return data_dir() + "/backups"; }
};

TEST_F(KenvBackups, NoneYet) {
  EXPECT_EQ(kenv_ok({"backups"}), "No backups yet: kenv takes one before every change.\n");
  EXPECT_EQ(kenv_ok({"backups", "--json"}), "[]\n");
}

TEST_F(KenvBackups, ListsNewestFirstWithTimeScopeCountAndPath) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "B", "2"});
  kenv_ok({"set", "C", "3", "--scope", "system"});
  std::vector<std::string> lines = lines_of(kenv_ok({"backups"}));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Backups (3, newest first)");
  EXPECT_EQ(lines[1], "  time                     scope   vars  file");
  const std::string row = "  [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} UTC  ";
  const std::string file = backup_dir() + "/[0-9]{8}-[0-9]{6}-[0-9]{8}[.]json";
  EXPECT_THAT(lines[2], MatchesRegex(row + "system     0  " + file));
  EXPECT_THAT(lines[3], MatchesRegex(row + "user       1  " + file));
  EXPECT_THAT(lines[4], MatchesRegex(row + "user       0  " + file));
}

TEST_F(KenvBackups, JsonIsTheLibrarysDocument) {
  kenv_ok({"set", "A", "1"});
  EXPECT_EQ(kenv_ok({"backups", "--json"}), library_backups() + "\n");
}

TEST_F(KenvBackups, RestoreLatestUndoesTheLastChange) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "A", "2"});
  std::string out = kenv_ok({"restore", "--latest"});
  EXPECT_THAT(out, StartsWith("Restored the user scope from " + backup_dir() + "/"));
  EXPECT_EQ(kenv_ok({"get", "A"}), "1\n");
}

TEST_F(KenvBackups, RestoreLatestSkipsBackupsOfTheSystemScope) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "A", "2"});
  kenv_ok({"set", "S", "x", "--scope", "system"});
  kenv_ok({"restore", "--latest"});
  EXPECT_EQ(kenv_ok({"get", "A"}), "1\n");
}

TEST_F(KenvBackups, RestoreTakesAPathOrAFileName) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "A", "2"});
  kenv_ok({"set", "A", "3"});
  std::vector<std::string> lines = lines_of(kenv_ok({"backups"}));
  std::string newest = lines[2].substr(lines[2].rfind(' ') + 1);
  std::string older = lines[3].substr(lines[3].rfind(' ') + 1);
  kenv_ok({"restore", older});
  EXPECT_EQ(kenv_ok({"get", "A"}), "1\n");
  std::string name = newest.substr(newest.rfind('/') + 1);
  EXPECT_EQ(kenv_ok({"restore", name}), "Restored the user scope from " + newest + "\n");
  EXPECT_EQ(kenv_ok({"get", "A"}), "2\n");
}

TEST_F(KenvBackups, RestoreFailuresComeFromTheLibrary) {
  Outcome r = kenv({"restore", root() + "/nope.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kenv: cannot read backup: " + root() + "/nope.json\n");
  write(root() + "/system.json", R"({"scope":"system","vars":[]})");
  r = kenv({"restore", root() + "/system.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: restore is user-scope only\n");
}

TEST_F(KenvBackups, RestoreLatestWithoutABackupFails) {
  kenv_ok({"set", "S", "x", "--scope", "system"});
  Outcome r = kenv({"restore", "--latest"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: no backup of the user scope to restore\n");
}

TEST_F(KenvBackups, RestoreNeedsExactlyOneOfFileAndLatest) {
  Outcome neither = kenv({"restore"});
  EXPECT_EQ(neither.status, 2);
  EXPECT_EQ(neither.err, "kenv: missing FILE (or --latest)\nTry 'kenv restore --help'.\n");
  Outcome both = kenv({"restore", "x.json", "--latest"});
  EXPECT_EQ(both.status, 2);
  EXPECT_THAT(both.err, HasSubstr("give either FILE or --latest, not both"));
}

} // namespace

// A backup holding what environment.d cannot take is refused whole; --drop-invalid
// restores the rest and names what it left out.
TEST_F(KenvBackups, RestoreDropInvalidLeavesOutWhatIsRefused) {
  std::string backup = home() + "/mixed.json";
  write(backup, R"({"scope":"user","vars":[{"name":"A","value":"1"},{"name":"1X","value":"v"},)"
                R"({"name":"NL","value":"a\nb"},{"name":"B","value":"2"}]})");
  Outcome refused = kenv({"restore", backup});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "kenv: cannot write '1X' to environment.d: not a valid variable name\n");
  Outcome r = kenv({"restore", "--drop-invalid", backup});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "kenv: left out: cannot write '1X' to environment.d: not a valid variable name\n"
                   "kenv: left out: cannot write 'NL' to environment.d: value holds control character 0x0A, "
                   "which systemd passes on as an escape sequence\n");
  EXPECT_EQ(kenv_ok({"get", "A"}), "1\n");
  EXPECT_EQ(kenv_ok({"get", "B"}), "2\n");
  EXPECT_EQ(kenv({"get", "NL"}).status, 1);
}

// kenv backups and kenv restore.
#include "kenv_run.h"

#include "kestrune_env.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
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
  std::string backup_dir(const std::string &scope = "user") const { return scope_dir(scope) + "/backups"; }
  // A backup written by hand: "vars" holds the pairs given.
  std::string hand_backup(const std::string &name, const std::string &scope,
                          const std::vector<std::pair<std::string, std::string>> &vars = {}) {
    std::string text = "{\"ts\": \"" + name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2) +
                       "T" + name.substr(9, 2) + ":" + name.substr(11, 2) + ":" + name.substr(13, 2) +
                       "Z\", \"scope\": \"" + scope + "\", \"vars\": [";
    for (std::size_t i = 0; i < vars.size(); ++i)
      text += std::string(i ? ", " : "") + "{\"name\": \"" + vars[i].first + "\", \"value\": \"" +
              vars[i].second + "\"}";
    std::string path = backup_dir() + "/" + name;
    write(path, text + "]}");
    return path;
  }
  std::vector<std::string> backup_names(const std::string &scope = "user") const {
    std::vector<std::string> out;
    for (auto &e : std::filesystem::directory_iterator(backup_dir(scope)))
      if (e.path().extension() == ".json")
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
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
  const std::string system_file = backup_dir("system") + "/[0-9]{8}-[0-9]{6}-[0-9]{8}[.]json";
  // Each scope has its own folder, and two backups of one second are ordered by their
  // counters, which each folder counts for itself: the system's row may come anywhere.
  std::vector<std::string> rows(lines.begin() + 2, lines.end());
  auto system = std::find_if(rows.begin(), rows.end(),
                             [](const std::string &r) { return r.find("system") != std::string::npos; });
  ASSERT_NE(system, rows.end());
  EXPECT_THAT(*system, MatchesRegex(row + "system     0  " + system_file));
  rows.erase(system);
  EXPECT_THAT(rows[0], MatchesRegex(row + "user       1  " + file));
  EXPECT_THAT(rows[1], MatchesRegex(row + "user       0  " + file));
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
  write(root() + "/system.json", R"({"scope":"system","vars":[{"name":"S","value":"1"}]})");
  EXPECT_EQ(kenv_ok({"restore", root() + "/system.json"}),
            "Restored the system scope from " + root() + "/system.json\n");
  EXPECT_EQ(kenv_ok({"get", "S", "--scope", "system"}), "1\n");
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

TEST_F(KenvBackups, PruneKeepsTheNewestOfTheScope) {
  std::vector<std::string> user;
  for (int i = 1; i <= 5; ++i)
    user.push_back(hand_backup("2024010" + std::to_string(i) + "-120000-00000001.json", "user"));
  std::string system = hand_backup("20240109-120000-00000001.json", "system");
  std::string odd = hand_backup("20230101-120000-00000001.json", "elsewhere");
  Outcome dry = kenv({"backups", "prune", "--keep", "2", "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "would remove " + user[2] + "\nwould remove " + user[1] + "\nwould remove " + user[0] +
                         "\nWould remove 3 backups of the user scope and keep 2.\n");
  EXPECT_EQ(backup_names().size(), 7u);
  EXPECT_EQ(kenv_ok({"backups", "prune", "--keep", "2"}),
            "removed " + user[2] + "\nremoved " + user[1] + "\nremoved " + user[0] +
                "\nRemoved 3 backups of the user scope and kept 2.\n");
  EXPECT_EQ(backup_names(),
            (std::vector<std::string>{"20230101-120000-00000001.json", "20240104-120000-00000001.json",
                                      "20240105-120000-00000001.json", "20240109-120000-00000001.json"}));
  EXPECT_EQ(kenv_ok({"backups", "prune", "--keep", "1", "--scope", "system"}),
            "Removed 0 backups of the system scope and kept 1.\n");
  EXPECT_TRUE(std::filesystem::exists(system));
  EXPECT_TRUE(std::filesystem::exists(odd));
  EXPECT_THAT(kenv_ok({"backups"}), Not(HasSubstr(user[0])));
}

TEST_F(KenvBackups, PruneOlderThanNeverRemovesTheNewest) {
  std::string a = hand_backup("20000101-000000-00000001.json", "user");
  std::string b = hand_backup("20000102-000000-00000001.json", "user");
  EXPECT_EQ(kenv_ok({"backups", "prune", "--older-than", "30"}),
            "removed " + a + "\nRemoved 1 backup of the user scope and kept 1.\n");
  kenv_ok({"set", "A", "1"});
  EXPECT_EQ(kenv_ok({"backups", "prune", "--older-than", "30"}),
            "removed " + b + "\nRemoved 1 backup of the user scope and kept 1.\n");
  EXPECT_EQ(backup_names().size(), 1u);
}

TEST_F(KenvBackups, PruneNeedsKeepOrOlderThan) {
  for (const std::vector<std::string> &args : {std::vector<std::string>{"backups", "prune"},
                                               {"backups", "prune", "--keep", "0"},
                                               {"backups", "prune", "--keep", "2", "--older-than", "3"},
                                               {"backups", "prune", "--older-than", "x"}}) {
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, 2) << args.size();
    EXPECT_THAT(r.err, HasSubstr("Try 'kenv backups --help'."));
  }
}

TEST_F(KenvBackups, ShowPrintsABackupsVariables) {
  std::string path = hand_backup("20240101-120000-00000001.json", "user", {{"A", "1"}, {"NL", "x\\ny"}});
  std::string expected = "Backup " + path + "\n  taken 2024-01-01 12:00:00 UTC, scope user, 2 variables\n" +
                         "  A=1\n  NL=x\\ny\n";
  EXPECT_EQ(kenv_ok({"backups", "show", path}), expected);
  EXPECT_EQ(kenv_ok({"backups", "show", "20240101-120000-00000001.json"}), expected);
  EXPECT_EQ(kenv_ok({"backups", "show", "--latest"}), expected);
  hand_backup("20240102-120000-00000001.json", "system", {{"S", "x"}});
  EXPECT_EQ(kenv_ok({"backups", "show", "--latest"}), expected);
  EXPECT_THAT(kenv_ok({"backups", "show", "--latest", "--scope", "system"}), HasSubstr("  S=x\n"));
}

TEST_F(KenvBackups, DiffShowsWhatRestoringWouldChange) {
  kenv_ok({"set", "A", "1"});
  kenv_ok({"set", "B", "2"});
  kenv_ok({"set", "A", "3"});
  kenv_ok({"set", "C", "4"});
  // The newest backup holds the scope before C was set: A=3, B=2.
  std::string newest = backup_dir() + "/" + backup_names().back();
  EXPECT_EQ(kenv_ok({"backups", "diff", "--latest"}),
            "Restoring " + newest + " would change the user scope:\n  removed  C=4\n");
  std::string older = backup_dir() + "/" + backup_names()[2];
  EXPECT_EQ(kenv_ok({"backups", "diff", older}),
            "Restoring " + older + " would change the user scope:\n  changed  A: 3 -> 1\n  removed  C=4\n");
  std::string first = backup_dir() + "/" + backup_names()[1];
  EXPECT_EQ(kenv_ok({"backups", "diff", first}), "Restoring " + first +
                                                     " would change the user scope:\n  changed  A: 3 -> 1\n"
                                                     "  removed  B=2\n  removed  C=4\n");
  std::string gone = hand_backup("20000101-000000-00000001.json", "user", {{"OLD", "o"}, {"A", "3"}});
  EXPECT_EQ(kenv_ok({"backups", "diff", gone}), "Restoring " + gone +
                                                    " would change the user scope:\n  added    OLD=o\n"
                                                    "  removed  B=2\n  removed  C=4\n");
  kenv_ok({"set", "C", "4"}); // the backup it takes holds what the scope holds
  std::string same = backup_dir() + "/" + backup_names().back();
  EXPECT_EQ(kenv_ok({"backups", "diff", "--latest"}),
            "Backup " + same + " holds what the user scope holds now.\n");
}

TEST_F(KenvBackups, DiffOfASystemBackupComparesTheSystemScope) {
  kenv_ok({"set", "S", "1", "--scope", "system"});
  kenv_ok({"set", "S", "2", "--scope", "system"});
  std::string newest = backup_dir("system") + "/" + backup_names("system").back();
  EXPECT_EQ(kenv_ok({"backups", "diff", "--latest", "--scope", "system"}),
            "Backup " + newest + " differs from the system scope now:\n  changed  S: 2 -> 1\n");
}

TEST_F(KenvBackups, AFifoNamedLikeABackupBlocksNothing) {
  alarm(60); // a kenv that blocks on the FIFO ends the test process: the test fails
  kenv_ok({"set", "A", "1"});
  std::string fifo = backup_dir() + "/20991231-235959-00000001.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::vector<std::string> &args : {std::vector<std::string>{"restore", fifo},
                                               {"restore", "--drop-invalid", fifo},
                                               {"backups", "show", fifo},
                                               {"backups", "diff", fifo}}) {
    Outcome r = kenv(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_THAT(r.err, HasSubstr("not a regular file")) << args[0];
  }
  EXPECT_EQ(kenv({"restore", "--latest"}).status, 0);
  alarm(0);
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

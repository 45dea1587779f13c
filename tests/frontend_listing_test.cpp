// The front ends' reading of the listing document: where each PATH entry comes from, which
// entries the scope owns, and the session view, with and without those members; and the
// words the windows make of it.
#include "change_summary.h"
#include "library.h"
#include "listing.h"
#include "private_files.h"
#include "support/sandbox.h"
#include "views.h"
#include "window_texts.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const std::string head = R"({"scope":"user","path_sep":":","export_file":"/h/x.sh","vars":[],)";
const std::string tail = R"("warnings":[],"protected_delete":["PATH"],"rc_sources":[])";

TEST(FrontendListing, ReadsTheOriginAndOwnershipOfEachPathEntry) {
  Listing l = parse_listing(head + R"("path":[
    {"entry":"/a","exists":1,"dup":0,"source":"path","origin":"/h/.config/environment.d/99-pellomar-user.conf","editable":1},
    {"entry":"/b","exists":0,"dup":0,"source":"path","origin":"/etc/environment.d/10-x.conf","editable":0}],)" +
                            tail + "}");
  ASSERT_EQ(l.path.size(), 2u);
  EXPECT_EQ(l.path[0].origin, "/h/.config/environment.d/99-pellomar-user.conf");
  EXPECT_TRUE(l.path[0].editable);
  EXPECT_EQ(l.path[1].origin, "/etc/environment.d/10-x.conf");
  EXPECT_FALSE(l.path[1].editable);
}

TEST(FrontendListing, WithoutOwnershipOnlyStartUpFileEntriesAreReadOnly) {
  Listing l = parse_listing(head + R"("path":[{"entry":"/a","exists":1,"dup":0,"source":"path"},
    {"entry":"/b","exists":1,"dup":0,"source":"rc:~/.profile"}],)" +
                            tail + "}");
  ASSERT_EQ(l.path.size(), 2u);
  EXPECT_TRUE(l.path[0].editable);
  EXPECT_FALSE(l.path[1].editable);
  EXPECT_EQ(l.path[1].origin, "");
  EXPECT_TRUE(l.session.empty());
}

TEST(FrontendListing, ReadsTheSessionViewInOrder) {
  std::string session = R"([{"name":"B","value":"2","file":"/e/10-b.conf","shell":null,"differs":1},)"
                        R"({"name":"A","value":"/h/x","file":"/e/99-a.conf","shell":"/h/x","differs":0}])";
  std::string json = head + R"("path":[],)" + tail + R"(,"session":)" + session + "}";
  Listing l = parse_listing(json);
  ASSERT_EQ(l.session.size(), 2u);
  EXPECT_EQ(l.session[0].name, "B");
  EXPECT_EQ(l.session[0].file, "/e/10-b.conf");
  EXPECT_FALSE(l.session[0].shell.has_value());
  EXPECT_TRUE(l.session[0].differs);
  EXPECT_EQ(l.session[1].value, "/h/x");
  EXPECT_EQ(l.session[1].shell, "/h/x");
  EXPECT_FALSE(l.session[1].differs);
}

// The places the windows name, on Windows too: the registry key for a native variable.
TEST(FrontendListing, NamesThePlaceEachVariableComesFrom) {
  struct Case {
    std::string scope, source, place;
  } cases[] = {
      {"user", "overlay", "kenv's user store"},
      {"system", "overlay", "kenv's system store"},
      {"user", "registry-hkcu", "the registry: HKEY_CURRENT_USER\\Environment"},
      {"system", "registry-hklm",
       "the registry: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"},
      {"user", "envd-user", "/e/10-a.conf"},
      {"system", "envd-system", "an environment.d file of the system scope"}};
  for (const Case &c : cases) {
    Listing l;
    l.scope = c.scope;
    l.vars = {{c.source == "envd-system" ? "B" : "A", "1", "1", c.source}};
    l.session = {{"A", "1", "/e/10-a.conf", std::nullopt, false}};
    EXPECT_EQ(variable_places(l), std::vector<std::string>{c.place}) << c.source;
  }
}

TEST(FrontendListing, NamesWhatIsWrongWithAPathEntry) {
  struct Case {
    std::string entry;
    bool exists, dup;
    std::string words;
  } cases[] = {
      {"/a", true, false, "ok"},
      {"/a", false, false, "missing: no such folder"},
      {"", false, false, "empty: a shell searches the current folder"},
      {"/a", true, true, "duplicate of an earlier entry"},
      {"/a", false, true, "missing: no such folder; duplicate of an earlier entry"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(entry_state_text({c.entry, c.exists, c.dup, "path", "", true}), c.words) << c.words;
}

// Rows: own, read-only, own, own. A row dropped before another takes the place among the
// own entries that the entries above it, itself left out, give it.
TEST(FrontendListing, CountsPlacesAmongTheScopesOwnPathEntriesOnly) {
  std::vector<PathEntry> rows;
  for (bool own : {true, false, true, true})
    rows.push_back({"/x", true, false, "path", "", own});
  EXPECT_EQ(own_count(rows), 3);
  struct Case {
    std::size_t row;
    int index;
  } indexes[] = {{0, 0}, {1, -1}, {2, 1}, {3, 2}, {4, -1}};
  for (const Case &c : indexes)
    EXPECT_EQ(own_index(rows, c.row), c.index) << c.row;
  struct Move {
    std::size_t from, before;
    int index;
  } moves[] = {{3, 0, 0}, {0, 4, 2}, {0, 2, 0}, {3, 2, 1}, {0, 9, 2}};
  for (const Move &m : moves)
    EXPECT_EQ(own_index_moved(rows, m.from, m.before), m.index) << m.from << " before " << m.before;
}

// The list editor's items: empty items are kept, so that joining them gives the value back.
TEST(FrontendListing, SplitsAListLikeValueIntoItemsThatJoinBackToIt) {
  struct Case {
    std::string value, separator;
    std::vector<std::string> items;
  } cases[] = {
      {"/a:/b", ":", {"/a", "/b"}},
      {":/a::", ":", {"", "/a", "", ""}},
      {"", ":", {""}},
      {".COM;.EXE", "", {".COM;.EXE"}},
      {"one\r\ntwo\r\n", "\r\n", {"one", "two", ""}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(split_list(c.value, c.separator), c.items) << c.value;
    EXPECT_EQ(join_list(c.items, c.separator), c.value) << c.value;
  }
}

TEST(FrontendListing, AChangeOfManyVariablesNamesTheFirstFew) {
  EXPECT_EQ(change_line({}), "no change");
  EXPECT_EQ(change_line({"set A", "set B", "unset C", "PATH + /x", "PATH - /y"}),
            "set A, set B, unset C and 2 more");
}

// On Windows new programs take the variables from the registry, and the export file is for
// POSIX shells there: the file shown with '\\', the command that sources it with '/'.
TEST(FrontendListing, WindowsExportViewGivesWindowsAdvice) {
  Listing l;
  l.scope = "user";
  l.platform = "windows";
  l.export_file = "C:\\Users\\x\\AppData\\Roaming\\Pellomar/exports/user-env.sh";
  std::string out = view_export(l, ViewOptions{});
  EXPECT_NE(out.find("  C:\\Users\\x\\AppData\\Roaming\\Pellomar\\exports\\user-env.sh"), std::string::npos)
      << out;
  EXPECT_NE(out.find(". 'C:/Users/x/AppData/Roaming/Pellomar/exports/user-env.sh'\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("New programs get the variables from the registry"), std::string::npos) << out;
  EXPECT_NE(out.find("consoles already open keep their old values"), std::string::npos) << out;
  EXPECT_NE(out.find("POSIX shells on Windows"), std::string::npos) << out;
}

class FrontendChanges : public Sandbox {
protected:
  static Listing listing(const std::string &scope) { return parse_listing(lib_list(scope)); }
  static std::vector<std::string> summaries(std::size_t limit, SummaryCache &cache) {
    return summarise_backups(parse_backups(lib_backups()), listing("user"), listing("system"), limit, cache);
  }
};

// Only the newest backups are summarised; the lines made once come back the same from the
// cache when the list is read again.
TEST_F(FrontendChanges, SummarisesTheNewestBackupsAndTheSameAgainFromTheCache) {
  lib_set("user", "A", "1");
  lib_set("user", "B", "2");
  lib_set("user", "A", "3");
  SummaryCache cache;
  std::vector<std::string> lines = summaries(2, cache);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "set A");
  EXPECT_EQ(lines[1], "set B");
  EXPECT_EQ(lines[2], "");
  std::vector<std::string> all = summaries(lines.size(), cache);
  EXPECT_EQ(all[0], "set A");
  EXPECT_EQ(all[1], "set B");
  EXPECT_EQ(all[2], "set A");
  EXPECT_EQ(summaries(lines.size(), cache), all);
}

// Undo takes back the change it was shown, never a later one another program made.
TEST_F(FrontendChanges, UndoIsRefusedWhenAnotherChangeCameInTheMeantime) {
  lib_set("user", "A", "1");
  lib_set("user", "A", "2");
  std::optional<LastChange> shown = last_change(listing("user"));
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->summary, "set A");
  lib_set("user", "B", "3");
  try {
    undo_change(*shown);
    ADD_FAILURE() << "undid a change that is no longer the latest";
  } catch (const LibraryError &e) {
    EXPECT_EQ(std::string(e.what()), "another change was made in the meantime; nothing was undone");
  }
  ASSERT_NE(find_variable(listing("user"), "B"), nullptr);
  EXPECT_EQ(find_variable(listing("user"), "A")->value, "2");
  std::optional<LastChange> latest = last_change(listing("user"));
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->summary, "set B");
  undo_change(*latest);
  EXPECT_EQ(find_variable(listing("user"), "B"), nullptr);
}

} // namespace

// A file the front ends keep (a profile) that cannot replace its target keeps the first
// error's words, not those of the clean-up after it, and leaves no temporary file behind.
TEST(FrontendFiles, AFailedReplaceNamesItsReasonAndLeavesNoTemporaryFile) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("kenv-private-" + std::to_string(::getpid()));
  fs::create_directories(dir / "target" / "inside");
  try {
    write_private_file((dir / "target").string(), "text");
    ADD_FAILURE() << "replacing a folder succeeded";
  } catch (const LibraryError &e) {
    EXPECT_NE(std::string(e.what()).find(std::strerror(EISDIR)), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find("Success"), std::string::npos) << e.what();
  }
  for (const fs::directory_entry &e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename(), "target");
  fs::remove_all(dir);
}

// Where the scope's folder cannot take the document (none is known, or a file has its name),
// it goes to a new folder of the temporary directory, owner-only, removed with the guard.
TEST(FrontendFiles, ARestoreDocumentFallsBackToAPrivateTemporaryFolder) {
  namespace fs = std::filesystem;
  fs::path base = fs::temp_directory_path() / ("kenv-restore-" + std::to_string(::getpid()));
  fs::create_directories(base);
  write_private_file((base / "taken").string(), "a file where the folder would be");
  for (const std::string &scope_dir : {std::string(), (base / "taken").string()}) {
    fs::path folder;
    {
      RestoreDocument document(scope_dir, 0700, "{}");
      fs::path path(document.path());
      folder = path.parent_path();
      EXPECT_EQ(folder.parent_path(), fs::temp_directory_path()) << scope_dir;
      EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << scope_dir;
      EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write) << scope_dir;
      EXPECT_EQ(read_text_file(document.path()), "{}") << scope_dir;
    }
    EXPECT_FALSE(fs::exists(folder)) << scope_dir;
  }
  fs::remove_all(base);
}

// A folder where a document is named is a file that cannot be read, not a missing one.
TEST(FrontendFiles, AFolderInPlaceOfAFileCannotBeRead) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("kenv-folder-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  EXPECT_THROW(read_text_file(dir.string()), LibraryError);
  EXPECT_EQ(read_text_file((dir / "none").string()), std::nullopt);
  fs::remove_all(dir);
}

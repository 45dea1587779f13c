// The front ends' reading of the listing document: where each PATH entry comes from, which
// entries the scope owns, and the session view, with and without those members; and the
// words the windows make of it.
#include "change_summary.h"
#include "library.h"
#include "listing.h"
#include "private_files.h"
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

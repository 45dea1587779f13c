// The library as a Windows program sees it: the exported functions over the Windows backend
// and the simulated registry. The listing document, the write chain's native step with its
// tolerated failures, the APPDATA rules and restore.
#include "winsim/win_sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>
#include <yyjson.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

namespace fs = std::filesystem;

namespace {

const std::string admin_suffix = " \xE2\x80\x94 admin required for system scope";

struct DocFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
using Doc = std::unique_ptr<yyjson_doc, DocFree>;

class WinLibrary : public WinSandbox {
protected:
  static std::string error() { return env_last_error(); }
  static std::string json_escaped(const std::string &text) {
    std::string out;
    for (char c : text)
      out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
  }

  static Doc listing(const char *scope) {
    char *text = env_list(scope);
    EXPECT_NE(text, nullptr) << env_last_error();
    Doc doc(text ? yyjson_read(text, std::strlen(text), 0) : nullptr);
    env_free_string(text);
    return doc;
  }
  // A member of the listing as compact JSON.
  static std::string member(const char *scope, const char *key) {
    Doc doc = listing(scope);
    char *json = yyjson_val_write(yyjson_obj_get(yyjson_doc_get_root(doc.get()), key), 0, nullptr);
    std::string out = json ? json : "";
    std::free(json);
    return out;
  }
  static std::string text_member(const char *scope, const char *key) {
    Doc doc = listing(scope);
    const char *text = yyjson_get_str(yyjson_obj_get(yyjson_doc_get_root(doc.get()), key));
    return text ? text : "(not a text)";
  }
  static std::string source_of(const char *scope, const char *name) {
    Doc doc = listing(scope);
    yyjson_val *vars = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "vars");
    for (std::size_t i = 0; i < yyjson_arr_size(vars); ++i) {
      yyjson_val *v = yyjson_arr_get(vars, i);
      if (std::string(yyjson_get_str(yyjson_obj_get(v, "name"))) == name)
        return yyjson_get_str(yyjson_obj_get(v, "source"));
    }
    return "(absent)";
  }
  static std::string stored(HKEY root, const char *name, DWORD *type = nullptr) {
    DWORD t = REG_NONE;
    std::string bytes;
    if (!winsim_get(root, name, t, bytes))
      return "(absent)";
    if (type)
      *type = t;
    return bytes;
  }
  static std::string sz(const std::string &text) { return text + '\0'; }
  std::string store_text(const char *scope = "user") {
    return read((std::string(scope) == "system" ? win_system_dir() : win_data_dir()) + "/" + scope +
                "-env.json");
  }
  // The backups of both scopes.
  std::size_t backups() {
    std::size_t n = 0;
    for (const std::string &dir : {win_data_dir() + "/backups", win_system_dir() + "/backups"})
      if (fs::is_directory(dir))
        for ([[maybe_unused]] auto &e : fs::directory_iterator(dir))
          ++n;
    return n;
  }
};

} // namespace

TEST_F(WinLibrary, ListingDescribesTheWindowsPlatform) {
  EXPECT_EQ(member("user", "platform"), "\"windows\"");
  EXPECT_EQ(member("user", "path_sep"), "\";\"");
  EXPECT_EQ(member("user", "write_policy"), "\"registry\"");
  EXPECT_EQ(member("user", "rc_write"), "\"never\"");
  EXPECT_EQ(member("user", "rc_sources"), "[]");
  EXPECT_EQ(member("system", "rc_sources"), "[]");
  EXPECT_EQ(text_member("user", "export_file"), win_data_dir() + "/exports/user-env.sh");
}

TEST_F(WinLibrary, ListingTagsWhereEachVariableComesFrom) {
  winsim_put(HKEY_CURRENT_USER, "OnlyNative", REG_SZ, sz("n"));
  winsim_put(HKEY_CURRENT_USER, "Both", REG_SZ, sz("native"));
  winsim_put(HKEY_LOCAL_MACHINE, "Machine", REG_EXPAND_SZ, sz("%SystemRoot%"));
  ASSERT_EQ(env_set("user", "BOTH", "overlay"), 1) << error();
  EXPECT_EQ(source_of("user", "OnlyNative"), "registry-hkcu");
  EXPECT_EQ(source_of("user", "Both"), "overlay");
  EXPECT_EQ(source_of("system", "Machine"), "registry-hklm");
}

TEST_F(WinLibrary, SetWritesTheRegistryWithTheTypeItsValueNeeds) {
  DWORD type = REG_NONE;
  ASSERT_EQ(env_set("user", "Tools", "%USERPROFILE%\\tools"), 1) << error();
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Tools", &type), sz("%USERPROFILE%\\tools"));
  EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
  ASSERT_EQ(env_set("user", "Empty", ""), 1) << error();
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Empty", &type), std::string(1, '\0'));
  EXPECT_EQ(type, DWORD{REG_SZ});
  ASSERT_EQ(winsim_messages().size(), 2u);
  EXPECT_EQ(winsim_messages()[1].text, "Environment");
}

// Values and names keep every character, those outside the ANSI code page too.
TEST_F(WinLibrary, SetKeepsEveryCharacterInTheRegistry) {
  const std::string value = "caf\u00e9 \u00fcn\u00ef \u65e5\u672c \U0001F600";
  ASSERT_EQ(env_set("user", "UNI", value.c_str()), 1) << error();
  EXPECT_EQ(query_wide("UNI"), sz(value));
  ASSERT_EQ(env_set("user", "N\u00c4ME_\u65e5\u672c", "x"), 1) << error();
  EXPECT_EQ(query_wide("N\u00c4ME_\u65e5\u672c"), sz("x"));
}

// A PATH written by another program, with characters the ANSI code page lacks, survives an
// edit: the entries are read and written back whole.
TEST_F(WinLibrary, PathAnotherToolWroteSurvivesAnAdd) {
  put_wide("Path", REG_SZ, "C:\\\u65e5\u672c\\bin;C:\\windows");
  ASSERT_EQ(env_path_add("user", "C:\\tools", 99), 1) << error();
  EXPECT_EQ(query_wide("Path"), sz("C:\\\u65e5\u672c\\bin;C:\\windows;C:\\tools"));
  EXPECT_NE(store_text().find("C:\\\\\u65e5\u672c\\\\bin"), std::string::npos) << store_text();
}

TEST_F(WinLibrary, ListingShowsNativeValuesInUtf8) {
  put_wide("Greeting", REG_EXPAND_SZ, "\u00a1hola! \u4f60\u597d \U0001F30D %USERPROFILE%");
  Doc doc = listing("user");
  yyjson_val *vars = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "vars");
  ASSERT_EQ(yyjson_arr_size(vars), 1u);
  EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(yyjson_arr_get(vars, 0), "value")),
               "\u00a1hola! \u4f60\u597d \U0001F30D %USERPROFILE%");
}

// The machine key that cannot be written is found before anything is: no store, no backup.
TEST_F(WinLibrary, SystemSetWithoutAdministratorRightsWritesNothing) {
  EXPECT_EQ(env_set("system", "FOO", "bar"), 0);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for write (5)" + admin_suffix);
  EXPECT_EQ(store_text("system").find("\"FOO\""), std::string::npos);
  EXPECT_EQ(backups(), 0u);
  EXPECT_TRUE(winsim_messages().empty());
  winsim_set_admin(true);
  EXPECT_EQ(env_set("system", "FOO", "bar"), 1) << error();
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, "FOO"), sz("bar"));
}

// The system scope's files belong to the machine, as HKLM does: every administrator
// changes the same store, and none of it lies in the APPDATA of whoever changed it.
TEST_F(WinLibrary, SystemScopeKeepsItsFilesInProgramData) {
  winsim_set_admin(true);
  ASSERT_EQ(env_set("system", "FOO", "bar"), 1) << error();
  for (const char *file : {"/system-env.json", "/system-env.sh", "/.lock", "/.backup-index"})
    EXPECT_TRUE(fs::exists(win_system_dir() + file)) << file;
  EXPECT_EQ(std::distance(fs::directory_iterator(win_system_dir() + "/backups"), fs::directory_iterator()),
            1);
  EXPECT_EQ(text_member("system", "export_file"), win_system_dir() + "/system-env.sh");
  EXPECT_FALSE(fs::exists(win_data_dir()));
  setenv("APPDATA", (root() + "/other").c_str(), 1);
  EXPECT_NE(store_text("system").find("\"FOO\""), std::string::npos);
  ASSERT_EQ(env_set("system", "BAZ", "qux"), 1) << error();
  EXPECT_NE(store_text("system").find("\"FOO\""), std::string::npos);
  unsetenv("ProgramData");
  EXPECT_EQ(env_set("system", "A", "1"), 0);
  EXPECT_EQ(error(), "ProgramData is unset; cannot locate Pellomar dir");
}

TEST_F(WinLibrary, PathEntriesMatchIgnoringCase) {
  winsim_put(HKEY_CURRENT_USER, "Path", REG_EXPAND_SZ, sz("C:\\Tools;%USERPROFILE%\\bin"));
  EXPECT_EQ(env_path_add("user", "c:\\TOOLS", 0), 0);
  EXPECT_EQ(error(), "refused: duplicate PATH entry 'c:\\TOOLS'");
  ASSERT_EQ(env_path_add("user", "C:\\Tools\\", 5), 1) << error();
  ASSERT_EQ(env_path_del("user", "%userprofile%\\BIN"), 1) << error();
  DWORD type = REG_NONE;
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Path", &type), sz("C:\\Tools;C:\\Tools\\"));
  EXPECT_EQ(type, DWORD{REG_SZ});
  ASSERT_EQ(env_path_move("user", "c:\\tools\\", 0), 1) << error();
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Path"), sz("C:\\Tools\\;C:\\Tools"));
}

TEST_F(WinLibrary, ListingFlagsEntriesThatDifferOnlyInCase) {
  winsim_put(HKEY_CURRENT_USER, "PATH", REG_SZ, sz("C:\\A;c:\\a;C:\\A\\"));
  Doc doc = listing("user");
  yyjson_val *path = yyjson_obj_get(yyjson_doc_get_root(doc.get()), "path");
  ASSERT_EQ(yyjson_arr_size(path), 3u);
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(yyjson_arr_get(path, 0), "dup")), 0);
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(yyjson_arr_get(path, 1), "dup")), 1);
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(yyjson_arr_get(path, 2), "dup")), 0);
}

TEST_F(WinLibrary, UserPathEditFailsWholeOnARefusedRegistryWrite) {
  winsim_put(HKEY_CURRENT_USER, "Path", REG_SZ, sz("C:\\a"));
  winsim_fail_open(HKEY_CURRENT_USER, KEY_SET_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(env_path_add("user", "C:\\b", 9), 0);
  EXPECT_EQ(error(), "cannot open HKCU Environment key for write (5)");
  EXPECT_EQ(store_text().find("C:\\\\b"), std::string::npos) << store_text();
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Path"), sz("C:\\a"));
  EXPECT_TRUE(winsim_messages().empty());
}

TEST_F(WinLibrary, SystemPathEditFailsOnARefusedRegistryWrite) {
  winsim_put(HKEY_LOCAL_MACHINE, "Path", REG_EXPAND_SZ, sz("%SystemRoot%\\system32"));
  EXPECT_EQ(env_path_add("system", "C:\\b", 9), 0);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for write (5)" + admin_suffix);
  EXPECT_TRUE(winsim_messages().empty());
}

// A delete the registry refuses fails, and the store keeps the name, so that it can still
// be deleted once the registry lets it.
TEST_F(WinLibrary, DeleteFailsWholeOnARefusedRegistryDelete) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  winsim_fail_open(HKEY_CURRENT_USER, KEY_SET_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(env_del("user", "FOO"), 0);
  EXPECT_EQ(error(), "cannot open HKCU Environment key for delete (5)");
  EXPECT_NE(store_text().find("FOO"), std::string::npos);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "FOO"), sz("bar"));
}

TEST_F(WinLibrary, DeleteOfAValueTheRegistryLacksSucceeds) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  winsim_reset();
  EXPECT_EQ(env_del("user", "foo"), 1) << error();
  EXPECT_EQ(error(), "");
}

TEST_F(WinLibrary, WithoutAppdataEveryChangeFailsBeforeItWrites) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  char *before = env_backups();
  ASSERT_NE(before, nullptr);
  env_free_string(before);
  std::string backup = win_data_dir() + "/backups/" +
                       fs::directory_iterator(win_data_dir() + "/backups")->path().filename().string();
  for (const char *value : {"", static_cast<const char *>(nullptr)}) {
    if (value)
      setenv("APPDATA", value, 1);
    else
      unsetenv("APPDATA");
    const std::string no_appdata = "APPDATA is unset; cannot locate Pellomar dir";
    EXPECT_EQ(env_set("user", "A", "1"), 0);
    EXPECT_EQ(error(), no_appdata);
    EXPECT_EQ(env_del("user", "FOO"), 0);
    EXPECT_EQ(error(), no_appdata);
    EXPECT_EQ(env_path_add("user", "C:\\x", 0), 0);
    EXPECT_EQ(error(), no_appdata);
    EXPECT_EQ(env_restore(backup.c_str()), 0);
    EXPECT_EQ(error(), no_appdata);
    EXPECT_EQ(env_backups(), nullptr);
    EXPECT_EQ(error(), "cannot resolve backup directory");
  }
  EXPECT_EQ(winsim_names(HKEY_CURRENT_USER), std::vector<std::string>{"FOO"});
}

TEST_F(WinLibrary, ListingWorksWithoutAppdata) {
  winsim_put(HKEY_CURRENT_USER, "N", REG_SZ, sz("n"));
  unsetenv("APPDATA");
  EXPECT_EQ(member("user", "export_file"), "null");
  EXPECT_EQ(source_of("user", "N"), "registry-hkcu");
}

TEST_F(WinLibrary, UnopenableUserKeyLeavesItsMessageOnTheListing) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  winsim_fail_open(HKEY_CURRENT_USER, KEY_READ, ERROR_ACCESS_DENIED);
  EXPECT_EQ(source_of("user", "FOO"), "overlay");
  EXPECT_EQ(error(), "RegOpenKeyEx failed (5)");
}

TEST_F(WinLibrary, BackupsNameTheWindowsPlatform) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  auto entry = *fs::directory_iterator(win_data_dir() + "/backups");
  EXPECT_NE(read(entry.path().string()).find("\"platform\": \"windows\""), std::string::npos);
}

// The scope becomes the backup: B, which it lacks, leaves the registry too; values the
// library never set stay.
TEST_F(WinLibrary, RestoreMakesTheUserKeyTheBackupAndLeavesOthers) {
  ASSERT_EQ(env_set("user", "A", "1"), 1) << error();
  ASSERT_EQ(env_set("user", "B", "%A%;2"), 1) << error();
  std::string backup = win_data_dir() + "/backups/keep.json";
  write(backup, "{\"scope\":\"user\",\"vars\":[{\"name\":\"A\",\"value\":\"one\"},"
                "{\"name\":\"C\",\"value\":\"50%\"}]}");
  winsim_put(HKEY_CURRENT_USER, "Extra", REG_SZ, sz("stays"));
  winsim_set_admin(true);
  ASSERT_EQ(env_restore(backup.c_str()), 1) << error();
  DWORD type = REG_NONE;
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "A", &type), sz("one"));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "C", &type), sz("50%"));
  EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "B"), "(absent)");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Extra"), sz("stays"));
  EXPECT_TRUE(winsim_names(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(WinLibrary, ARestoreThatFailsPartWayIsPutBack) {
  ASSERT_EQ(env_set("user", "A", "old"), 1) << error();
  std::string store_before = store_text();
  std::string backup = win_data_dir() + "/backups/keep.json";
  write(backup, "{\"vars\":[{\"name\":\"A\",\"value\":\"1\"},{\"name\":\"B\",\"value\":\"2\"}]}");
  winsim_fail_set("B", ERROR_ACCESS_DENIED);
  std::size_t messages = winsim_messages().size();
  EXPECT_EQ(env_restore(backup.c_str()), 0);
  EXPECT_EQ(error(), "RegSetValueEx failed for 'B' (5)");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "A"), sz("old"));
  EXPECT_EQ(store_text(), store_before);
  EXPECT_EQ(winsim_messages().size(), messages);
}

// A restore never removes a protected name from the registry: installers write the PATH
// there, and an older backup may lack it. It says which names it left.
TEST_F(WinLibrary, RestoreLeavesProtectedNamesInTheRegistry) {
  winsim_put(HKEY_CURRENT_USER, "Path", REG_EXPAND_SZ, sz("C:\\installed"));
  ASSERT_EQ(env_path_add("user", "C:\\mine", -1), 1) << error();
  std::string backup = win_data_dir() + "/backups/keep.json";
  write(backup, "{\"vars\":[{\"name\":\"A\",\"value\":\"1\"}]}");
  ASSERT_EQ(env_restore(backup.c_str()), 1) << error();
  EXPECT_EQ(error(), "restored; left in the registry (protected): 'PATH'");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Path"), sz("C:\\installed;C:\\mine"));
}

TEST_F(WinLibrary, ChangesHoldTheLockFileAndReleaseIt) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  EXPECT_TRUE(fs::exists(win_data_dir() + "/.lock"));
  EXPECT_EQ(winsim_open_files(), 0);
}

// A new process gets the machine's variables and then the user's, its PATH the machine's
// followed by the user's: the user listing shows the machine's entries read-only with their
// key, and the session with the key that set each variable.
TEST_F(WinLibrary, UserSessionIsTheMachinesThenTheUsers) {
  const std::string hklm = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  winsim_put(HKEY_LOCAL_MACHINE, "Path", REG_SZ, sz("C:\\Sys"));
  winsim_put(HKEY_LOCAL_MACHINE, "Both", REG_SZ, sz("machine"));
  winsim_put(HKEY_CURRENT_USER, "Path", REG_SZ, sz("C:\\Mine"));
  winsim_put(HKEY_CURRENT_USER, "BOTH", REG_EXPAND_SZ, sz("%Both%-user"));
  std::string path = member("user", "path");
  EXPECT_NE(
      path.find(
          "\"entry\":\"C:\\\\Sys\",\"exists\":0,\"dup\":0,\"source\":\"session\",\"expanded\":\"C:\\\\Sys\","
          "\"origin\":\"" +
          json_escaped(hklm) + "\",\"editable\":0}"),
      std::string::npos)
      << path;
  EXPECT_NE(path.find("\"entry\":\"C:\\\\Mine\",\"exists\":0,\"dup\":0,\"source\":\"path\""),
            std::string::npos)
      << path;
  std::string session = member("user", "session");
  EXPECT_NE(
      session.find("{\"name\":\"Path\",\"value\":\"C:\\\\Sys;C:\\\\Mine\",\"file\":\"HKCU\\\\Environment\""),
      std::string::npos)
      << session;
  EXPECT_NE(session.find("{\"name\":\"Both\",\"value\":\"machine-user\",\"file\":\"HKCU\\\\Environment\""),
            std::string::npos)
      << session;
}

// Windows keeps the process environment in UTF-16; the C library's copy has '?' for every
// character the ANSI code page lacks. A reference to an inherited variable is expanded with
// every character, in the listing's values and in the session's.
TEST_F(WinLibrary, InheritedVariablesExpandWithEveryCharacter) {
  const std::string home = "C:\\Dossier \u00fc \u65e5\u672c";
  winsim_set_variable("MYHOME", home);
  ASSERT_EQ(env_set("user", "TOOLS", "%MYHOME%\\bin"), 1) << error();
  std::string expanded = "\"expanded\":\"" + json_escaped(home + "\\bin") + "\"";
  std::string vars = member("user", "vars");
  EXPECT_NE(vars.find(expanded), std::string::npos) << vars;
  std::string session = member("user", "session");
  EXPECT_NE(session.find("\"value\":\"" + json_escaped(home + "\\bin") + "\""), std::string::npos) << session;
}

// The user's own PATH emptied, by an edit or by a restore (kenv path off and apply --prune
// commit through one), leaves no empty value behind: the store drops its record and HKCU's
// Path goes, though PATH is protected otherwise.
TEST_F(WinLibrary, AnEmptiedUserPathLeavesNeitherRecordNorValue) {
  std::string backup = win_data_dir() + "/backups/keep.json";
  const std::pair<const char *, std::function<int()>> cases[] = {
      {"remove", [] { return env_path_del("user", "C:\\mine"); }},
      {"restore", [&] { return env_restore(backup.c_str()); }},
  };
  for (const auto &[how, empty] : cases) {
    ASSERT_EQ(env_path_add("user", "C:\\mine", -1), 1) << error();
    write(backup, "{\"vars\":[{\"name\":\"PATH\",\"value\":\"\"}]}");
    ASSERT_EQ(empty(), 1) << how << ": " << error();
    EXPECT_EQ(stored(HKEY_CURRENT_USER, "PATH"), "(absent)") << how;
    EXPECT_EQ(store_text().find("PATH"), std::string::npos) << how << ": " << store_text();
  }
}

TEST_F(WinLibrary, TheMachinesLastPathEntryStays) {
  winsim_set_admin(true);
  winsim_put(HKEY_LOCAL_MACHINE, "Path", REG_EXPAND_SZ, sz("%SystemRoot%\\system32"));
  EXPECT_EQ(env_path_del("system", "%SystemRoot%\\system32"), 0);
  EXPECT_EQ(error(), "refused: the machine's PATH would be left without entries, and every program's PATH "
                     "starts with it");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, "Path"), sz("%SystemRoot%\\system32"));
}

// Programs take the variables from the registry; the export file is for POSIX shells on
// Windows, and its source command names the file with '/', which they all read.
TEST_F(WinLibrary, ExportFileHeaderSpeaksOfTheRegistry) {
  ASSERT_EQ(env_set("user", "FOO", "bar"), 1) << error();
  std::string text = read(win_data_dir() + "/exports/user-env.sh");
  std::string header = text.substr(0, text.find("\n\n"));
  EXPECT_NE(header.find("registry"), std::string::npos) << header;
  EXPECT_NE(header.find("POSIX shells on Windows"), std::string::npos) << header;
  EXPECT_EQ(header.find("Linux"), std::string::npos) << header;
  EXPECT_NE(header.find("#   . \"" + appdata() + "/Pellomar/exports/user-env.sh\"\n"), std::string::npos)
      << header;
}

// env_list: the listing document, its PATH entries and its warnings.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <regex>
#include <yyjson.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

struct DocFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};

class Listing : public Sandbox {
protected:
  std::string text(const char *scope = "user") {
    char *p = env_list(scope);
    EXPECT_NE(p, nullptr) << env_last_error();
    std::string out = p ? p : "";
    env_free_string(p);
    return out;
  }
  std::unique_ptr<yyjson_doc, DocFree> doc(const char *scope = "user") {
    std::string t = text(scope);
    return std::unique_ptr<yyjson_doc, DocFree>(
        yyjson_read(t.data(), t.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
  }
  // Compact JSON of a member of the user listing.
  // The "path" member without each entry's "origin" and "editable", which tests of their own
  // check.
  static std::string without_origins(const std::string &path) {
    return std::regex_replace(path, std::regex(",\"origin\":\"[^\"]*\",\"editable\":[01]"), "");
  }
  std::string member(const char *key, const char *scope = "user") {
    auto d = doc(scope);
    yyjson_val *v = yyjson_obj_get(yyjson_doc_get_root(d.get()), key);
    char *s = yyjson_val_write(v, YYJSON_WRITE_ALLOW_INVALID_UNICODE, nullptr);
    std::string out = s ? s : "";
    free(s);
    return out;
  }
  void store(const std::string &vars_json, const char *scope = "user") {
    write(store_path(scope), "{\"vars\":" + vars_json + "}");
  }
};

} // namespace

TEST_F(Listing, EmptyScopeHasEveryMemberInOrder) {
  std::string t = text("USER");
  EXPECT_EQ(
      t, "{\"scope\":\"user\",\"platform\":\"linux\",\"path_sep\":\":\",\"write_policy\":\"environment.d\","
         "\"rc_write\":\"never\",\"export_file\":\"" +
             data_dir() +
             "/exports/user-env.sh\",\"vars\":[],"
             "\"path\":[],\"warnings\":[],\"protected_delete\":[\"PATH\",\"SystemRoot\",\"WINDIR\",\"TEMP\","
             "\"TMP\"],"
             "\"rc_sources\":[],\"session\":[],\"store_order\":[],\"records\":null}");
  EXPECT_EQ(text("user"), t);
  EXPECT_NE(text("System").find("\"scope\":\"system\""), std::string::npos);
  EXPECT_EQ(member("export_file", "system"), "\"" + system_export() + "\"");
}

TEST_F(Listing, BadScopesGiveNull) {
  for (const char *scope : {(const char *)nullptr, "", "users", " user", "machine"}) {
    EXPECT_EQ(env_list(scope), nullptr);
    EXPECT_STREQ(env_last_error(), "scope must be 'user' or 'system'");
  }
}

// Values expand as a new session expands them: $NAME and ${NAME} on Linux, against the
// variables assigned before and otherwise the inherited environment; %NAME% is text here.
TEST_F(Listing, VariablesCarryValueExpansionAndSource) {
  write(user_envd() + "/10-a.conf", "HOME_BIN=${HOME}/bin\nBOTH=native\nPath=/usr/bin\nLATER=$LAST\n");
  store(R"([{"name":"BOTH","value":"store %HOME_BIN% $HOME_BIN"},{"name":"PATH","value":"%Path%:/x"},)"
        R"({"name":"LAST","value":"l"},{"name":"RAW","value":"\u00ff\u00fe"}])");
  fs::create_directories(data_dir());
  std::string h = home();
  EXPECT_EQ(
      member("vars"),
      "[{\"name\":\"HOME_BIN\",\"value\":\"${HOME}/bin\",\"expanded\":\"" + h +
          "/bin\",\"source\":\"envd-user\"},"
          "{\"name\":\"BOTH\",\"value\":\"store %HOME_BIN% $HOME_BIN\",\"expanded\":\"store %HOME_BIN% " +
          h +
          "/bin\",\"source\":\"overlay\"},"
          "{\"name\":\"Path\",\"value\":\"/usr/bin\",\"expanded\":\"/usr/bin\",\"source\":\"envd-user\"},"
          "{\"name\":\"LATER\",\"value\":\"$LAST\",\"expanded\":\"\",\"source\":\"envd-user\"},"
          "{\"name\":\"PATH\",\"value\":\"%Path%:/x\",\"expanded\":\"%Path%:/x\",\"source\":\"overlay\"},"
          "{\"name\":\"LAST\",\"value\":\"l\",\"expanded\":\"l\",\"source\":\"overlay\"},"
          "{\"name\":\"RAW\",\"value\":\"\xC3\xBF\xC3\xBE\",\"expanded\":\"\xC3\xBF\xC3\xBE\",\"source\":"
          "\"overlay\"}]");
}

// Bytes that are not UTF-8 reach the store unchanged, but the listing stays valid JSON.
TEST_F(Listing, InvalidUtf8IsShownAsReplacementCharactersAndWarned) {
  fs::create_directories(data_dir());
  write(data_dir() + "/user-env.json", "{\"vars\":[{\"name\":\"B\",\"value\":\"\xFF\xC3\"}]}");
  std::string t = text();
  EXPECT_NE(t.find("\"value\":\"\xEF\xBF\xBD\xEF\xBF\xBD\""), std::string::npos) << t;
  EXPECT_NE(t.find("{\"code\":\"utf8\",\"name\":\"B\""), std::string::npos) << t;
  yyjson_doc *doc = yyjson_read(t.data(), t.size(), 0);
  EXPECT_NE(doc, nullptr);
  yyjson_doc_free(doc);
}

TEST_F(Listing, PathEntriesAreFlaggedAndWarned) {
  fs::create_directories(home() + "/exists");
  write(home() + "/file", "x");
  fs::create_directories(data_dir());
  store("[{\"name\":\"PATH\",\"value\":\"" + home() + "/exists::" + home() + "/file:" + home() +
        "/exists/::\"}]");
  std::string h = home();
  auto entry = [](const std::string &text, int exists, int dup) {
    return "{\"entry\":\"" + text + "\",\"exists\":" + std::to_string(exists) +
           ",\"dup\":" + std::to_string(dup) + ",\"source\":\"path\",\"expanded\":\"" + text + "\"}";
  };
  EXPECT_EQ(without_origins(member("path")),
            "[" + entry(h + "/exists", 1, 0) + "," + entry("", 0, 0) + "," + entry(h + "/file", 0, 0) + "," +
                entry(h + "/exists/", 1, 1) + "," + entry("", 0, 1) + "," + entry("", 0, 1) + "]");
  EXPECT_EQ(member("warnings"),
            "[{\"code\":\"exists\",\"entry\":\"" + h +
                "/file\",\"message\":\"PATH entry does not exist (warn, not refused)\"},"
                "{\"code\":\"dup\",\"entry\":\"" +
                h +
                "/exists/\",\"message\":\"duplicate PATH entry\"},"
                "{\"code\":\"dup\",\"entry\":\"\",\"message\":\"duplicate PATH entry\"},"
                "{\"code\":\"dup\",\"entry\":\"\",\"message\":\"duplicate PATH entry\"},"
                "{\"code\":\"native\",\"name\":\"PATH\",\"message\":\"store and environment.d disagree; "
                "setting it again (or restoring the latest backup) repairs it\"}]");
}

TEST_F(Listing, LengthAndNameWarningsInOrder) {
  fs::create_directories(data_dir());
  auto warnings_for = [&](std::size_t path_len, std::size_t other_len) {
    store("[{\"name\":\"PATH\",\"value\":\"" + std::string(path_len, 'p') +
          "\"},"
          "{\"name\":\"A%B\",\"value\":\"" +
          std::string(other_len, 'v') + "\"}]");
    std::string w = member("warnings");
    std::string codes;
    for (std::size_t pos = 0; (pos = w.find("\"message\":\"", pos)) != std::string::npos; pos += 11)
      codes += w.substr(pos + 11, 14) + "|";
    return codes;
  };
  // The store was written by hand, so environment.d misses its values: the last warnings.
  const std::string missed = "store and envi|";
  EXPECT_EQ(warnings_for(2047, 4095), "PATH entry doe|% in name: Win|" + missed + missed);
  EXPECT_EQ(warnings_for(2048, 4096),
            "PATH entry doe|PATH length ex|value length e|% in name: Win|" + missed + missed);
  EXPECT_EQ(warnings_for(4096, 0), "PATH entry doe|PATH length ex|PATH length ex|% in name: Win|" + missed);
  std::string w = member("warnings");
  EXPECT_NE(w.find("{\"code\":\"length\",\"name\":\"PATH\",\"length\":4096,\"message\":\"PATH length exceeds "
                   "Windows 2047-char "
                   "CreateProcess "
                   "caution\"},{\"code\":\"length\",\"name\":\"PATH\",\"length\":4096,\"message\":\"PATH "
                   "length exceeds Windows 4095-char registry caution\"}"),
            std::string::npos);
  EXPECT_NE(
      w.find("{\"code\":\"name\",\"name\":\"A%B\",\"message\":\"% in name: Windows expands %VAR% in values "
             "(REG_EXPAND_SZ), not names\"}"),
      std::string::npos);
}

TEST_F(Listing, ShellStartupFilesAddEntriesForTheUserScopeOnly) {
  fs::create_directories(data_dir());
  fs::create_directories(home() + "/bin");
  store("[{\"name\":\"PATH\",\"value\":\"/usr/bin\"}]");
  store("[{\"name\":\"PATH\",\"value\":\"/usr/bin\"}]", "system");
  write(home() + "/.bashrc", "export PATH=\"$HOME/bin:$PATH:/usr/bin/\"\n");
  EXPECT_EQ(without_origins(member("path")),
            "[{\"entry\":\"/usr/bin\",\"exists\":1,\"dup\":0,\"source\":\"path\",\"expanded\":"
            "\"/usr/bin\"},{\"entry\":\"" +
                home() + "/bin\",\"exists\":1,\"dup\":0,\"source\":\"rc:~/.bashrc\",\"expanded\":\"" +
                home() + "/bin\"}]");
  EXPECT_EQ(member("rc_sources"), "[{\"file\":\"" + home() + "/.bashrc\",\"parsed\":1,\"written\":0}]");
  EXPECT_EQ(
      without_origins(member("path", "system")),
      "[{\"entry\":\"/usr/bin\",\"exists\":1,\"dup\":0,\"source\":\"path\",\"expanded\":\"/usr/bin\"}]");
}

TEST_F(Listing, WithoutHomeTheExportFileIsNull) {
  unsetenv("HOME");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  std::string t = text();
  EXPECT_NE(t.find("\"export_file\":null"), std::string::npos);
  EXPECT_STREQ(env_last_error(), "HOME is unset; cannot locate environment.d");
}

// A PATH entry is checked as a session gets it: $HOME/bin exists where HOME points, and
// ~/d$x is ~/d in a session however the directory is named.
TEST_F(Listing, PathEntriesAreCheckedAsExpanded) {
  fs::create_directories(home() + "/bin");
  fs::create_directories(home() + "/d$x");
  ASSERT_EQ(env_path_add("user", "$HOME/bin", -1), 1) << env_last_error();
  ASSERT_EQ(env_path_add("user", (home() + "/d$x").c_str(), -1), 1) << env_last_error();
  EXPECT_EQ(without_origins(member("path")),
            "[{\"entry\":\"$HOME/bin\",\"exists\":1,\"dup\":0,\"source\":\"path\",\"expanded\":\"" + home() +
                "/bin\"},{\"entry\":\"" + home() +
                "/d$x\",\"exists\":0,\"dup\":0,\"source\":\"path\",\"expanded\":\"" + home() + "/d\"}]");
}

// PATH lines of other environment.d files are listed where the session has them, read-only
// and with their file; the scope's own entries stand where its own file puts them. The
// session member gives every variable with the file that set it last, and marks what a shell
// that sources the export file would not get.
TEST_F(Listing, OtherFilesPathLinesAreReadOnlyEntriesWithTheirFile) {
  const std::string early = user_envd() + "/10-early.conf", late = system_envd() + "/zz-late.conf";
  write(early, "PATH=/pre:$PATH\nA=${PATH}\nB=from-early\n");
  write(late, "PATH=${PATH}:/post\nB=from-late\n");
  write(user_envd() + "/50-mid.conf", "PATH=$PATH:/mid\n");
  ASSERT_EQ(env_path_add("user", "/own", -1), 1) << env_last_error();
  ASSERT_EQ(env_set("user", "B", "mine"), 1) << env_last_error();
  const std::string own = user_envd() + "/99-pellomar-user.conf";
  auto entry = [](const std::string &text, const std::string &file, int editable) {
    return "\"entry\":\"" + text + "\",\"exists\":0,\"dup\":0,\"source\":\"" +
           (editable ? "path" : "session") + "\",\"expanded\":\"" + text + "\",\"origin\":\"" + file +
           "\",\"editable\":" + std::to_string(editable);
  };
  EXPECT_EQ(member("path"), "[{" + entry("/pre", early, 0) + "},{" +
                                entry("/mid", user_envd() + "/50-mid.conf", 0) + "},{" +
                                entry("/own", own, 1) + "},{" + entry("/post", late, 0) + "}]");
  std::string inherited = getenv("PATH") ? getenv("PATH") : "";
  std::string session = member("session");
  EXPECT_NE(session.find("{\"name\":\"PATH\",\"value\":\"/pre:" + inherited +
                         ":/mid:/own:/post\",\"file\":\"" + late + "\",\"shell\":\"" + inherited +
                         ":/own\",\"differs\":1}"),
            std::string::npos)
      << session;
  EXPECT_NE(session.find("{\"name\":\"B\",\"value\":\"from-late\",\"file\":\"" + late +
                         "\",\"shell\":\"mine\",\"differs\":1}"),
            std::string::npos)
      << session;
  EXPECT_NE(session.find("{\"name\":\"A\",\"value\":\"/pre:" + inherited + "\",\"file\":\"" + early + "\""),
            std::string::npos)
      << session;
}

// A user value that refers to a variable of the system's environment.d shows what a session
// gets, not what the user scope alone would give.
TEST_F(Listing, ValuesShowWhatTheSessionGets) {
  write(system_envd() + "/10-sys.conf", "KP_SYS=sysval\n");
  ASSERT_EQ(env_set("user", "KP_X", "$KP_SYS/x"), 1) << env_last_error();
  EXPECT_NE(member("vars").find("{\"name\":\"KP_X\",\"value\":\"$KP_SYS/x\",\"expanded\":\"sysval/x\""),
            std::string::npos)
      << member("vars");
}

// The Windows backend's functions over the simulator: identity, the keys and rights it opens,
// every message of its failure table, the data directory and the lock. What a real registry
// must confirm is in win_registry_checks.cpp, which also runs under wine.
#include "winsim/win_sandbox.h"

#include "core/files.h"
#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"
#include "support/core_calls.h"
#include "win/utf16.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::string machine_subkey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const std::string admin_suffix = " \xE2\x80\x94 admin required for system scope";

class WinBackend : public WinSandbox {
protected:
  static std::string error() { return env_last_error(); }
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
};

} // namespace

TEST_F(WinBackend, IdentityIsWindows) {
  EXPECT_STREQ(env_plat_name(), "windows");
  EXPECT_EQ(env_plat_path_sep(), ';');
  EXPECT_STREQ(env_plat_write_policy(), "registry");
}

TEST_F(WinBackend, PathEntriesCompareIgnoringCaseOnly) {
  EXPECT_EQ(env_plat_path_eq("C:\\Tools", "c:\\TOOLS"), 1);
  EXPECT_EQ(env_plat_path_eq("C:\\Tools", "C:\\Tools\\"), 0);
  EXPECT_EQ(env_plat_path_eq("C:\\Tools", "C:/Tools"), 0);
  EXPECT_EQ(env_plat_path_eq("%SystemRoot%", "%SYSTEMROOT%"), 1);
  EXPECT_EQ(env_plat_path_eq("", ""), 1);
  EXPECT_EQ(env_plat_path_eq(nullptr, "a"), 0);
  EXPECT_EQ(env_plat_path_eq("a", nullptr), 0);
  EXPECT_EQ(env_plat_path_eq(nullptr, nullptr), 0);
}

TEST_F(WinBackend, ShellStartupReportsAreEmpty) {
  std::vector<env_rc_extra> extras{{"C:\\x", "rc", {}}};
  std::vector<env_rc_file> files{{"C:\\profile", 1}};
  EXPECT_EQ(env_plat_rc_path_extras(extras), 0);
  EXPECT_EQ(env_plat_rc_meta(files), 0);
  EXPECT_TRUE(extras.empty());
  EXPECT_TRUE(files.empty());
}

TEST_F(WinBackend, EachOperationOpensItsKeyOnceWithItsRights) {
  env_kv_list vars;
  ASSERT_EQ(env_plat_native_vars(env_scope::user, vars), 0);
  ASSERT_EQ(env_plat_native_vars(env_scope::system, vars), 0);
  ASSERT_EQ(native_set(env_scope::user, "A", "1"), 0);
  ASSERT_EQ(native_del(env_scope::user, "A"), 0);
  winsim_set_admin(true);
  ASSERT_EQ(native_set(env_scope::system, "B", "2"), 0);
  ASSERT_EQ(native_del(env_scope::system, "B"), 0);
  // A write reads what it replaces, so that it can be put back; the system scope's check
  // opens the key once more, before anything is written.
  const auto &opens = winsim_opens();
  ASSERT_EQ(opens.size(), 7u);
  const REGSAM write = KEY_SET_VALUE | KEY_QUERY_VALUE;
  const HKEY roots[] = {HKEY_CURRENT_USER,  HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CURRENT_USER,
                        HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
  const REGSAM rights[] = {KEY_READ, KEY_READ, write, write, KEY_SET_VALUE, write, write};
  for (std::size_t i = 0; i < opens.size(); ++i) {
    EXPECT_EQ(opens[i].root, roots[i]) << i;
    EXPECT_EQ(opens[i].subkey, roots[i] == HKEY_CURRENT_USER ? "Environment" : machine_subkey) << i;
    EXPECT_EQ(opens[i].options, 0u) << i;
    EXPECT_EQ(opens[i].rights, rights[i]) << i;
  }
}

TEST_F(WinBackend, ListingKeepsRegistryOrderAndTagsTheScope) {
  winsim_put(HKEY_CURRENT_USER, "Zeta", REG_SZ, sz("z"));
  winsim_put(HKEY_CURRENT_USER, "Path", REG_EXPAND_SZ, sz("%USERPROFILE%\\bin;C:\\x"));
  winsim_put(HKEY_CURRENT_USER, "alpha", REG_SZ, sz(""));
  winsim_put(HKEY_LOCAL_MACHINE, "ComSpec", REG_EXPAND_SZ, sz("%SystemRoot%\\system32\\cmd.exe"));
  env_kv_list user{{"stale", "x", "overlay"}}, machine;
  ASSERT_EQ(env_plat_native_vars(env_scope::user, user), 0);
  ASSERT_EQ(env_plat_native_vars(env_scope::system, machine), 0);
  ASSERT_EQ(user.size(), 3u);
  EXPECT_EQ(user[0].name, "Zeta");
  EXPECT_EQ(user[1].name, "Path");
  EXPECT_EQ(user[1].value, "%USERPROFILE%\\bin;C:\\x");
  EXPECT_EQ(user[2].name, "alpha");
  EXPECT_EQ(user[2].value, "");
  for (const env_kv &kv : user)
    EXPECT_EQ(kv.source, "registry-hkcu");
  ASSERT_EQ(machine.size(), 1u);
  EXPECT_EQ(machine[0].source, "registry-hklm");
  EXPECT_EQ(machine[0].value, "%SystemRoot%\\system32\\cmd.exe");
}

TEST_F(WinBackend, ValuesPastTheFixedBuffersAreReadWhole) {
  std::string name511(511, 'n'), name512(512, 'm'), data(32768, 'd');
  winsim_put(HKEY_CURRENT_USER, name511, REG_SZ, sz("fits"));
  winsim_put(HKEY_CURRENT_USER, name512, REG_SZ, sz("reread"));
  winsim_put(HKEY_CURRENT_USER, "Big", REG_SZ, sz(data));
  winsim_put(HKEY_CURRENT_USER, "Exact", REG_SZ, data);
  winsim_put(HKEY_CURRENT_USER, "Path", REG_SZ, sz("C:\\after"));
  env_kv_list vars;
  ASSERT_EQ(env_plat_native_vars(env_scope::user, vars), 0);
  ASSERT_EQ(vars.size(), 5u);
  EXPECT_EQ(vars[0].value, "fits");
  EXPECT_EQ(vars[1].name, name512);
  EXPECT_EQ(vars[1].value, "reread");
  EXPECT_EQ(vars[2].value, data);
  EXPECT_EQ(vars[3].value, data) << "32768 bytes without a NUL lose nothing";
  EXPECT_EQ(vars[4].value, "C:\\after");
}

TEST_F(WinBackend, ValuesAreReadWholeWithoutTheKeysMaxima) {
  std::string data(200000, 'd');
  winsim_put(HKEY_CURRENT_USER, "Huge", REG_EXPAND_SZ, sz(data));
  winsim_put(HKEY_CURRENT_USER, "Path", REG_SZ, sz("C:\\after"));
  winsim_fail_query_info(ERROR_ACCESS_DENIED);
  env_kv_list vars;
  ASSERT_EQ(env_plat_native_vars(env_scope::user, vars), 0);
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].value, data);
  EXPECT_EQ(vars[1].value, "C:\\after");
}

TEST_F(WinBackend, StringDataEndsAtItsFirstNul) {
  winsim_put(HKEY_CURRENT_USER, "Twice", REG_SZ, std::string("one\0two\0", 8));
  winsim_put(HKEY_CURRENT_USER, "Empty", REG_SZ, "");
  env_kv_list vars;
  ASSERT_EQ(env_plat_native_vars(env_scope::user, vars), 0);
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].value, "one");
  EXPECT_EQ(vars[1].value, "");
}

TEST_F(WinBackend, UnreadableMachineKeyListsNothingSilently) {
  winsim_put(HKEY_LOCAL_MACHINE, "A", REG_SZ, sz("a"));
  winsim_fail_open(HKEY_LOCAL_MACHINE, KEY_READ, ERROR_ACCESS_DENIED);
  env_kv_list vars{{"stale", "x", "overlay"}};
  EXPECT_EQ(env_plat_native_vars(env_scope::system, vars), 0);
  EXPECT_TRUE(vars.empty());
  EXPECT_EQ(error(), "");
}

TEST_F(WinBackend, UnopenableUserKeyFailsTheListing) {
  winsim_put(HKEY_CURRENT_USER, "A", REG_SZ, sz("a"));
  winsim_fail_open(HKEY_CURRENT_USER, KEY_READ, ERROR_ACCESS_DENIED);
  env_kv_list vars{{"stale", "x", "overlay"}};
  EXPECT_EQ(env_plat_native_vars(env_scope::user, vars), -1);
  EXPECT_TRUE(vars.empty());
  EXPECT_EQ(error(), "RegOpenKeyEx failed (5)");
}

TEST_F(WinBackend, WritingChoosesTheTypeByPercentSigns) {
  winsim_put(HKEY_CURRENT_USER, "Was", REG_EXPAND_SZ, sz("%X%"));
  DWORD type = REG_NONE;
  ASSERT_EQ(native_set(env_scope::user, "Was", "plain"), 0);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Was", &type), sz("plain"));
  EXPECT_EQ(type, DWORD{REG_SZ});
  ASSERT_EQ(native_set(env_scope::user, "Pct", "100%"), 0);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Pct", &type), sz("100%"));
  EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
  ASSERT_EQ(native_set(env_scope::user, "Null", nullptr), 0);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "Null", &type), std::string(1, '\0'));
  EXPECT_EQ(type, DWORD{REG_SZ});
}

// The registry holds UTF-16, which bytes that are not UTF-8 have no form in: they are
// refused, not written as replacement characters.
TEST_F(WinBackend, TextThatIsNotUtf8IsRefused) {
  const struct {
    const char *name;
    const char *value;
  } cases[] = {
      {"BAD", "caf\xE9"},      // Latin-1, not UTF-8
      {"BAD", "\xED\xA0\x80"}, // a surrogate
      {"BAD", "\xC0\xAF"},     // an overlong '/'
      {"BAD", "cut \xE6\x97"}, // a sequence cut short
      {"BAD\xFF", "fine"},     // the name
  };
  for (const auto &c : cases) {
    env_clear_error();
    EXPECT_EQ(native_set(env_scope::user, c.name, c.value), -1) << c.value;
    EXPECT_EQ(error(), "cannot write '" + std::string(c.name) + "' to the registry: not valid UTF-8");
  }
  EXPECT_TRUE(winsim_names(HKEY_CURRENT_USER).empty());
  EXPECT_EQ(native_del(env_scope::user, "BAD\xFF"), -1);
  EXPECT_EQ(error(), "cannot delete 'BAD\xFF' from the registry: not valid UTF-8");
}

// The conversions against the compiler's own UTF-16 (WCHAR is char16_t in the simulation).
TEST_F(WinBackend, ConversionsKeepEveryCharacter) {
  const std::string utf8 = "a\u00e9\u65e5\U0001F600\uFFFD";
  const std::u16string utf16 = u"a\u00e9\u65e5\U0001F600\uFFFD";
  EXPECT_TRUE(win_to_wide(utf8) == utf16);
  EXPECT_EQ(win_to_utf8(utf16), utf8);
  EXPECT_TRUE(win_utf8_valid(utf8));
  EXPECT_EQ(win_to_utf8(u"x\xD800y\xDC00"), "x\uFFFDy\uFFFD") << "lone surrogates";
  EXPECT_TRUE(win_to_wide(std::string("a\xFF") + "b") == u"a\uFFFDb");
  for (const char *bad : {"\xF4\x90\x80\x80", "\xE0\x80\x80", "\xC1\xBF", "\x80", "\xF0\x9F\x98"})
    EXPECT_FALSE(win_utf8_valid(bad)) << bad;
}

// The up-front check refuses what the write would refuse, with the write's words, and opens
// only the machine's key.
TEST_F(WinBackend, NativeCheckRefusesWhatTheWriteWould) {
  EXPECT_EQ(env_plat_native_check(env_scope::user, "A", "caf\xE9"), -1);
  EXPECT_EQ(error(), "cannot write 'A' to the registry: not valid UTF-8");
  EXPECT_EQ(env_plat_native_check(env_scope::user, "A", "caf\u00e9"), 0);
  EXPECT_EQ(env_plat_native_check(env_scope::user, "A", nullptr), 0);
  EXPECT_TRUE(winsim_opens().empty());
  EXPECT_EQ(env_plat_native_check(env_scope::system, "A", "x"), -1);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for write (5)" + admin_suffix);
  winsim_set_admin(true);
  EXPECT_EQ(env_plat_native_check(env_scope::system, "A", "x"), 0);
  EXPECT_TRUE(winsim_names(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(WinBackend, SystemWritesNeedAdministratorRights) {
  EXPECT_EQ(native_set(env_scope::system, "A", "1"), -1);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for write (5)" + admin_suffix);
  EXPECT_EQ(native_del(env_scope::system, "A"), -1);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for delete (5)" + admin_suffix);
  winsim_set_admin(true);
  EXPECT_EQ(native_set(env_scope::system, "A", "1"), 0);
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, "A"), sz("1"));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "A"), "(absent)");
}

TEST_F(WinBackend, MachineKeyFailuresCarryTheAdminSuffixWhateverTheStatus) {
  winsim_set_admin(true);
  winsim_fail_open(HKEY_LOCAL_MACHINE, KEY_SET_VALUE, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(native_set(env_scope::system, "A", "1"), -1);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for write (2)" + admin_suffix);
  EXPECT_EQ(native_del(env_scope::system, "A"), -1);
  EXPECT_EQ(error(), "cannot open HKLM Environment key for delete (2)" + admin_suffix);
}

TEST_F(WinBackend, UserKeyFailuresHaveNoSuffix) {
  winsim_fail_open(HKEY_CURRENT_USER, KEY_SET_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(native_set(env_scope::user, "A", "1"), -1);
  EXPECT_EQ(error(), "cannot open HKCU Environment key for write (5)");
  EXPECT_EQ(native_del(env_scope::user, "A"), -1);
  EXPECT_EQ(error(), "cannot open HKCU Environment key for delete (5)");
}

TEST_F(WinBackend, RefusedValueWritesAndDeletesAreReported) {
  winsim_put(HKEY_CURRENT_USER, "FOO", REG_SZ, sz("x"));
  winsim_fail_set("", ERROR_ACCESS_DENIED);
  EXPECT_EQ(native_set(env_scope::user, "FOO", "y"), -1);
  EXPECT_EQ(error(), "RegSetValueEx failed for 'FOO' (5)");
  winsim_fail_delete(ERROR_ACCESS_DENIED);
  EXPECT_EQ(native_del(env_scope::user, "FOO"), -1);
  EXPECT_EQ(error(), "RegDeleteValue failed for 'FOO' (5)");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "FOO"), sz("x"));
}

TEST_F(WinBackend, DeletingAMissingValueLeavesNoMessage) {
  env_clear_error();
  EXPECT_EQ(native_del(env_scope::user, "NeverSet"), 0);
  EXPECT_EQ(error(), "");
}

// A write that fails part-way puts back what it changed, types included; a whole write is
// undone the same way when a later step of the change fails.
TEST_F(WinBackend, AFailedWritePutsBackWhatItChanged) {
  winsim_put(HKEY_CURRENT_USER, "A", REG_EXPAND_SZ, sz("%old%"));
  std::vector<env_native_change> changes{
      {"A", std::string("1")}, {"B", std::string("%2%")}, {"C", std::string("3")}};
  env_native_undo undo;
  winsim_fail_set("c", ERROR_ACCESS_DENIED);
  EXPECT_EQ(env_plat_native_write(env_scope::user, changes, {}, undo), -1);
  EXPECT_EQ(error(), "RegSetValueEx failed for 'C' (5)");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "A"), sz("%old%"));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "B"), "(absent)");
  winsim_fail_set("", 0);
  ASSERT_EQ(env_plat_native_write(env_scope::user, changes, {}, undo), 0);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "C"), sz("3"));
  ASSERT_EQ(undo(), 0);
  std::vector<std::string> expected{"A"};
  EXPECT_EQ(winsim_names(HKEY_CURRENT_USER), expected);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, "A"), sz("%old%"));
}

TEST_F(WinBackend, BroadcastAnnouncesTheEnvironmentToEveryWindow) {
  env_plat_broadcast();
  ASSERT_EQ(winsim_messages().size(), 1u);
  const winsim_message &m = winsim_messages()[0];
  EXPECT_EQ(m.window, HWND_BROADCAST);
  EXPECT_EQ(m.message, UINT{WM_SETTINGCHANGE});
  EXPECT_EQ(m.wparam, WPARAM{0});
  EXPECT_EQ(m.text, "Environment");
  EXPECT_EQ(m.flags, UINT{SMTO_ABORTIFHUNG});
  EXPECT_EQ(m.timeout, 5000u);
  EXPECT_TRUE(m.result_requested);
  EXPECT_TRUE(m.wide) << "the ANSI broadcast reaches only ANSI windows' idea of the text";
}

// Resolving the data directory creates nothing.
TEST_F(WinBackend, DataDirIsPellomarUnderAppdata) {
  std::string dir;
  ASSERT_EQ(env_plat_data_dir(env_scope::user, dir), 0);
  EXPECT_EQ(dir, win_data_dir());
  EXPECT_FALSE(fs::exists(dir));
}

TEST_F(WinBackend, SystemDirIsPellomarUnderProgramData) {
  std::string dir;
  ASSERT_EQ(env_plat_data_dir(env_scope::system, dir), 0);
  EXPECT_EQ(dir, win_system_dir());
  EXPECT_FALSE(fs::exists(dir));
  unsetenv("ProgramData");
  EXPECT_EQ(env_plat_data_dir(env_scope::system, dir), -1);
  EXPECT_EQ(error(), "ProgramData is unset; cannot locate Pellomar dir");
}

TEST_F(WinBackend, DataDirNeedsAppdata) {
  std::string dir;
  unsetenv("APPDATA");
  EXPECT_EQ(env_plat_data_dir(env_scope::user, dir), -1);
  EXPECT_EQ(error(), "APPDATA is unset; cannot locate Pellomar dir");
  setenv("APPDATA", "", 1);
  env_clear_error();
  EXPECT_EQ(env_plat_data_dir(env_scope::user, dir), -1);
  EXPECT_EQ(error(), "APPDATA is unset; cannot locate Pellomar dir");
}

TEST_F(WinBackend, DataDirPathMustFitItsBuffer) {
  // "\Pellomar" adds 9 bytes: 8182 of APPDATA make 8191, the most the buffer holds.
  std::string dir;
  setenv("APPDATA", std::string(8183, 'a').c_str(), 1);
  EXPECT_EQ(env_plat_data_dir(env_scope::user, dir), -1);
  EXPECT_EQ(error(), "data dir path too long");
  setenv("APPDATA", std::string(8182, 'a').c_str(), 1);
  EXPECT_EQ(env_plat_data_dir(env_scope::user, dir), 0);
}

TEST_F(WinBackend, LockHoldsTheLockFileOfTheDataDir) {
  env_plat_lock_handle lock;
  ASSERT_EQ(env_plat_lock_file(win_data_dir() + "\\.lock", lock), 0) << error();
  EXPECT_TRUE(fs::exists(win_data_dir() + "\\.lock"));
  EXPECT_EQ(winsim_open_files(), 1);
  lock.reset();
  EXPECT_EQ(winsim_open_files(), 0);
}

TEST_F(WinBackend, ALockThatCannotBeTakenIsNamed) {
  fs::create_directories(win_data_dir() + "\\.lock");
  env_plat_lock_handle lock;
  EXPECT_EQ(env_plat_lock_file(win_data_dir() + "\\.lock", lock), -1);
  EXPECT_EQ(error().rfind("cannot lock " + win_data_dir() + "\\.lock (", 0), 0u) << error();
}

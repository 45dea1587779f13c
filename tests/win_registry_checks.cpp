// The registry checks shared by the simulation build and the check under wine.
#include "win_registry_checks.h"

#if defined(_WIN32) && !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#if defined(_WIN32) && !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include "core/files.h"
#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"
#include "support/core_calls.h"
#include "win/utf16.h"
#include "win_unicode_samples.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <type_traits>

namespace {

// Collects the expectations that failed, with their line, instead of stopping at the first.
struct outcome {
  std::string failures;
  void expect(bool ok, const char *what, int line, const std::string &detail = "") {
    if (ok)
      return;
    failures += "line " + std::to_string(line) + ": " + what;
    failures += detail.empty() ? "\n" : " (" + detail + ")\n";
  }
};
#define CHECK(cond) out.expect((cond), #cond, __LINE__)
#define CHECK_EQ(a, b) expect_eq(out, (a), (b), #a " == " #b, __LINE__)

template <class T> std::string show(const T &v) {
  if constexpr (std::is_arithmetic_v<T>) {
    return std::to_string(v);
  } else {
    std::string s(v);
    return s.size() > 80 ? s.substr(0, 80) + "..." : s;
  }
}

template <class A, class B> void expect_eq(outcome &out, const A &a, const B &b, const char *what, int line) {
  out.expect(a == b, what, line, "got " + show(a));
}

constexpr char prefix[] = "KENV_CHECK_";

// The user's Environment key, opened for the check's own reads and writes.
class user_key {
public:
  user_key() {
    RegOpenKeyExW(HKEY_CURRENT_USER, win_to_wide("Environment").c_str(), 0, KEY_READ | KEY_SET_VALUE, &key_);
  }
  ~user_key() {
    if (key_)
      RegCloseKey(key_);
  }
  user_key(const user_key &) = delete;
  user_key &operator=(const user_key &) = delete;
  HKEY get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

// The checks' own reads and writes go through the wide calls, as another program's would:
// names are given in UTF-8, and the data of the string types too, stored as UTF-16. `size`
// counts the data's characters (NUL included when it is to be stored).
bool string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

LONG put(const char *name, DWORD type, const std::string &bytes, DWORD size) {
  user_key key;
  win_wstring wide = string_type(type) ? win_to_wide(bytes) : win_wstring();
  const BYTE *data = string_type(type) ? reinterpret_cast<const BYTE *>(wide.data())
                                       : reinterpret_cast<const BYTE *>(bytes.data());
  DWORD count = string_type(type) ? static_cast<DWORD>(wide.size()) : static_cast<DWORD>(bytes.size());
  DWORD unit = string_type(type) ? sizeof(WCHAR) : 1;
  return RegSetValueExW(key.get(), win_to_wide(name).c_str(), 0, type, data, std::min(size, count) * unit);
}
LONG put(const char *name, DWORD type, const std::string &bytes) {
  return put(name, type, bytes, static_cast<DWORD>(-1));
}

// The stored data, string types in UTF-8 with the NULs they were stored with.
bool query(const char *name, DWORD &type, std::string &bytes) {
  user_key key;
  win_wstring wname = win_to_wide(name);
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  std::vector<BYTE> data(size + sizeof(WCHAR));
  if (RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return false;
  if (!string_type(type)) {
    bytes.assign(reinterpret_cast<const char *>(data.data()), size);
    return true;
  }
  win_wstring wide(size / sizeof(WCHAR), WCHAR{0});
  std::memcpy(wide.data(), data.data(), wide.size() * sizeof(WCHAR));
  bytes = win_to_utf8(wide);
  return true;
}

bool is_check_value(const char *name) {
  std::size_t n = sizeof prefix - 1;
  return std::strlen(name) >= n && env_name_eq(std::string_view(name, n), prefix);
}

// The names of the key's values in enumeration order, read with generous buffers.
std::vector<std::string> value_names() {
  user_key key;
  std::vector<std::string> names;
  std::vector<WCHAR> name(32768);
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key.get(), i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.push_back(win_to_utf8(win_wstring_view(name.data(), len)));
  }
}

void remove_check_values() {
  user_key key;
  for (const std::string &name : value_names())
    if (is_check_value(name.c_str()))
      RegDeleteValueW(key.get(), win_to_wide(name).c_str());
}

void set_env(const char *name, const char *value) {
#if defined(_WIN32)
  SetEnvironmentVariableW(win_to_wide(name).c_str(), value ? win_to_wide(value).c_str() : nullptr);
#else
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
#endif
}

env_kv_list user_vars(outcome &out) {
  env_kv_list vars;
  env_clear_error();
  CHECK(env_plat_native_vars(env_scope::user, vars) == 0);
  CHECK(env_error_is_empty());
  return vars;
}

std::string value_of(const env_kv_list &vars, const char *name) {
  const env_kv *kv = env_kv_find(vars, name);
  return kv ? kv->value : "(absent)";
}

std::string written_types() {
  outcome out;
  DWORD type = 0;
  std::string bytes;
  CHECK(native_set(env_scope::user, "KENV_CHECK_PLAIN", "plain") == 0);
  CHECK(query("KENV_CHECK_PLAIN", type, bytes) && type == REG_SZ);
  CHECK_EQ(bytes, std::string("plain", 6));
  for (const char *v : {"50%", "%USERPROFILE%\\bin", "a%b"}) {
    CHECK(native_set(env_scope::user, "KENV_CHECK_EXPAND", v) == 0);
    CHECK(query("KENV_CHECK_EXPAND", type, bytes) && type == REG_EXPAND_SZ);
    CHECK_EQ(bytes, std::string(v) + '\0');
  }
  CHECK(native_set(env_scope::user, "KENV_CHECK_EXPAND", "no percent") == 0);
  CHECK(query("KENV_CHECK_EXPAND", type, bytes) && type == REG_SZ);
  CHECK(native_set(env_scope::user, "KENV_CHECK_EMPTY", "") == 0);
  CHECK(query("KENV_CHECK_EMPTY", type, bytes) && type == REG_SZ);
  CHECK_EQ(bytes, std::string(1, '\0'));
  return out.failures;
}

std::string listing_keeps_string_values_only() {
  outcome out;
  CHECK(put("KENV_CHECK_A_SZ", REG_SZ, std::string("text", 5)) == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_B_DWORD", REG_DWORD, std::string("\x2a\0\0\0", 4)) == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_C_MULTI", REG_MULTI_SZ, std::string("one\0two\0\0", 9)) == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_D_BINARY", REG_BINARY, std::string("\x01\x02", 2)) == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_E_EXPAND", REG_EXPAND_SZ, std::string("%SystemRoot%\\x", 15)) == ERROR_SUCCESS);
  env_kv_list vars = user_vars(out);
  CHECK_EQ(value_of(vars, "KENV_CHECK_A_SZ"), "text");
  CHECK_EQ(value_of(vars, "KENV_CHECK_E_EXPAND"), "%SystemRoot%\\x");
  for (const char *skipped : {"KENV_CHECK_B_DWORD", "KENV_CHECK_C_MULTI", "KENV_CHECK_D_BINARY"})
    CHECK_EQ(value_of(vars, skipped), "(absent)");
  for (const env_kv &kv : vars)
    CHECK_EQ(kv.source, "registry-hkcu");
  return out.failures;
}

std::string unterminated_string_is_listed_whole() {
  outcome out;
  // The byte after the counted data is not a NUL, so the registry cannot mistake the data
  // for a string whose NUL was left out of the count (Windows adds that NUL itself).
  CHECK(put("KENV_CHECK_NO_NUL", REG_SZ, "no terminatorX", 13) == ERROR_SUCCESS);
  std::string full(32768, 'f');
  CHECK(put("KENV_CHECK_NO_NUL_FULL", REG_SZ, full + "X", 32768) == ERROR_SUCCESS);
  env_kv_list vars = user_vars(out);
  CHECK_EQ(value_of(vars, "KENV_CHECK_NO_NUL"), "no terminator");
  CHECK_EQ(value_of(vars, "KENV_CHECK_NO_NUL_FULL").size(), std::size_t{32768});
  return out.failures;
}

std::string large_values_do_not_end_the_listing() {
  outcome out;
  std::string big(40000, 'b');
  std::string exact(32767, 'e');
  std::string long_name = "KENV_CHECK_N" + std::string(600, 'n');
  CHECK(put("KENV_CHECK_1_BIG", REG_SZ, big + '\0') == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_2_EXACT", REG_SZ, exact + '\0') == ERROR_SUCCESS);
  CHECK(put(long_name.c_str(), REG_EXPAND_SZ, std::string("long name", 10)) == ERROR_SUCCESS);
  CHECK(put("KENV_CHECK_Z_AFTER", REG_SZ, std::string("after", 6)) == ERROR_SUCCESS);
  env_kv_list vars = user_vars(out);
  CHECK(value_of(vars, "KENV_CHECK_1_BIG") == big);
  CHECK(value_of(vars, "KENV_CHECK_2_EXACT") == exact);
  CHECK_EQ(value_of(vars, long_name.c_str()), "long name");
  CHECK_EQ(value_of(vars, "KENV_CHECK_Z_AFTER"), "after");
  return out.failures;
}

// What the enumeration relies on: ERROR_MORE_DATA with the size needed when the data or the
// name does not fit, ERROR_NO_MORE_ITEMS past the last value, and maxima that cover both.
std::string enumeration_reports_what_does_not_fit() {
  outcome out;
  CHECK(put("KENV_CHECK_MORE", REG_SZ, std::string(100, 'm') + '\0') == ERROR_SUCCESS);
  std::vector<std::string> names = value_names();
  DWORD index = 0;
  while (index < names.size() && names[index] != "KENV_CHECK_MORE")
    ++index;
  CHECK(index < names.size());
  user_key key;
  WCHAR name[64];
  BYTE data[16];
  DWORD name_len = 64, data_len = sizeof data, type = 0;
  LONG rc = RegEnumValueW(key.get(), index, name, &name_len, nullptr, &type, data, &data_len);
  CHECK_EQ(rc, ERROR_MORE_DATA);
  CHECK(data_len >= 101 * sizeof(WCHAR)); // bytes, of UTF-16
  WCHAR short_name[4];
  name_len = 4;
  data_len = sizeof data;
  rc = RegEnumValueW(key.get(), index, short_name, &name_len, nullptr, &type, nullptr, nullptr);
  CHECK_EQ(rc, ERROR_MORE_DATA);
  name_len = 64;
  rc = RegEnumValueW(key.get(), static_cast<DWORD>(names.size()), name, &name_len, nullptr, &type, nullptr,
                     nullptr);
  CHECK_EQ(rc, ERROR_NO_MORE_ITEMS);
  DWORD max_name = 0, max_data = 0;
  rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name,
                        &max_data, nullptr, nullptr);
  CHECK_EQ(rc, ERROR_SUCCESS);
  CHECK(max_name >= 15 && max_data >= 101 * sizeof(WCHAR));
  return out.failures;
}

std::string deleting_a_missing_value_succeeds() {
  outcome out;
  user_key key;
  CHECK_EQ(RegDeleteValueW(key.get(), win_to_wide("KENV_CHECK_NEVER_SET").c_str()), ERROR_FILE_NOT_FOUND);
  env_clear_error();
  CHECK(native_del(env_scope::user, "KENV_CHECK_NEVER_SET") == 0);
  CHECK(env_error_is_empty());
  CHECK(native_set(env_scope::user, "KENV_CHECK_GONE", "x") == 0);
  CHECK(native_del(env_scope::user, "kenv_check_gone") == 0);
  DWORD type;
  std::string bytes;
  CHECK(!query("KENV_CHECK_GONE", type, bytes));
  return out.failures;
}

std::string value_names_ignore_case() {
  outcome out;
  CHECK(native_set(env_scope::user, "KENV_CHECK_Case", "first") == 0);
  CHECK(native_set(env_scope::user, "KENV_CHECK_CASE", "second") == 0);
  int seen = 0;
  for (const env_kv &kv : user_vars(out)) {
    if (!env_name_eq(kv.name, "KENV_CHECK_CASE"))
      continue;
    ++seen;
    CHECK_EQ(kv.name, "KENV_CHECK_Case");
    CHECK_EQ(kv.value, "second");
  }
  CHECK_EQ(seen, 1);
  return out.failures;
}

// A write of several values, undone: every value is back as it was, its type included.
std::string write_and_undo_the_user_key() {
  outcome out;
  CHECK(native_set(env_scope::user, "KENV_CHECK_KEPT", "%TEMP%\\kept") == 0);
  CHECK(native_del(env_scope::user, "KENV_CHECK_S1") == 0);
  env_native_undo undo;
  CHECK(env_plat_native_write(env_scope::user,
                              {{"KENV_CHECK_S1", std::string("one")},
                               {"KENV_CHECK_S2", std::string("%TEMP%")},
                               {"KENV_CHECK_KEPT", std::nullopt}},
                              {}, undo) == 0);
  env_kv_list vars = user_vars(out);
  CHECK_EQ(value_of(vars, "KENV_CHECK_S1"), "one");
  CHECK_EQ(value_of(vars, "KENV_CHECK_S2"), "%TEMP%");
  CHECK_EQ(value_of(vars, "KENV_CHECK_KEPT"), "(absent)");
  DWORD type = 0;
  std::string bytes;
  CHECK(query("KENV_CHECK_S2", type, bytes) && type == REG_EXPAND_SZ);
  CHECK(undo && undo() == 0);
  vars = user_vars(out);
  CHECK(!env_kv_find(vars, "KENV_CHECK_S1"));
  CHECK(!env_kv_find(vars, "KENV_CHECK_S2"));
  CHECK_EQ(value_of(vars, "KENV_CHECK_KEPT"), "%TEMP%\\kept");
  CHECK(query("KENV_CHECK_KEPT", type, bytes) && type == REG_EXPAND_SZ);
  return out.failures;
}

std::string data_dir_lies_under_appdata() {
  outcome out;
  const char *appdata = std::getenv("APPDATA");
  CHECK(appdata && *appdata);
  if (!appdata)
    return out.failures;
  std::string saved = appdata, dir;
  env_clear_error();
  CHECK(env_plat_data_dir(env_scope::user, dir) == 0);
  CHECK_EQ(dir, saved + "\\Pellomar");
  set_env("APPDATA", nullptr);
  CHECK(env_plat_data_dir(env_scope::user, dir) == -1);
  CHECK_EQ(std::string(env_last_error()), "APPDATA is unset; cannot locate Pellomar dir");
  set_env("APPDATA", saved.c_str());
  const char *programdata = std::getenv("ProgramData");
  CHECK(programdata && *programdata);
  if (programdata) {
    CHECK(env_plat_data_dir(env_scope::system, dir) == 0);
    CHECK_EQ(dir, std::string(programdata) + "\\Pellomar");
  }
  return out.failures;
}

std::string lock_excludes_another_handle() {
  outcome out;
  std::string dir;
  CHECK(env_plat_data_dir(env_scope::user, dir) == 0);
  env_plat_lock_handle lock;
  CHECK(env_plat_lock_file(dir + "\\.lock", lock) == 0);
  HANDLE other = CreateFileW(win_to_wide(dir + "\\.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(other != INVALID_HANDLE_VALUE);
  OVERLAPPED range{};
  CHECK(
      !LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &range));
  lock.reset();
  CHECK(
      LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &range));
  UnlockFileEx(other, 0, MAXDWORD, MAXDWORD, &range);
  CloseHandle(other);
  return out.failures;
}

// The file helpers' Windows branches: a backup is never replaced, a store file is.
std::string files_are_kept_or_replaced_whole() {
  outcome out;
  std::string dir;
  CHECK(env_plat_data_dir(env_scope::user, dir) == 0);
  CHECK(env_mkdir_p(dir.c_str()) == 0);
  std::string path = dir + "/kenv-check-file.json";
  std::filesystem::remove(path);
  CHECK_EQ(env_write_file_new(path.c_str(), "first"), 0);
  CHECK_EQ(env_write_file_new(path.c_str(), "second"), 1);
  std::string text;
  CHECK(env_read_file(path.c_str(), text) == 0);
  CHECK_EQ(text, "first");
  CHECK_EQ(env_write_file(path.c_str(), "third"), 0);
  CHECK(env_read_file(path.c_str(), text) == 0);
  CHECK_EQ(text, "third");
  std::filesystem::remove(path);
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    CHECK_EQ(entry.path().filename().string().rfind("kenv-check-file", 0), std::string::npos);
  return out.failures;
}

// Every character of every script, in values and names, goes into the registry as UTF-16
// and comes back out as the same UTF-8.
std::string every_script_round_trips() {
  outcome out;
  for (const unicode_sample &sample : unicode_samples)
    CHECK(native_set(env_scope::user, sample.name, sample.value) == 0);
  env_kv_list vars = user_vars(out);
  for (const unicode_sample &sample : unicode_samples) {
    DWORD type = 0;
    std::string bytes;
    CHECK(query(sample.name, type, bytes) && type == REG_SZ);
    CHECK_EQ(bytes, std::string(sample.value) + '\0');
    CHECK_EQ(value_of(vars, sample.name), sample.value);
  }
  return out.failures;
}

// A PATH another program wrote with the wide calls is listed whole, and an edit writes back
// every entry.
std::string path_another_program_wrote_is_kept() {
  outcome out;
  const std::string path = "C:\\\u65e5\u672c\\bin;%SystemRoot%\\\U0001F600;C:\\windows";
  CHECK(put("KENV_CHECK_TOOL_PATH", REG_EXPAND_SZ, path + '\0') == ERROR_SUCCESS);
  env_kv_list vars = user_vars(out);
  CHECK_EQ(value_of(vars, "KENV_CHECK_TOOL_PATH"), path);
  CHECK(native_set(env_scope::user, "KENV_CHECK_TOOL_PATH",
                   (value_of(vars, "KENV_CHECK_TOOL_PATH") + ";C:\\x").c_str()) == 0);
  DWORD type = 0;
  std::string bytes;
  CHECK(query("KENV_CHECK_TOOL_PATH", type, bytes) && type == REG_EXPAND_SZ);
  CHECK_EQ(bytes, path + ";C:\\x" + '\0');
  return out.failures;
}

std::string text_that_is_not_utf8_is_refused() {
  outcome out;
  env_clear_error();
  CHECK(native_set(env_scope::user, "KENV_CHECK_BAD", "caf\xE9") == -1);
  CHECK_EQ(std::string(env_last_error()), "cannot write 'KENV_CHECK_BAD' to the registry: not valid UTF-8");
  DWORD type = 0;
  std::string bytes;
  CHECK(!query("KENV_CHECK_BAD", type, bytes));
  return out.failures;
}

// A user whose name the code page lacks has such an APPDATA; the data directory, its files
// and its lock are found all the same.
std::string data_dir_may_hold_any_character() {
  outcome out;
  const char *appdata = std::getenv("APPDATA");
  CHECK(appdata && *appdata);
  if (!appdata)
    return out.failures;
  std::string saved = appdata, odd = saved + "\\\u00fcn\u00ef \u65e5\u672c \U0001F600", dir, text;
  set_env("APPDATA", odd.c_str());
  CHECK(env_plat_data_dir(env_scope::user, dir) == 0);
  CHECK_EQ(dir, odd + "\\Pellomar");
  CHECK(env_mkdir_p(dir.c_str()) == 0);
  CHECK(env_is_dir(dir.c_str()));
  std::string file = dir + "\\kenv-check-file.json";
  CHECK_EQ(env_write_file(file.c_str(), "one"), 0);
  CHECK_EQ(env_write_file_new(file.c_str(), "two"), 1);
  CHECK(env_file_exists(file.c_str()));
  CHECK(env_read_file(file.c_str(), text) == 0);
  CHECK_EQ(text, "one");
  {
    env_plat_lock_handle lock;
    CHECK(env_plat_lock_file(dir + "\\.lock", lock) == 0);
  }
  set_env("APPDATA", saved.c_str());
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(std::u8string(odd.begin(), odd.end())), ec);
  return out.failures;
}

std::string broadcast_returns() {
  env_clear_error();
  env_plat_broadcast();
  return env_error_is_empty() ? "" : std::string("message left: ") + env_last_error() + "\n";
}

template <std::string (*check)()> std::string cleaned() {
  remove_check_values();
  std::string failures = check();
  remove_check_values();
  return failures;
}

} // namespace

const std::vector<registry_check> &registry_checks() {
  static const std::vector<registry_check> checks = {
      {"WrittenTypes", cleaned<written_types>},
      {"ListingKeepsStringValuesOnly", cleaned<listing_keeps_string_values_only>},
      {"UnterminatedStringIsListedWhole", cleaned<unterminated_string_is_listed_whole>},
      {"LargeValuesDoNotEndTheListing", cleaned<large_values_do_not_end_the_listing>},
      {"EnumerationReportsWhatDoesNotFit", cleaned<enumeration_reports_what_does_not_fit>},
      {"DeletingAMissingValueSucceeds", cleaned<deleting_a_missing_value_succeeds>},
      {"ValueNamesIgnoreCase", cleaned<value_names_ignore_case>},
      {"WriteIsUndoneWithItsTypes", cleaned<write_and_undo_the_user_key>},
      {"DataDirLiesUnderAppdata", cleaned<data_dir_lies_under_appdata>},
      {"LockExcludesAnotherHandle", cleaned<lock_excludes_another_handle>},
      {"FilesAreKeptOrReplacedWhole", cleaned<files_are_kept_or_replaced_whole>},
      {"EveryScriptRoundTrips", cleaned<every_script_round_trips>},
      {"PathAnotherProgramWroteIsKept", cleaned<path_another_program_wrote_is_kept>},
      {"TextThatIsNotUtf8IsRefused", cleaned<text_that_is_not_utf8_is_refused>},
      {"DataDirMayHoldAnyCharacter", cleaned<data_dir_may_hold_any_character>},
      {"BroadcastReturns", cleaned<broadcast_returns>},
  };
  return checks;
}

void remove_registry_check_values() {
  remove_check_values();
}

// The Windows backend: the registry's Environment keys as the native store and the
// setting-change broadcast. Windows builds the environment of every new process from the
// user's Environment key (user scope) and the Session Manager's (system scope); programs
// that are already running re-read it when they receive WM_SETTINGCHANGE for
// "Environment". Every operation opens its key, acts and closes it again; nothing is kept.
//
// All calls are the wide variants. The registry holds UTF-16; the library's texts are
// UTF-8, and they are converted here, at the boundary (win/utf16.h). The ANSI variants would
// pass them through the process's code page, which has no form for most characters: a
// value written by another program as "C:\日本\bin" would read as "C:\??\bin", and the next
// PATH edit would write that back.
//
// Compiled in every build; it yields code only for Windows and for the simulation build
// (KENV_WIN_SIM), where <windows.h> is the registry simulator of tests/winsim.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#if defined(_WIN32) && !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#if defined(_WIN32) && !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include "core/frame.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"
#include "win/utf16.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// One scope's native store, and how messages and listings name it.
struct key_row {
  HKEY root;
  const char *subkey;
  const char *label;
  const char *source;
  bool system;
};

key_row row_of(env_scope scope) {
  if (scope == env_scope::system)
    return {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "HKLM",
            "registry-hklm", true};
  return {HKEY_CURRENT_USER, "Environment", "HKCU", "registry-hkcu", false};
}

// An open registry key, closed when the guard goes, whichever way the function is left.
class reg_key {
public:
  reg_key() = default;
  ~reg_key() { close(); }
  reg_key(const reg_key &) = delete;
  reg_key &operator=(const reg_key &) = delete;

  LONG open(const key_row &row, REGSAM rights) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(row.root, win_to_wide(row.subkey).c_str(), 0, rights, &key);
    if (rc == ERROR_SUCCESS)
      key_ = key;
    return rc;
  }
  void close() {
    if (key_)
      RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

// Without administrator rights the machine key cannot be opened for writing; whatever the
// status, a failure on it says so.
void report_open_failure(const key_row &row, const char *what, LONG rc) {
  env_set_error("cannot open %s Environment key for %s (%ld)%s", row.label, what, static_cast<long>(rc),
                row.system ? " \xE2\x80\x94 admin required for system scope" : "");
}

// Bytes that are not UTF-8 have no form in UTF-16: converting them would write replacement
// characters in their place.
bool refused_as_not_utf8(const char *name, const char *value) {
  if (win_utf8_valid(name) && win_utf8_valid(value))
    return false;
  env_set_error("cannot write '%s' to the registry: not valid UTF-8", name);
  return true;
}

// The value at one enumeration index, in the buffers it was read into. String data ends at
// its first NUL, or after the bytes the registry returned, since it promises no NUL of its
// own: a REG_SZ written without one comes back without one. `size` is the length of the
// data in bytes, or after ERROR_MORE_DATA the length needed.
struct value_view {
  win_wstring_view name;
  win_wstring_view data;
  DWORD type = REG_NONE;
  DWORD size = 0;
};

constexpr DWORD name_cap = 512;   // characters, the NUL included
constexpr DWORD data_cap = 32768; // bytes

// Buffers for values of ordinary size, reused for every index.
struct fixed_buffers {
  WCHAR name[name_cap];
  WCHAR data[data_cap / sizeof(WCHAR)];
};

// Buffers for a value that does not fit the fixed ones, grown as far as it needs.
struct large_buffers {
  std::vector<WCHAR> name;
  std::vector<WCHAR> data;
};

// Reads one value into buffers of `name_size` characters and `data_size` bytes.
LONG enum_into(HKEY key, DWORD index, WCHAR *name, DWORD name_size, WCHAR *data, DWORD data_size,
               value_view &out) {
  DWORD name_len = name_size;
  out.size = data_size;
  LONG rc = RegEnumValueW(key, index, name, &name_len, nullptr, &out.type, reinterpret_cast<BYTE *>(data),
                          &out.size);
  if (rc == ERROR_SUCCESS) {
    win_wstring_view text(data, std::min(out.size, data_size) / sizeof(WCHAR));
    out.name = win_wstring_view(name, name_len);
    out.data = text.substr(0, text.find(WCHAR{0}));
  }
  return rc;
}

// Reads the value at `index` again with buffers sized from the key's largest name and data,
// doubling them while the value still does not fit (it may have grown in between).
LONG enum_large(HKEY key, DWORD index, large_buffers &buf, value_view &out) {
  DWORD max_name = 0, max_data = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name,
                       &max_data, nullptr, nullptr) != ERROR_SUCCESS)
    max_name = max_data = 0;
  std::size_t name_size = std::max<std::size_t>(std::size_t{max_name} + 1, 2 * name_cap);
  std::size_t data_units = std::max<std::size_t>(std::size_t{max_data} / sizeof(WCHAR) + 1, data_cap);
  LONG rc = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 8 && rc == ERROR_MORE_DATA && data_units < MAXDWORD / sizeof(WCHAR);
       ++attempt) {
    buf.name.resize(name_size);
    buf.data.resize(data_units);
    rc = enum_into(key, index, buf.name.data(), static_cast<DWORD>(name_size), buf.data.data(),
                   static_cast<DWORD>(data_units * sizeof(WCHAR)), out);
    name_size *= 2;
    data_units = std::max<std::size_t>(2 * data_units, out.size / sizeof(WCHAR) + 1);
  }
  return rc;
}

// Appends the key's REG_SZ and REG_EXPAND_SZ values to the list in enumeration order, data
// as stored (REG_EXPAND_SZ references unexpanded), in UTF-8. A value too large for the fixed
// buffers is read again in full rather than ending the listing: the values after it, PATH
// among them, would otherwise vanish from the merged view, and the next PATH edit would
// write a PATH without them.
void enum_key_vars(HKEY key, const char *source, env_kv_list &out) {
  fixed_buffers fixed;
  large_buffers large;
  for (DWORD index = 0;; ++index) {
    value_view v;
    LONG rc = enum_into(key, index, fixed.name, name_cap, fixed.data, data_cap, v);
    if (rc == ERROR_MORE_DATA)
      rc = enum_large(key, index, large, v);
    if (rc == ERROR_MORE_DATA)
      continue; // still growing under our feet: leave this one value out, keep the rest
    if (rc != ERROR_SUCCESS)
      return;
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
      env_kv_push(out, win_to_utf8(v.name).c_str(), win_to_utf8(v.data).c_str(), source);
  }
}

} // namespace

const char *env_plat_name() {
  return "windows";
}

char env_plat_path_sep() {
  return ';';
}

bool env_plat_names_fold_case() {
  return true;
}

env_ref_style env_plat_reference_style() {
  return env_ref_style::percent;
}

// Entries compare as Windows compares paths' letters: without regard to case. Nothing else
// is normalised, so "C:\Tools" and "C:\Tools\" are different entries.
int env_plat_path_eq(const char *a, const char *b) {
  return a && b && env_name_casecmp(a, b) == 0;
}

const char *env_plat_write_policy() {
  return "registry";
}

// Windows programs never read the file: they take their environment from the registry when
// they start. Shells of the POSIX layers (Git Bash, MSYS2, Cygwin) can source it.
const char *env_plat_export_policy() {
  return "# Windows write policy: new programs take these variables from the registry's\n"
         "# Environment keys, which the library writes; consoles already open keep their\n"
         "# old values. This file is for POSIX shells on Windows (Git Bash, MSYS2, Cygwin).\n"
         "# Source it there:\n";
}

std::string env_plat_shell_path(const std::string &path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

// A machine key that cannot be read (as under some locked-down accounts) lists nothing and
// says nothing; a user key that cannot be opened is worth a message.
int env_plat_native_vars(env_scope scope, env_kv_list &out) {
  out.clear();
  key_row row = row_of(scope);
  reg_key key;
  LONG rc = key.open(row, KEY_READ);
  if (rc != ERROR_SUCCESS) {
    if (row.system)
      return 0;
    env_set_error("RegOpenKeyEx failed (%ld)", static_cast<long>(rc));
    return -1;
  }
  enum_key_vars(key.get(), row.source, out);
  return 0;
}

namespace {

// A value as the key held it before a change: its type and bytes, or nothing.
struct prior_value {
  std::string name;
  bool existed = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

LONG read_prior(HKEY key, const std::string &name, prior_value &out) {
  out.name = name;
  win_wstring wide_name = win_to_wide(name);
  DWORD size = 0;
  LONG rc = RegQueryValueExW(key, wide_name.c_str(), nullptr, &out.type, nullptr, &size);
  for (int attempt = 0; rc == ERROR_SUCCESS && attempt < 8; ++attempt) {
    out.data.resize(size);
    rc = RegQueryValueExW(key, wide_name.c_str(), nullptr, &out.type, out.data.data(), &size);
    if (rc != ERROR_MORE_DATA)
      break;
    rc = ERROR_SUCCESS; // grown in between: read it again with the new size
  }
  out.existed = rc == ERROR_SUCCESS;
  if (out.existed)
    out.data.resize(size);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

// A value holding '%' is written as REG_EXPAND_SZ so that Windows expands its references
// when it builds a process environment; any other as REG_SZ, whatever type it had before.
// Names and values cross into the registry as UTF-16.
LONG set_value(HKEY key, const std::string &name, const std::string &value) {
  DWORD type = value.find('%') != std::string::npos ? REG_EXPAND_SZ : REG_SZ;
  win_wstring wide = win_to_wide(value);
  std::size_t size = (wide.size() + 1) * sizeof(WCHAR); // the NUL is stored
  if (size > MAXDWORD)
    return ERROR_INVALID_PARAMETER;
  return RegSetValueExW(key, win_to_wide(name).c_str(), 0, type, reinterpret_cast<const BYTE *>(wide.c_str()),
                        static_cast<DWORD>(size));
}

LONG delete_value(HKEY key, const std::string &name) {
  LONG rc = RegDeleteValueW(key, win_to_wide(name).c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG put_back(HKEY key, const prior_value &p) {
  if (!p.existed)
    return delete_value(key, p.name);
  return RegSetValueExW(key, win_to_wide(p.name).c_str(), 0, p.type, p.data.data(),
                        static_cast<DWORD>(p.data.size()));
}

// Puts every value back as it was, newest change first; 0, or -1 with the message.
int put_back_all(const key_row &row, const std::vector<prior_value> &priors) {
  reg_key key;
  LONG rc = key.open(row, KEY_SET_VALUE);
  if (rc != ERROR_SUCCESS) {
    report_open_failure(row, "write", rc);
    return -1;
  }
  for (auto p = priors.rbegin(); p != priors.rend(); ++p) {
    rc = put_back(key.get(), *p);
    if (rc != ERROR_SUCCESS) {
      env_set_error("cannot put '%s' back in the registry (%ld)", p->name.c_str(), static_cast<long>(rc));
      return -1;
    }
  }
  return 0;
}

int write_failed(const char *call, const std::string &name, LONG rc) {
  env_set_error("%s failed for '%s' (%ld)", call, name.c_str(), static_cast<long>(rc));
  return -1;
}

// Applies one change after noting what it replaces.
int apply_change(HKEY key, const env_native_change &c, std::vector<prior_value> &priors) {
  // Converted, such a name could name another value than the one meant.
  if (!c.value && !win_utf8_valid(c.name)) {
    env_set_error("cannot delete '%s' from the registry: not valid UTF-8", c.name.c_str());
    return -1;
  }
  prior_value prior;
  LONG rc = read_prior(key, c.name, prior);
  if (rc != ERROR_SUCCESS)
    return write_failed("RegQueryValueEx", c.name, rc);
  rc = c.value ? set_value(key, c.name, *c.value) : delete_value(key, c.name);
  if (rc != ERROR_SUCCESS)
    return write_failed(c.value ? "RegSetValueEx" : "RegDeleteValue", c.name, rc);
  priors.push_back(std::move(prior));
  return 0;
}

} // namespace

int env_plat_native_check(env_scope scope, const char *name, const char *value) {
  if (refused_as_not_utf8(name ? name : "", value ? value : ""))
    return -1;
  if (scope != env_scope::system)
    return 0;
  key_row row = row_of(scope);
  reg_key key;
  LONG rc = key.open(row, KEY_SET_VALUE);
  if (rc != ERROR_SUCCESS) {
    report_open_failure(row, "write", rc);
    return -1;
  }
  return 0;
}

// The registry is changed value by value; when one fails, the values already changed are
// put back as they were, types included.
int env_plat_native_write(env_scope scope, const std::vector<env_native_change> &changes, const env_kv_list &,
                          env_native_undo &undo) {
  key_row row = row_of(scope);
  reg_key key;
  LONG rc = key.open(row, KEY_SET_VALUE | KEY_QUERY_VALUE);
  if (rc != ERROR_SUCCESS) {
    bool deletes_only = std::none_of(changes.begin(), changes.end(), [](const auto &c) { return c.value; });
    report_open_failure(row, deletes_only ? "delete" : "write", rc);
    return -1;
  }
  auto priors = std::make_shared<std::vector<prior_value>>();
  for (const env_native_change &c : changes) {
    if (apply_change(key.get(), c, *priors) == 0)
      continue;
    std::string failure = env_last_error();
    if (put_back_all(row, *priors) != 0) {
      std::string also = env_last_error();
      env_set_error("%s; putting it back failed too: %s", failure.c_str(), also.c_str());
    } else {
      env_set_error("%s", failure.c_str());
    }
    return -1;
  }
  undo = [row, priors]() { return put_back_all(row, *priors); };
  return 0;
}

// The registry's PATH is the whole PATH of every new process, not the library's additions.
bool env_plat_native_owns_protected() {
  return true;
}

// Waits until every top-level window has handled the message, was skipped as hung, or let
// five seconds pass; the answers are of no use to us.
void env_plat_broadcast() {
  DWORD_PTR result = 0;
  win_wstring area = win_to_wide("Environment");
  (void)SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(area.c_str()),
                            SMTO_ABORTIFHUNG, 5000, &result);
}

// Windows shells take their environment from the registry, not from start-up files.
int env_plat_rc_path_extras(std::vector<env_rc_extra> &out) {
  out.clear();
  return 0;
}

int env_plat_rc_meta(std::vector<env_rc_file> &out) {
  out.clear();
  return 0;
}

#endif

// The switches of the registry and window-message simulator. The simulator behaves as
// Windows does where the backend relies on it:
//  - Two keys exist: "Environment" under HKEY_CURRENT_USER and the Session Manager's
//    "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" under
//    HKEY_LOCAL_MACHINE, their names matched ignoring case; any other subkey is
//    ERROR_FILE_NOT_FOUND.
//  - A handle carries the rights it was opened with: reading values needs KEY_QUERY_VALUE,
//    writing and deleting need KEY_SET_VALUE, or the call fails with ERROR_ACCESS_DENIED.
//    Without administrator rights (the default) the machine key cannot be opened for
//    writing at all.
//  - Value names match ignoring ASCII case; setting an existing value keeps its name as first
//    written and its place. Values enumerate in the order they were created.
//  - Names and the data of the string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are held
//    in UTF-16 as Windows holds them; other data byte for byte. The wide calls store and
//    return them as they are. The ANSI calls convert through the process's code page,
//    Windows-1252 here: a character it lacks comes back as '?', so a backend that uses them
//    loses "日本" to "??" as it would on Windows. Data is stored with its count, so a REG_SZ
//    without its NUL, a REG_DWORD or a REG_MULTI_SZ are set up with RegSetValueExW as on
//    Windows (or with winsim_put).
//  - RegEnumValue answers ERROR_MORE_DATA, with the size needed in *lpcbData, when the name
//    or the data does not fit, and ERROR_NO_MORE_ITEMS past the last value;
//    RegDeleteValue answers ERROR_FILE_NOT_FOUND for a value the key does not hold.
//  - The lock file calls are flock(2) on a real file: like byte-range locks on Windows, two
//    handles exclude each other even inside one process.
//  - GetEnvironmentVariableW reads the process environment, UTF-8 on Linux, or what
//    winsim_set_variable set; CreateFileW opens the UTF-8 form of its path.
// Unlike Windows, RegSetValueEx does not look past the data it is given: Windows stores a
// string's NUL that the count left out when the character after the data is one.
#pragma once

#include "windows.h"

#include <string>
#include <string_view>
#include <vector>

// Empties both keys, drops every failure switch and log, and takes administrator rights away.
void winsim_reset();
void winsim_set_admin(bool admin);

// Makes RegOpenKeyEx on `root` fail with `status` whenever the requested rights include
// any bit of `rights` (KEY_READ for every read, KEY_SET_VALUE for writes). Status 0 clears.
void winsim_fail_open(HKEY root, REGSAM rights, LONG status);
// Makes RegSetValueEx fail with `status` for the named value (any value when `name` is
// empty); the nth matching call fails, counting from 1, and every later one (0 clears).
void winsim_fail_set(std::string_view name, LONG status, int nth = 1);
// Makes RegDeleteValue fail with `status` (0 clears).
void winsim_fail_delete(LONG status);
// Makes RegQueryInfoKey fail with `status` (0 clears).
void winsim_fail_query_info(LONG status);

// Stores a value directly, as RegSetValueExW would. The name, and the data of the string
// types, are given in UTF-8 and stored in UTF-16.
void winsim_put(HKEY root, std::string_view name, DWORD type, std::string_view bytes);
// The stored type and data of a value, string types in UTF-8; false when the key does not
// hold it.
bool winsim_get(HKEY root, std::string_view name, DWORD &type, std::string &bytes);
// The names of a key's values in enumeration order, in UTF-8.
std::vector<std::string> winsim_names(HKEY root);

// Every RegOpenKeyEx call, ANSI or wide, successful or not; the subkey in UTF-8.
struct winsim_open_call {
  HKEY root;
  std::string subkey;
  DWORD options;
  REGSAM rights;
  LONG status;
};
const std::vector<winsim_open_call> &winsim_opens();
// Registry handles opened and not yet closed.
int winsim_open_handles();

// Every SendMessageTimeout call; lParam is read as a text (UTF-16 for the wide call) when
// it is not 0.
struct winsim_message {
  HWND window;
  UINT message;
  WPARAM wparam;
  std::string text;
  UINT flags;
  UINT timeout;
  bool result_requested;
  bool wide;
};
const std::vector<winsim_message> &winsim_messages();

// Sets a variable of the process environment as Windows keeps it: the wide environment
// (GetEnvironmentVariableW) holds every character, while the C library's copy that getenv
// reads holds the ANSI code page's form, '?' for a character it lacks. winsim_reset removes
// it again.
void winsim_set_variable(std::string_view name, std::string_view utf8);

// Lock-file handles open now.
int winsim_open_files();

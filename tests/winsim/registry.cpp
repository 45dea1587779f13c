// The simulated registry: two Environment keys held in memory for the life of the process.
// Names and string data are held in UTF-16, as Windows holds them; the ANSI calls convert
// through the code page (winsim/text.h) on their way in and out.
#include "text.h"
#include "winsim.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace text = winsim_text;

namespace {

struct value {
  std::u16string name;
  DWORD type;
  std::string bytes; // as stored: UTF-16LE for the string types
};

struct key {
  std::u16string subkey;
  std::vector<value> values;
};

struct handle {
  HKEY root;
  REGSAM rights;
};

struct set_failure {
  std::u16string name;
  LONG status = 0;
  int nth = 0;
  int seen = 0;
};

struct state {
  key user{u"Environment", {}};
  key machine{u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", {}};
  bool admin = false;
  std::map<HKEY, std::pair<REGSAM, LONG>> open_failures;
  set_failure set_fails;
  LONG delete_status = 0;
  LONG query_info_status = 0;
  std::map<HKEY, handle> handles;
  std::uintptr_t next_handle = 0x1000;
  std::vector<winsim_open_call> opens;
};

state &sim() {
  static state s;
  return s;
}

char16_t fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool same_text(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

bool is_string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

key *root_key(HKEY root) {
  if (root == HKEY_CURRENT_USER)
    return &sim().user;
  if (root == HKEY_LOCAL_MACHINE)
    return &sim().machine;
  return nullptr;
}

value *find(key &k, std::u16string_view name) {
  for (value &v : k.values)
    if (same_text(v.name, name))
      return &v;
  return nullptr;
}

// The key behind an open handle that holds `right`, or nullptr with the status in `rc`.
key *handle_key(HKEY h, REGSAM right, LONG &rc) {
  auto it = sim().handles.find(h);
  if (it == sim().handles.end()) {
    rc = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if ((it->second.rights & right) != right) {
    rc = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  rc = ERROR_SUCCESS;
  return root_key(it->second.root);
}

LONG open_status(HKEY root, std::u16string_view subkey, REGSAM rights) {
  key *k = root_key(root);
  if (!k)
    return ERROR_INVALID_HANDLE;
  if (!same_text(subkey, k->subkey))
    return ERROR_FILE_NOT_FOUND;
  auto failure = sim().open_failures.find(root);
  if (failure != sim().open_failures.end() && (rights & failure->second.first))
    return failure->second.second;
  if (root == HKEY_LOCAL_MACHINE && !sim().admin && (rights & KEY_SET_VALUE))
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

void store(key &k, std::u16string_view name, DWORD type, std::string_view bytes) {
  if (value *v = find(k, name)) {
    v->type = type;
    v->bytes.assign(bytes);
  } else {
    k.values.push_back(value{std::u16string(name), type, std::string(bytes)});
  }
}

LONG injected_set_failure(std::u16string_view name) {
  set_failure &f = sim().set_fails;
  if (f.status == 0 || (!f.name.empty() && !same_text(f.name, name)))
    return ERROR_SUCCESS;
  return ++f.seen >= f.nth ? f.status : ERROR_SUCCESS;
}

// How one family of calls, ANSI or wide, passes names and string data.
struct ansi_calls {
  using char_type = char;
  static std::u16string name_in(const char *name) { return text::from_ansi(name ? name : ""); }
  static std::string name_out(std::u16string_view name) { return text::to_ansi(name); }
  static std::string data_in(DWORD type, std::string_view bytes) {
    return is_string_type(type) ? text::to_bytes(text::from_ansi(bytes)) : std::string(bytes);
  }
  static std::string data_out(const value &v) {
    return is_string_type(v.type) ? text::to_ansi(text::from_bytes(v.bytes)) : v.bytes;
  }
};

struct wide_calls {
  using char_type = WCHAR;
  static std::u16string name_in(const WCHAR *name) { return text::of(name); }
  static std::u16string name_out(std::u16string_view name) { return std::u16string(name); }
  static std::string data_in(DWORD, std::string_view bytes) { return std::string(bytes); }
  static std::string data_out(const value &v) { return v.bytes; }
};

template <class Calls>
LONG open_key(HKEY root, const typename Calls::char_type *subkey, DWORD options, REGSAM rights,
              PHKEY result) {
  std::u16string sub = Calls::name_in(subkey);
  LONG rc = !result   ? ERROR_INVALID_PARAMETER
            : !subkey ? ERROR_FILE_NOT_FOUND
                      : open_status(root, sub, rights);
  sim().opens.push_back(winsim_open_call{root, text::to_utf8(sub), options, rights, rc});
  if (rc != ERROR_SUCCESS) {
    if (result)
      *result = nullptr;
    return rc;
  }
  HKEY h = reinterpret_cast<HKEY>(sim().next_handle++);
  sim().handles[h] = handle{root, rights};
  *result = h;
  return ERROR_SUCCESS;
}

// Copies data out as RegQueryValueEx and RegEnumValue do: ERROR_MORE_DATA with the size
// needed when a buffer is given and too small.
bool data_fits(const std::string &data, LPBYTE out, LPDWORD size) {
  bool fits = !out || data.size() <= *size;
  if (size)
    *size = static_cast<DWORD>(data.size());
  if (fits && out)
    std::memcpy(out, data.data(), data.size());
  return fits;
}

template <class Calls>
LONG enum_value(HKEY h, DWORD index, typename Calls::char_type *name, LPDWORD name_len, LPDWORD reserved,
                LPDWORD type, LPBYTE data, LPDWORD data_len) {
  LONG rc;
  key *k = handle_key(h, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (reserved || !name || !name_len || (data && !data_len))
    return ERROR_INVALID_PARAMETER;
  if (index >= k->values.size())
    return ERROR_NO_MORE_ITEMS;
  const value &v = k->values[index];
  if (type)
    *type = v.type;
  auto out_name = Calls::name_out(v.name);
  std::string bytes = Calls::data_out(v);
  bool name_fits = out_name.size() + 1 <= *name_len;
  bool data_fit = !data || bytes.size() <= *data_len;
  if (data_len)
    *data_len = static_cast<DWORD>(bytes.size());
  if (!name_fits || !data_fit)
    return ERROR_MORE_DATA;
  if (data)
    std::memcpy(data, bytes.data(), bytes.size());
  std::copy(out_name.begin(), out_name.end(), name);
  name[out_name.size()] = 0;
  *name_len = static_cast<DWORD>(out_name.size());
  return ERROR_SUCCESS;
}

LONG query_info(HKEY h, LPDWORD sub_keys, LPDWORD max_sub_key, LPDWORD max_class, LPDWORD values,
                LPDWORD max_name, LPDWORD max_data, LPDWORD security, PFILETIME written) {
  LONG rc;
  key *k = handle_key(h, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (sim().query_info_status != 0)
    return sim().query_info_status;
  std::size_t name_chars = 0, data_bytes = 0;
  for (const value &v : k->values) {
    name_chars = std::max(name_chars, v.name.size());
    data_bytes = std::max(data_bytes, v.bytes.size());
  }
  for (LPDWORD zero : {sub_keys, max_sub_key, max_class, security})
    if (zero)
      *zero = 0;
  if (values)
    *values = static_cast<DWORD>(k->values.size());
  if (max_name)
    *max_name = static_cast<DWORD>(name_chars);
  if (max_data)
    *max_data = static_cast<DWORD>(data_bytes);
  if (written)
    *written = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

template <class Calls>
LONG query_value(HKEY h, const typename Calls::char_type *name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                 LPDWORD data_len) {
  LONG rc;
  key *k = handle_key(h, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (reserved || (data && !data_len))
    return ERROR_INVALID_PARAMETER;
  const value *v = find(*k, Calls::name_in(name));
  if (!v)
    return ERROR_FILE_NOT_FOUND;
  if (type)
    *type = v->type;
  return data_fits(Calls::data_out(*v), data, data_len) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

template <class Calls>
LONG set_value(HKEY h, const typename Calls::char_type *name, DWORD reserved, DWORD type, const BYTE *data,
               DWORD size) {
  LONG rc;
  key *k = handle_key(h, KEY_SET_VALUE, rc);
  if (!k)
    return rc;
  if (reserved || (size && !data))
    return ERROR_INVALID_PARAMETER;
  std::u16string n = Calls::name_in(name);
  if ((rc = injected_set_failure(n)) != ERROR_SUCCESS)
    return rc;
  store(*k, n, type, Calls::data_in(type, std::string_view(reinterpret_cast<const char *>(data), size)));
  return ERROR_SUCCESS;
}

template <class Calls> LONG delete_value(HKEY h, const typename Calls::char_type *name) {
  LONG rc;
  key *k = handle_key(h, KEY_SET_VALUE, rc);
  if (!k)
    return rc;
  if (sim().delete_status != 0)
    return sim().delete_status;
  std::u16string n = Calls::name_in(name);
  auto it =
      std::find_if(k->values.begin(), k->values.end(), [&](const value &v) { return same_text(v.name, n); });
  if (it == k->values.end())
    return ERROR_FILE_NOT_FOUND;
  k->values.erase(it);
  return ERROR_SUCCESS;
}

} // namespace

namespace winsim_detail {
void clear_messages(); // kernel.cpp
} // namespace winsim_detail

void winsim_reset() {
  sim() = state{};
  winsim_detail::clear_messages();
}

void winsim_set_admin(bool admin) {
  sim().admin = admin;
}

void winsim_fail_open(HKEY root, REGSAM rights, LONG status) {
  if (status == 0)
    sim().open_failures.erase(root);
  else
    sim().open_failures[root] = {rights, status};
}

void winsim_fail_set(std::string_view name, LONG status, int nth) {
  sim().set_fails = set_failure{text::from_utf8(name), status, nth, 0};
}

void winsim_fail_delete(LONG status) {
  sim().delete_status = status;
}

void winsim_fail_query_info(LONG status) {
  sim().query_info_status = status;
}

void winsim_put(HKEY root, std::string_view name, DWORD type, std::string_view bytes) {
  if (key *k = root_key(root))
    store(*k, text::from_utf8(name), type,
          is_string_type(type) ? text::to_bytes(text::from_utf8(bytes)) : std::string(bytes));
}

bool winsim_get(HKEY root, std::string_view name, DWORD &type, std::string &bytes) {
  key *k = root_key(root);
  value *v = k ? find(*k, text::from_utf8(name)) : nullptr;
  if (!v)
    return false;
  type = v->type;
  bytes = is_string_type(v->type) ? text::to_utf8(text::from_bytes(v->bytes)) : v->bytes;
  return true;
}

std::vector<std::string> winsim_names(HKEY root) {
  std::vector<std::string> names;
  if (key *k = root_key(root))
    for (const value &v : k->values)
      names.push_back(text::to_utf8(v.name));
  return names;
}

const std::vector<winsim_open_call> &winsim_opens() {
  return sim().opens;
}

int winsim_open_handles() {
  return static_cast<int>(sim().handles.size());
}

extern "C" {

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return open_key<wide_calls>(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return open_key<ansi_calls>(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  return sim().handles.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return enum_value<wide_calls>(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                lpcbData);
}
LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return enum_value<ansi_calls>(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                lpcbData);
}

LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR, LPDWORD, LPDWORD, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                             LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  return query_info(hKey, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen,
                    lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}
LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR, LPDWORD, LPDWORD, LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                             LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  return query_info(hKey, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen,
                    lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  return query_value<wide_calls>(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  return query_value<ansi_calls>(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData) {
  return set_value<wide_calls>(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData) {
  return set_value<ansi_calls>(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return delete_value<wide_calls>(hKey, lpValueName);
}
LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return delete_value<ansi_calls>(hKey, lpValueName);
}

} // extern "C"

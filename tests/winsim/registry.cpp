// The simulated registry: two Environment keys held in memory for the life of the process.
#include "winsim.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace {

struct value {
  std::string name;
  DWORD type;
  std::string bytes;
};

struct key {
  const char *subkey;
  std::vector<value> values;
};

struct handle {
  HKEY root;
  REGSAM rights;
};

struct set_failure {
  std::string name;
  LONG status = 0;
  int nth = 0;
  int seen = 0;
};

struct state {
  key user{"Environment", {}};
  key machine{"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", {}};
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

bool same_text(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

key *root_key(HKEY root) {
  if (root == HKEY_CURRENT_USER)
    return &sim().user;
  if (root == HKEY_LOCAL_MACHINE)
    return &sim().machine;
  return nullptr;
}

value *find(key &k, std::string_view name) {
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

LONG open_status(HKEY root, const char *subkey, REGSAM rights) {
  key *k = root_key(root);
  if (!k)
    return ERROR_INVALID_HANDLE;
  if (!subkey || !same_text(subkey, k->subkey))
    return ERROR_FILE_NOT_FOUND;
  auto failure = sim().open_failures.find(root);
  if (failure != sim().open_failures.end() && (rights & failure->second.first))
    return failure->second.second;
  if (root == HKEY_LOCAL_MACHINE && !sim().admin && (rights & KEY_SET_VALUE))
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

void store(key &k, std::string_view name, DWORD type, std::string_view bytes) {
  if (value *v = find(k, name)) {
    v->type = type;
    v->bytes.assign(bytes);
  } else {
    k.values.push_back(value{std::string(name), type, std::string(bytes)});
  }
}

LONG injected_set_failure(std::string_view name) {
  set_failure &f = sim().set_fails;
  if (f.status == 0 || (!f.name.empty() && !same_text(f.name, name)))
    return ERROR_SUCCESS;
  return ++f.seen >= f.nth ? f.status : ERROR_SUCCESS;
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
  sim().set_fails = set_failure{std::string(name), status, nth, 0};
}

void winsim_fail_delete(LONG status) {
  sim().delete_status = status;
}

void winsim_fail_query_info(LONG status) {
  sim().query_info_status = status;
}

void winsim_put(HKEY root, std::string_view name, DWORD type, std::string_view bytes) {
  if (key *k = root_key(root))
    store(*k, name, type, bytes);
}

bool winsim_get(HKEY root, std::string_view name, DWORD &type, std::string &bytes) {
  key *k = root_key(root);
  value *v = k ? find(*k, name) : nullptr;
  if (!v)
    return false;
  type = v->type;
  bytes = v->bytes;
  return true;
}

std::vector<std::string> winsim_names(HKEY root) {
  std::vector<std::string> names;
  if (key *k = root_key(root))
    for (const value &v : k->values)
      names.push_back(v.name);
  return names;
}

const std::vector<winsim_open_call> &winsim_opens() {
  return sim().opens;
}

int winsim_open_handles() {
  return static_cast<int>(sim().handles.size());
}

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  LONG rc = phkResult ? open_status(hKey, lpSubKey, samDesired) : ERROR_INVALID_PARAMETER;
  sim().opens.push_back(winsim_open_call{hKey, lpSubKey ? lpSubKey : "", ulOptions, samDesired, rc});
  if (rc != ERROR_SUCCESS) {
    if (phkResult)
      *phkResult = nullptr;
    return rc;
  }
  HKEY h = reinterpret_cast<HKEY>(sim().next_handle++);
  sim().handles[h] = handle{hKey, samDesired};
  *phkResult = h;
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  return sim().handles.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  LONG rc;
  key *k = handle_key(hKey, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  if (dwIndex >= k->values.size())
    return ERROR_NO_MORE_ITEMS;
  const value &v = k->values[dwIndex];
  if (lpType)
    *lpType = v.type;
  DWORD size = static_cast<DWORD>(v.bytes.size());
  bool data_fits = !lpData || size <= *lpcbData;
  if (lpcbData)
    *lpcbData = size;
  if (v.name.size() + 1 > *lpcchValueName || !data_fits)
    return ERROR_MORE_DATA;
  std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(v.name.size());
  if (lpData)
    std::memcpy(lpData, v.bytes.data(), size);
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR, LPDWORD, LPDWORD, LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                             LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  LONG rc;
  key *k = handle_key(hKey, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (sim().query_info_status != 0)
    return sim().query_info_status;
  std::size_t max_name = 0, max_data = 0;
  for (const value &v : k->values) {
    max_name = std::max(max_name, v.name.size());
    max_data = std::max(max_data, v.bytes.size());
  }
  for (LPDWORD zero : {lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcbSecurityDescriptor})
    if (zero)
      *zero = 0;
  if (lpcValues)
    *lpcValues = static_cast<DWORD>(k->values.size());
  if (lpcbMaxValueNameLen)
    *lpcbMaxValueNameLen = static_cast<DWORD>(max_name);
  if (lpcbMaxValueLen)
    *lpcbMaxValueLen = static_cast<DWORD>(max_data);
  if (lpftLastWriteTime)
    *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  LONG rc;
  key *k = handle_key(hKey, KEY_QUERY_VALUE, rc);
  if (!k)
    return rc;
  if (lpReserved || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  const value *v = find(*k, lpValueName ? lpValueName : "");
  if (!v)
    return ERROR_FILE_NOT_FOUND;
  if (lpType)
    *lpType = v->type;
  DWORD size = static_cast<DWORD>(v->bytes.size());
  bool fits = !lpData || size <= *lpcbData;
  if (lpcbData)
    *lpcbData = size;
  if (!fits)
    return ERROR_MORE_DATA;
  if (lpData)
    std::memcpy(lpData, v->bytes.data(), size);
  return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData) {
  LONG rc;
  key *k = handle_key(hKey, KEY_SET_VALUE, rc);
  if (!k)
    return rc;
  if (Reserved || (cbData && !lpData))
    return ERROR_INVALID_PARAMETER;
  std::string_view name = lpValueName ? lpValueName : "";
  if ((rc = injected_set_failure(name)) != ERROR_SUCCESS)
    return rc;
  store(*k, name, dwType, std::string_view(reinterpret_cast<const char *>(lpData), cbData));
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  LONG rc;
  key *k = handle_key(hKey, KEY_SET_VALUE, rc);
  if (!k)
    return rc;
  if (sim().delete_status != 0)
    return sim().delete_status;
  std::string_view name = lpValueName ? lpValueName : "";
  auto it = std::find_if(k->values.begin(), k->values.end(),
                         [&](const value &v) { return same_text(v.name, name); });
  if (it == k->values.end())
    return ERROR_FILE_NOT_FOUND;
  k->values.erase(it);
  return ERROR_SUCCESS;
}

} // extern "C"

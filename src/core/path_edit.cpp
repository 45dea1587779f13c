// PATH editing one entry at a time: the scope's logical PATH is split, edited, joined and
// written whole through the write chain.
#include "kestrune_env.h"

#include "core/frame.h"
#include "core/state.h"
#include "core/views.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cstring>

void path_split(const char *text, char sep, path_entry_list &out) {
  out.clear();
  if (!text || !*text)
    return;
  for (const char *p = text;;) {
    const char *end = std::strchr(p, sep);
    std::size_t len = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
    out.push_back(path_entry{std::string(p, len), 0, 0, "path"});
    if (!end)
      return;
    p = end + 1;
  }
}

std::string path_join(const path_entry_list &entries, char sep) {
  std::string out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i)
      out.push_back(sep);
    out.append(entries[i].text);
  }
  return out;
}

int logical_path(const char *scope, std::string &out) {
  store_file store;
  return logical_path(scope, out, store);
}

// The first PATH record of the merged view (see collect_merged) without building the view:
// the store's records named PATH overlay it one after the other, so the last of them gives
// its value, and without one the native store's first PATH record does.
int logical_path(const char *scope, std::string &out, store_file &store) {
  env_kv_list native;
  int native_rc = env_plat_native_vars(scope, native);
  store_read(scope, store);
  auto last = std::find_if(store.vars.rbegin(), store.vars.rend(),
                           [](const env_kv &kv) { return env_name_is_path(kv.name.c_str()); });
  const env_kv *path = last != store.vars.rend() ? &*last : env_kv_find(native, "PATH");
  out = path ? path->value : "";
  return native_rc;
}

int write_path(const char *scope, const std::string &value) {
  store_file store;
  store_read(scope, store);
  return write_path(scope, value, store);
}

int write_path(const char *scope, const std::string &value, store_file &store) {
  if (make_backup(scope, store.vars) != 0)
    return -1;
  store_put(store.vars, "PATH", value.c_str());
  if (store_save(scope, store.vars, store) != 0)
    return -1;
  // A refused native write fails the system scope; in the user scope the store and export
  // file still carry the new PATH, and the message stays for the caller to read.
  if (env_plat_native_set(scope, "PATH", value.c_str()) != 0 && env_valid_scope(scope) == 2)
    return -1;
  if (emit_export(scope, store.vars) != 0)
    return -1;
  env_plat_broadcast();
  return 0;
}

namespace {

char path_sep() {
  return static_cast<char>(env_plat_path_sep() & 0xFF);
}

// Reads and splits the scope's PATH. An edit must not go ahead without the native entries:
// it would write a PATH that lost them.
int read_entries(const char *scope, path_entry_list &entries, store_file &store) {
  std::string text;
  if (logical_path(scope, text, store) != 0)
    return -1;
  path_split(text.c_str(), path_sep(), entries);
  return 0;
}

int add_entry(const char *scope, const char *entry, int index) {
  path_entry_list entries;
  store_file store;
  if (read_entries(scope, entries, store) != 0)
    return 0;
  for (const path_entry &e : entries) {
    if (env_plat_path_eq(e.text.c_str(), entry)) {
      env_set_error("refused: duplicate PATH entry '%s'", entry);
      return 0;
    }
  }
  std::size_t n = entries.size();
  std::size_t pos =
      (index >= 0 && static_cast<std::size_t>(index) <= n) ? static_cast<std::size_t>(index) : n;
  entries.insert(entries.begin() + static_cast<long>(pos), path_entry{entry, 0, 0, "path"});
  return write_path(scope, path_join(entries, path_sep()), store) == 0;
}

int delete_entry(const char *scope, const char *entry) {
  path_entry_list entries, kept;
  store_file store;
  if (read_entries(scope, entries, store) != 0)
    return 0;
  for (path_entry &e : entries)
    if (!env_plat_path_eq(e.text.c_str(), entry))
      kept.push_back(std::move(e));
  if (kept.size() == entries.size()) {
    env_set_error("PATH entry not found: '%s'", entry);
    return 0;
  }
  return write_path(scope, path_join(kept, path_sep()), store) == 0;
}

int move_entry(const char *scope, const char *entry, int new_index) {
  path_entry_list entries;
  store_file store;
  if (read_entries(scope, entries, store) != 0)
    return 0;
  std::size_t found = 0;
  while (found < entries.size() && !env_plat_path_eq(entries[found].text.c_str(), entry))
    ++found;
  if (found == entries.size()) {
    env_set_error("PATH entry not found: '%s'", entry);
    return 0;
  }
  std::size_t n = entries.size();
  std::size_t target = static_cast<std::size_t>(new_index) < n ? static_cast<std::size_t>(new_index) : n - 1;
  path_entry moved = std::move(entries[found]);
  entries.erase(entries.begin() + static_cast<long>(found));
  entries.insert(entries.begin() + static_cast<long>(target), std::move(moved));
  return write_path(scope, path_join(entries, path_sep()), store) == 0;
}

// The checks the three editors share, before anything is read.
const char *edit_args(const char *scope, const char *entry) {
  const char *s = env_scope_arg(scope);
  if (s && (!entry || !*entry)) {
    env_set_error("empty PATH entry");
    return nullptr;
  }
  return s;
}

} // namespace

extern "C" KENV_API int env_path_add(const char *scope, const char *entry, int32_t index) {
  return env_run_framed(0, [&] {
    const char *s = edit_args(scope, entry);
    if (!s)
      return 0;
    env_data_lock lock;
    return add_entry(s, entry, index);
  });
}

extern "C" KENV_API int env_path_del(const char *scope, const char *entry) {
  return env_run_framed(0, [&] {
    const char *s = edit_args(scope, entry);
    if (!s)
      return 0;
    env_data_lock lock;
    return delete_entry(s, entry);
  });
}

extern "C" KENV_API int env_path_move(const char *scope, const char *entry, int32_t new_index) {
  return env_run_framed(0, [&] {
    const char *s = edit_args(scope, entry);
    if (!s)
      return 0;
    if (new_index < 0) {
      env_set_error("new_index must be >= 0");
      return 0;
    }
    env_data_lock lock;
    return move_entry(s, entry, new_index);
  });
}

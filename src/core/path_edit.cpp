// PATH editing one entry at a time: the scope's logical PATH is split, edited, joined and
// written whole through the change pipeline.
#include "kestrune_env.h"

#include "core/change.h"
#include "core/frame.h"
#include "core/views.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cstring>
#include <functional>

void path_split(const char *text, char sep, path_entry_list &out) {
  out.clear();
  if (!text || !*text)
    return;
  for (const char *p = text;;) {
    const char *end = std::strchr(p, sep);
    std::size_t len = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
    out.push_back(path_entry{std::string(p, len), 0, 0, "path", {}, {}, 1});
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

namespace {

// The first PATH record of the merged view (see collect_merged) without building the view:
// the store's records named PATH overlay it one after the other, so the last of them gives
// its value, and without one the native store's first PATH record does (on Linux the PATH
// of the library's own environment.d file: other files' PATH lines are theirs, and copying
// them would give sessions their entries twice). An edit must not go ahead without the
// native entries: it would write a PATH that lost them.
int logical_path(const scope_state &st, std::string &out) {
  env_kv_list native;
  if (env_plat_native_vars(st.scope, native) != 0)
    return -1;
  const env_kv_list &stored = st.store.vars;
  auto last = std::find_if(stored.rbegin(), stored.rend(),
                           [](const env_kv &kv) { return env_name_is_path(kv.name.c_str()); });
  const env_kv *path = last != stored.rend() ? &*last : env_kv_find(native, "PATH");
  out = path ? path->value : "";
  return 0;
}

// How one editor changes the list of entries; refuses with the message recorded.
using entry_edit = std::function<bool(path_entry_list &)>;

// Reads the scope's PATH, lets `edit` change its entries and writes the result whole.
int edit_path(env_scope scope, const entry_edit &edit) {
  return run_change(scope, store_policy::must_be_usable, [&](const scope_state &st, change_plan &plan) {
    std::string text;
    if (logical_path(st, text) != 0)
      return plan_verdict::refused;
    path_entry_list entries;
    path_split(text.c_str(), env_plat_path_sep(), entries);
    if (!edit(entries))
      return plan_verdict::refused;
    std::string value = path_join(entries, env_plat_path_sep());
    plan.store = st.store.vars;
    store_put(plan.store, "PATH", value.c_str());
    plan.native.push_back({"PATH", value});
    return plan_verdict::go;
  });
}

long find_entry(const path_entry_list &entries, const char *entry) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (env_plat_path_eq(entries[i].text.c_str(), entry))
      return static_cast<long>(i);
  return -1;
}

// An entry the scope does not hold may still be in the session's PATH because another file
// adds it; the message names that file, which is not the library's to edit.
bool not_found(env_scope scope, const char *entry) {
  env_session session;
  env_plat_session(scope, session);
  for (const env_session_entry &e : session.path)
    if (!e.own && !e.file.empty() && env_plat_path_eq(e.text.c_str(), entry)) {
      env_set_error("refused: PATH entry '%s' comes from %s, which only its own editor changes", entry,
                    e.file.c_str());
      return false;
    }
  env_set_error("PATH entry not found: '%s'", entry);
  return false;
}

int add_entry(env_scope scope, const char *entry, int index) {
  if (std::strchr(entry, env_plat_path_sep())) {
    env_set_error("refused: PATH entry '%s' holds the separator '%c'", entry, env_plat_path_sep());
    return 0;
  }
  return edit_path(scope, [&](path_entry_list &entries) {
    if (find_entry(entries, entry) >= 0) {
      env_set_error("refused: duplicate PATH entry '%s'", entry);
      return false;
    }
    std::size_t n = entries.size();
    std::size_t pos =
        (index >= 0 && static_cast<std::size_t>(index) <= n) ? static_cast<std::size_t>(index) : n;
    entries.insert(entries.begin() + static_cast<long>(pos), path_entry{entry, 0, 0, "path", {}, {}, 1});
    return true;
  });
}

int delete_entry(env_scope scope, const char *entry) {
  return edit_path(scope, [&](path_entry_list &entries) {
    auto gone = std::remove_if(entries.begin(), entries.end(),
                               [&](const path_entry &e) { return env_plat_path_eq(e.text.c_str(), entry); });
    if (gone == entries.end())
      return not_found(scope, entry);
    entries.erase(gone, entries.end());
    return true;
  });
}

int move_entry(env_scope scope, const char *entry, int new_index) {
  return edit_path(scope, [&](path_entry_list &entries) {
    long found = find_entry(entries, entry);
    if (found < 0)
      return not_found(scope, entry);
    std::size_t n = entries.size();
    std::size_t target =
        static_cast<std::size_t>(new_index) < n ? static_cast<std::size_t>(new_index) : n - 1;
    path_entry moved = std::move(entries[static_cast<std::size_t>(found)]);
    entries.erase(entries.begin() + found);
    entries.insert(entries.begin() + static_cast<long>(target), std::move(moved));
    return true;
  });
}

// The checks the three editors share, before anything is read.
bool edit_args(const char *scope, const char *entry, env_scope &out) {
  if (!env_scope_arg(scope, out))
    return false;
  if (!entry || !*entry) {
    env_set_error("empty PATH entry");
    return false;
  }
  return true;
}

} // namespace

extern "C" KENV_API int env_path_add(const char *scope, const char *entry, int32_t index) {
  return env_run_framed(0, [&] {
    env_scope s;
    return edit_args(scope, entry, s) ? add_entry(s, entry, index) : 0;
  });
}

extern "C" KENV_API int env_path_del(const char *scope, const char *entry) {
  return env_run_framed(0, [&] {
    env_scope s;
    return edit_args(scope, entry, s) ? delete_entry(s, entry) : 0;
  });
}

extern "C" KENV_API int env_path_move(const char *scope, const char *entry, int32_t new_index) {
  return env_run_framed(0, [&] {
    env_scope s;
    if (!edit_args(scope, entry, s))
      return 0;
    if (new_index < 0) {
      env_set_error("new_index must be >= 0");
      return 0;
    }
    return move_entry(s, entry, new_index);
  });
}

// What the library presents of a scope: the merged view of native store and store, value
// expansion, and the PATH entry list with its diagnostics.
#pragma once

#include "core/kv_table.h"
#include "core/names.h"

#include <string>
#include <string_view>
#include <vector>

// First-match lookup by name with ASCII case ignored, in constant time: the same answer as
// env_kv_find, for lists too long to scan once per lookup.
class env_kv_index {
public:
  // An index of the empty list.
  env_kv_index();
  explicit env_kv_index(const env_kv_list &list);
  // Position of the first record whose name matches, or -1.
  long find(std::string_view name) const;
  // Records that list[pos] was appended; keeps an earlier record with an equal name first.
  void note(const env_kv_list &list, std::size_t pos);

private:
  const env_kv_list *list_ = nullptr; // the list the positions are in
  env_kv_table table_{true};
};

// Native variables overlaid by the store: native order first, store-only names after, a
// store value replacing a native one in place under the native name. Returns the native
// store's result (-1 with its message when it could not be read); the view is built either
// way.
int collect_merged(const char *scope, env_kv_list &out);
// The same, with `index` left indexing `out` (it is built on the way anyway).
int collect_merged(const char *scope, env_kv_list &out, env_kv_index &index);

// Resolves $NAME, ${NAME} and %NAME% against `vars` in one pass; unmatched references are
// dropped, malformed ones copied as text.
std::string expand_value(const char *value, const env_kv_list &vars, const env_kv_index &index);

struct path_entry {
  std::string text;
  int exists = 0;
  int dup = 0;
  std::string source;
};
using path_entry_list = std::vector<path_entry>;

void path_split(const char *text, char sep, path_entry_list &out);
std::string path_join(const path_entry_list &entries, char sep);
// The scope's logical PATH: the first PATH of the merged view, or "". Returns the native
// store's result, as collect_merged.
int logical_path(const char *scope, std::string &out);
// The same, handing the store as it was read to a caller that goes on to change it.
struct store_file;
int logical_path(const char *scope, std::string &out, store_file &store);
// Writes a new PATH through the whole write chain.
int write_path(const char *scope, const std::string &value);
// The same, for a store read in this call (by logical_path) under the data lock.
int write_path(const char *scope, const std::string &value, store_file &store);

// What the library presents of a scope: the merged view of native store and store, value
// expansion, and the PATH entry list with its diagnostics.
#pragma once

#include "core/kv_table.h"
#include "core/names.h"
#include "core/state.h"

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

// What building the merged view found wrong with the library's own state.
struct merge_report {
  std::string store_problem;          // why a store file that is there cannot be used, or ""
  std::vector<std::string> disagree;  // store names whose native value differs from the store's
  std::vector<store_skipped> skipped; // store records that are not a name and a text value
};

// Native variables overlaid by the store: native order first, store-only names after, a
// store value replacing a native one in place under the native name, with `index` left
// indexing `out`. Returns the native store's result (-1 with its message when it could not
// be read); the view is built either way. A store that cannot be used contributes nothing.
int collect_merged(env_scope scope, const std::string &store_path, env_kv_list &out, env_kv_index &index,
                   merge_report &report);

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

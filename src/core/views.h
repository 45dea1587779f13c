// What the library presents of a scope: the merged view of native store and store, value
// expansion, and the PATH entry list with its diagnostics.
#pragma once

#include "core/kv_table.h"
#include "core/names.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <functional>
#include <optional>
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
  env_kv_table table_{env_plat_names_fold_case()};
};

// What building the merged view found wrong with the library's own state.
struct merge_report {
  std::string store_problem;          // why a store file that is there cannot be used, or ""
  std::vector<std::string> disagree;  // store names whose native value differs from the store's
  std::vector<std::string> not_utf8;  // store names whose name or value is not UTF-8
  std::vector<store_skipped> skipped; // store records that are not a name and a text value
  env_kv_list stored;                 // the store's records as read, in order
  std::optional<std::string> records; // the front ends' records the store keeps
};

// Native variables overlaid by the store: native order first, store-only names after, a
// store value replacing a native one in place under the native name, with `index` left
// indexing `out`. Returns the native store's result (-1 with its message when it could not
// be read); the view is built either way. A store that cannot be used contributes nothing.
int collect_merged(env_scope scope, const std::string &store_path, env_kv_list &out, env_kv_index &index,
                   merge_report &report);
// The same over a native view already read (see env_plat_session), whose variables it takes.
// Its expansions stay by position; one whose value the store replaces with another is
// dropped, as it no longer expands that value.
int overlay_store(env_scope scope, const std::string &store_path, env_native_view &native, env_kv_list &out,
                  env_kv_index &index, merge_report &report);

// What a name stands for where a value is expanded, or nullopt when it is not defined.
using env_resolver = std::function<std::optional<std::string>(std::string_view name)>;

// Expands the references of one style in one pass; malformed ones are copied as text.
// Dollar style: $NAME and ${NAME}, the references the library's own values hold (any other
// `$` is written to environment.d as a literal one); an undefined name gives nothing.
// Percent style: %NAME%, as Windows expands REG_EXPAND_SZ; an undefined name stays as
// written.
std::string expand_value(std::string_view value, env_ref_style style, const env_resolver &resolve);

// Every value of the view expanded as a new session gets it. A value the platform expanded
// itself (`given`, by position) is taken as it is: on POSIX the values of environment.d
// files, as systemd's generator expands them. Any other is expanded on POSIX in the view's
// order, each reference seeing only the variables assigned before it and otherwise the
// environment the session inherits (this process's stands in for it), and on Windows
// against the whole view, then the inherited environment.
std::vector<std::string> expand_view(const env_kv_list &vars, const env_kv_index &index,
                                     const std::vector<std::optional<std::string>> &given);
// A text expanded as the value at `position` of the view is, against the values expand_view
// gave the variables before it.
std::string expand_in_view(std::string_view text, std::size_t position, const env_kv_list &vars,
                           const env_kv_index &index, const std::vector<std::string> &expanded);

struct path_entry {
  std::string text;
  int exists = 0;
  int dup = 0;
  std::string source;
  std::string expanded; // the entry as a new session gets it; existence and duplicates go by it
  std::string origin;   // the file (or key) that adds it
  int editable = 1;     // 0 for an entry another file adds, which the PATH editors leave alone
};
using path_entry_list = std::vector<path_entry>;

void path_split(const char *text, char sep, path_entry_list &out);
std::string path_join(const path_entry_list &entries, char sep);

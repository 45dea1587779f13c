// The merged view of a scope and value expansion.
#include "core/views.h"

#include "core/state.h"
#include "platform/env_plat.h"

#include <cctype>

env_kv_index::env_kv_index() = default;

env_kv_index::env_kv_index(const env_kv_list &list) : list_(&list) {
  table_.reserve(list, list.size());
  for (std::size_t i = 0; i < list.size(); ++i)
    table_.add(list, i);
}

long env_kv_index::find(std::string_view name) const {
  std::size_t pos = list_ ? table_.find(*list_, name) : env_kv_table::npos;
  return pos == env_kv_table::npos ? -1 : static_cast<long>(pos);
}

void env_kv_index::note(const env_kv_list &list, std::size_t pos) {
  list_ = &list;
  table_.add(list, pos);
}

namespace {

// A store record laid over the view: it replaces the value of the first record of its name,
// or comes last. A native store that holds another value (or none, for a value that is not
// empty) missed a change: it was interrupted, or someone edited the native store.
void overlay(env_kv_list &out, env_kv_index &index, const char *name, const char *value,
             std::vector<std::string> &disagree) {
  long pos = index.find(name);
  if (pos >= 0 && out[static_cast<std::size_t>(pos)].source != "overlay") {
    env_kv &native = out[static_cast<std::size_t>(pos)];
    if (native.value != value)
      disagree.emplace_back(name);
    native.value = value;
    native.source = "overlay";
  } else if (pos >= 0) {
    out[static_cast<std::size_t>(pos)].value = value;
  } else {
    if (*value)
      disagree.emplace_back(name);
    env_kv_push(out, name, value, "overlay");
    index.note(out, out.size() - 1);
  }
}

} // namespace

int collect_merged(env_scope scope, const std::string &store_path, env_kv_list &out, env_kv_index &index,
                   merge_report &report) {
  out.clear();
  report = merge_report();
  int native_rc = env_plat_native_vars(scope, out);
  index = env_kv_index(out);
  bool follow_links = scope == env_scope::user;
  report.store_problem = store_each(
      store_path, follow_links,
      [&](const char *name, const char *value) { overlay(out, index, name, value, report.disagree); },
      &report.skipped);
  return native_rc;
}

namespace {

constexpr std::size_t max_ref_name = 255;

bool is_name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

void substitute(std::string_view name, const env_kv_list &vars, const env_kv_index &index, std::string &out) {
  long pos = index.find(name);
  if (pos >= 0)
    out.append(vars[static_cast<std::size_t>(pos)].value);
}

// Length of a reference starting at `i` and its name, or 0 when none starts there.
std::size_t reference_at(std::string_view v, std::size_t i, std::string_view &name) {
  if (v[i] == '%') {
    std::size_t close = v.find('%', i + 1);
    if (close == std::string_view::npos || close == i + 1 || close - i - 1 > max_ref_name)
      return 0;
    name = v.substr(i + 1, close - i - 1);
    return close - i + 1;
  }
  if (i + 1 >= v.size())
    return 0;
  if (v[i + 1] == '{') {
    std::size_t close = v.find('}', i + 2);
    if (close == std::string_view::npos || close - i - 2 > max_ref_name)
      return 0;
    name = v.substr(i + 2, close - i - 2);
    return close - i + 1;
  }
  if (!is_name_start(v[i + 1]))
    return 0;
  std::size_t end = i + 1;
  while (end < v.size() && is_name_char(v[end]))
    ++end;
  if (end - i - 1 > max_ref_name)
    return 0;
  name = v.substr(i + 1, end - i - 1);
  return end - i;
}

} // namespace

std::string expand_value(const char *value, const env_kv_list &vars, const env_kv_index &index) {
  std::string_view v = value ? value : "";
  std::string out;
  out.reserve(v.size());
  for (std::size_t i = 0; i < v.size();) {
    std::string_view name;
    std::size_t len = (v[i] == '$' || v[i] == '%') ? reference_at(v, i, name) : 0;
    if (len == 0) {
      out.push_back(v[i++]);
      continue;
    }
    substitute(name, vars, index, out);
    i += len;
  }
  return out;
}

// The merged view of a scope and value expansion.
#include "core/views.h"

#include "core/json_out.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <cctype>
#include <cstdlib>

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
// empty) missed a change: it was interrupted, or someone edited the native store. A value
// the platform expanded no longer holds for a value replaced with another.
void overlay(env_kv_list &out, env_kv_index &index, const char *name, const char *value,
             std::vector<std::string> &disagree, std::vector<std::optional<std::string>> &expanded) {
  long pos = index.find(name);
  std::size_t at = static_cast<std::size_t>(pos);
  if (pos >= 0 && at < expanded.size() && out[at].value != value)
    expanded[at].reset();
  if (pos >= 0 && out[at].source != "overlay") {
    env_kv &native = out[at];
    if (native.value != value)
      disagree.emplace_back(name);
    native.value = value;
    native.source = "overlay";
  } else if (pos >= 0) {
    out[at].value = value;
  } else {
    if (*value)
      disagree.emplace_back(name);
    env_kv_push(out, name, value, "overlay");
    index.note(out, out.size() - 1);
  }
}

} // namespace

int overlay_store(env_scope scope, const std::string &store_path, env_native_view &native, env_kv_list &out,
                  env_kv_index &index, merge_report &report) {
  out = std::move(native.vars);
  report = merge_report();
  index = env_kv_index(out);
  bool follow_links = scope == env_scope::user;
  report.store_problem = store_each(
      store_path, follow_links,
      [&](const char *name, const char *value) {
        if (!env_json_utf8_valid(name) || !env_json_utf8_valid(value))
          report.not_utf8.emplace_back(name);
        report.stored.push_back(env_kv{name, value, ""});
        overlay(out, index, name, value, report.disagree, native.expanded);
      },
      &report.skipped, &report.records);
  return native.rc;
}

int collect_merged(env_scope scope, const std::string &store_path, env_kv_list &out, env_kv_index &index,
                   merge_report &report) {
  env_native_view native;
  native.rc = env_plat_native_vars(scope, native.vars);
  return overlay_store(scope, store_path, native, out, index, report);
}

namespace {

constexpr std::size_t max_ref_name = 255;

bool is_name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// `[A-Za-z_][A-Za-z0-9_]*`: what a session takes for a name inside braces.
bool is_name(std::string_view name) {
  if (name.empty() || !is_name_start(name[0]))
    return false;
  for (char c : name)
    if (!is_name_char(c))
      return false;
  return true;
}

// One reference found in a value: the name and the length of the whole reference.
struct reference {
  std::string_view name;
  std::size_t length = 0;
};

bool percent_at(std::string_view v, std::size_t i, reference &ref) {
  std::size_t close = v.find('%', i + 1);
  if (close == std::string_view::npos || close == i + 1 || close - i - 1 > max_ref_name)
    return false;
  ref = {v.substr(i + 1, close - i - 1), close - i + 1};
  return true;
}

bool dollar_at(std::string_view v, std::size_t i, reference &ref) {
  if (i + 1 >= v.size())
    return false;
  if (v[i + 1] == '{') {
    std::size_t close = v.find('}', i + 2);
    if (close == std::string_view::npos)
      return false;
    ref = {v.substr(i + 2, close - i - 2), close - i + 1};
    return is_name(ref.name) && ref.name.size() <= max_ref_name;
  }
  if (!is_name_start(v[i + 1]))
    return false;
  std::size_t end = i + 1;
  while (end < v.size() && is_name_char(v[end]))
    ++end;
  ref = {v.substr(i + 1, end - i - 1), end - i};
  return ref.name.size() <= max_ref_name;
}

void substitute(const reference &ref, env_ref_style style, std::string_view text, const env_resolver &resolve,
                std::string &out) {
  std::optional<std::string> value = resolve(ref.name);
  if (value)
    out.append(*value);
  else if (style == env_ref_style::percent)
    out.append(text);
}

} // namespace

std::string expand_value(std::string_view v, env_ref_style style, const env_resolver &resolve) {
  const char lead = style == env_ref_style::percent ? '%' : '$';
  std::string out;
  out.reserve(v.size());
  for (std::size_t i = 0; i < v.size();) {
    reference ref;
    bool found =
        v[i] == lead && (style == env_ref_style::percent ? percent_at(v, i, ref) : dollar_at(v, i, ref));
    if (!found) {
      out.push_back(v[i++]);
      continue;
    }
    substitute(ref, style, v.substr(i, ref.length), resolve, out);
    i += ref.length;
  }
  return out;
}

std::string expand_in_view(std::string_view text, std::size_t position, const env_kv_list &vars,
                           const env_kv_index &index, const std::vector<std::string> &expanded) {
  env_ref_style style = env_plat_reference_style();
  if (text.find(style == env_ref_style::percent ? '%' : '$') == std::string_view::npos)
    return std::string(text);
  env_resolver resolve = [&](std::string_view name) -> std::optional<std::string> {
    long pos = index.find(name);
    if (pos >= 0 && style == env_ref_style::percent)
      return vars[static_cast<std::size_t>(pos)].value;
    if (pos >= 0 && static_cast<std::size_t>(pos) < position)
      return expanded[static_cast<std::size_t>(pos)];
    return env_plat_process_variable(name);
  };
  return expand_value(text, style, resolve);
}

std::vector<std::string> expand_view(const env_kv_list &vars, const env_kv_index &index,
                                     const std::vector<std::optional<std::string>> &given) {
  std::vector<std::string> out;
  out.reserve(vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    if (i < given.size() && given[i])
      out.push_back(*given[i]);
    else
      out.push_back(expand_in_view(vars[i].value, i, vars, index, out));
  }
  return out;
}

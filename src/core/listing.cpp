// env_list: one scope's variables, PATH entries and warnings as a compact JSON document.
// A member is never silently left out: running out of memory fails the whole listing.
#include "kestrune_env.h"

#include "core/diag.h"
#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"

#include <algorithm>

namespace {

void write_member(env_json_out &out, const char *name, std::string_view text) {
  out.key(name);
  out.string(text);
}

void write_header(env_json_out &out, const char *scope) {
  write_member(out, "scope", scope);
  if (const char *name = env_plat_name())
    write_member(out, "platform", name);
  char sep[2] = {static_cast<char>(env_plat_path_sep() & 0xFF), '\0'};
  write_member(out, "path_sep", sep);
  write_member(out, "write_policy", env_plat_write_policy());
  write_member(out, "rc_write", "never");
  std::string export_file;
  out.key("export_file");
  if (export_path(scope, export_file) == 0)
    out.string(export_file);
  else
    out.null();
}

void write_vars(env_json_out &out, const env_kv_list &merged, const env_kv_index &index) {
  out.key("vars");
  out.begin_array();
  for (const env_kv &kv : merged) {
    out.begin_object();
    write_member(out, "name", kv.name);
    write_member(out, "value", kv.value);
    // A value without '$' or '%' refers to nothing and expands to itself.
    if (kv.value.find_first_of("$%") == std::string::npos)
      write_member(out, "expanded", kv.value);
    else
      write_member(out, "expanded", expand_value(kv.value.c_str(), merged, index));
    write_member(out, "source", kv.source);
    out.end_object();
  }
  out.end_array();
}

void write_path_and_warnings(env_json_out &out, const char *scope, const env_kv_list &merged,
                             const env_kv_index &index) {
  long at = index.find("PATH");
  const env_kv *path = at < 0 ? nullptr : &merged[static_cast<std::size_t>(at)];
  path_entry_list entries;
  path_diag_entries(scope, path, entries);
  out.key("path");
  path_diag_write_entries(out, entries);
  out.key("warnings");
  path_diag_write_warnings(out, entries, path, merged);
}

void write_trailer(env_json_out &out) {
  out.key("protected_delete");
  out.begin_array();
  for (const char *name : env_protected_names)
    out.string(name);
  out.end_array();
  std::vector<env_rc_file> files;
  env_plat_rc_meta(files);
  out.key("rc_sources");
  out.begin_array();
  for (const env_rc_file &f : files) {
    out.begin_object();
    write_member(out, "file", f.path);
    out.key("parsed");
    out.integer(1);
    out.key("written");
    out.integer(f.written);
    out.end_object();
  }
  out.end_array();
}

// About the size of the text: each variable's object with its value twice (as it is and
// expanded), and the PATH's entries with their warnings.
std::size_t expected_size(const env_kv_list &merged, const env_kv *path) {
  std::size_t size = 4096;
  for (const env_kv &kv : merged)
    size += 48 + kv.name.size() + 2 * kv.value.size() + kv.source.size();
  if (path)
    size += 3 * path->value.size() +
            100 * static_cast<std::size_t>(std::count(path->value.begin(), path->value.end(),
                                                      static_cast<char>(env_plat_path_sep())));
  return size;
}

char *list_scope(const char *scope) {
  env_kv_list merged;
  env_kv_index index;
  (void)collect_merged(scope, merged, index);
  long at = index.find("PATH");
  env_json_out out(expected_size(merged, at < 0 ? nullptr : &merged[static_cast<std::size_t>(at)]));
  out.begin_object();
  write_header(out, scope);
  write_vars(out, merged, index);
  write_path_and_warnings(out, scope, merged, index);
  write_trailer(out);
  out.end_object();
  return out.release();
}

} // namespace

extern "C" KENV_API char *env_list(const char *scope) {
  return env_run_framed<char *>(nullptr, [&]() -> char * {
    const char *s = env_scope_arg(scope);
    return s ? list_scope(s) : nullptr;
  });
}

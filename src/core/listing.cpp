// env_list: one scope's variables, PATH entries and warnings as a compact JSON document.
// A member is never silently left out: running out of memory fails the whole listing.
#include "kestrune_env.h"

#include "core/diag.h"
#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"

namespace {

void add_header(yyjson_mut_doc *doc, yyjson_mut_val *root, const char *scope) {
  yy_must(yyjson_mut_obj_add_str(doc, root, "scope", scope));
  if (const char *name = env_plat_name())
    yy_must(yyjson_mut_obj_add_str(doc, root, "platform", name));
  char sep[2] = {static_cast<char>(env_plat_path_sep() & 0xFF), '\0'};
  yy_must(yyjson_mut_obj_add_strcpy(doc, root, "path_sep", sep));
  yy_must(yyjson_mut_obj_add_str(doc, root, "write_policy", env_plat_write_policy()));
  yy_must(yyjson_mut_obj_add_str(doc, root, "rc_write", "never"));
  std::string export_file;
  if (export_path(scope, export_file) == 0)
    yy_must(yyjson_mut_obj_add_strncpy(doc, root, "export_file", export_file.data(), export_file.size()));
  else
    yy_must(yyjson_mut_obj_add_null(doc, root, "export_file"));
}

void add_vars(yyjson_mut_doc *doc, yyjson_mut_val *root, const env_kv_list &merged) {
  yyjson_mut_val *vars = yy_must(yyjson_mut_arr(doc));
  env_kv_index index(merged);
  for (const env_kv &kv : merged) {
    std::string expanded = expand_value(kv.value.c_str(), merged, index);
    yyjson_mut_val *obj = yy_must(yyjson_mut_obj(doc));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "name", kv.name.data(), kv.name.size()));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "value", kv.value.data(), kv.value.size()));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "expanded", expanded.data(), expanded.size()));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "source", kv.source.data(), kv.source.size()));
    yy_must(yyjson_mut_arr_append(vars, obj));
  }
  yy_must(yyjson_mut_obj_add_val(doc, root, "vars", vars));
}

void add_path_and_warnings(yyjson_mut_doc *doc, yyjson_mut_val *root, const char *scope,
                           const env_kv_list &merged) {
  path_entry_list entries;
  path_diag_entries(scope, merged, entries);
  yyjson_mut_val *path = yy_must(yyjson_mut_arr(doc));
  yyjson_mut_val *warnings = yy_must(yyjson_mut_arr(doc));
  path_diag_emit_entries(doc, entries, path, warnings);
  yy_must(yyjson_mut_obj_add_val(doc, root, "path", path));
  path_diag_emit_variables(doc, merged, warnings);
  yy_must(yyjson_mut_obj_add_val(doc, root, "warnings", warnings));
}

void add_trailer(yyjson_mut_doc *doc, yyjson_mut_val *root) {
  yyjson_mut_val *prot = yy_must(yyjson_mut_arr(doc));
  for (const char *name : env_protected_names)
    yy_must(yyjson_mut_arr_add_str(doc, prot, name));
  yy_must(yyjson_mut_obj_add_val(doc, root, "protected_delete", prot));
  std::vector<env_rc_file> files;
  env_plat_rc_meta(files);
  yyjson_mut_val *rc = yy_must(yyjson_mut_arr(doc));
  for (const env_rc_file &f : files) {
    yyjson_mut_val *obj = yy_must(yyjson_mut_obj(doc));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "file", f.path.data(), f.path.size()));
    yy_must(yyjson_mut_obj_add_int(doc, obj, "parsed", 1));
    yy_must(yyjson_mut_obj_add_int(doc, obj, "written", f.written));
    yy_must(yyjson_mut_arr_append(rc, obj));
  }
  yy_must(yyjson_mut_obj_add_val(doc, root, "rc_sources", rc));
}

char *list_scope(const char *scope) {
  env_kv_list merged;
  (void)collect_merged(scope, merged);
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(doc.get()));
  yyjson_mut_doc_set_root(doc.get(), root);
  add_header(doc.get(), root, scope);
  add_vars(doc.get(), root, merged);
  add_path_and_warnings(doc.get(), root, scope, merged);
  add_trailer(doc.get(), root);
  yy_text text = env_json_write(doc.get(), env_json_text_flags);
  if (!text)
    env_set_error("failed to serialize list JSON");
  return text.release();
}

} // namespace

extern "C" KENV_API char *env_list(const char *scope) {
  return env_run_framed<char *>(nullptr, [&]() -> char * {
    const char *s = env_scope_arg(scope);
    return s ? list_scope(s) : nullptr;
  });
}

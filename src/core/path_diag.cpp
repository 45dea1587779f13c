// PATH diagnostics behind the listing's "path" and "warnings": entries that do not exist,
// entries that repeat an earlier one, and advisory warnings on lengths and names.
#include "core/diag.h"

#include "core/files.h"
#include "platform/env_plat.h"

#include <cstring>

namespace {

void add_rc_extras(path_entry_list &entries) {
  std::vector<env_rc_extra> extras;
  env_plat_rc_path_extras(extras);
  for (env_rc_extra &extra : extras) {
    bool present = false;
    for (const path_entry &e : entries)
      if (env_plat_path_eq(e.text.c_str(), extra.path.c_str())) {
        present = true;
        break;
      }
    if (!present)
      entries.push_back(path_entry{std::move(extra.path), 0, 0, std::move(extra.label)});
  }
}

void flag_entries(path_entry_list &entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    path_entry &e = entries[i];
    e.exists = !e.text.empty() && env_is_dir(e.text.c_str());
    e.dup = 0;
    for (std::size_t j = 0; j < i && !e.dup; ++j)
      e.dup = env_plat_path_eq(e.text.c_str(), entries[j].text.c_str()) ? 1 : 0;
  }
}

yyjson_mut_val *new_warning(yyjson_mut_doc *doc, const char *code) {
  yyjson_mut_val *w = yy_must(yyjson_mut_obj(doc));
  yy_must(yyjson_mut_obj_add_str(doc, w, "code", code));
  return w;
}

void add_entry_warning(yyjson_mut_doc *doc, yyjson_mut_val *warnings, const char *code,
                       const std::string &entry, const char *message) {
  yyjson_mut_val *w = new_warning(doc, code);
  yy_must(yyjson_mut_obj_add_strncpy(doc, w, "entry", entry.data(), entry.size()));
  yy_must(yyjson_mut_obj_add_str(doc, w, "message", message));
  yy_must(yyjson_mut_arr_append(warnings, w));
}

void add_length_warning(yyjson_mut_doc *doc, yyjson_mut_val *warnings, const std::string &name,
                        std::size_t length, const char *message) {
  yyjson_mut_val *w = new_warning(doc, "length");
  yy_must(yyjson_mut_obj_add_strncpy(doc, w, "name", name.data(), name.size()));
  yy_must(yyjson_mut_obj_add_int(doc, w, "length", static_cast<int32_t>(length)));
  yy_must(yyjson_mut_obj_add_str(doc, w, "message", message));
  yy_must(yyjson_mut_arr_append(warnings, w));
}

} // namespace

void path_diag_entries(const char *scope, const env_kv_list &merged, path_entry_list &out) {
  const env_kv *path = env_kv_find(merged, "PATH");
  path_split(path ? path->value.c_str() : "", static_cast<char>(env_plat_path_sep() & 0xFF), out);
  if (env_valid_scope(scope) == 1)
    add_rc_extras(out);
  flag_entries(out);
}

void path_diag_emit_entries(yyjson_mut_doc *doc, const path_entry_list &entries, yyjson_mut_val *path_arr,
                            yyjson_mut_val *warnings) {
  for (const path_entry &e : entries) {
    yyjson_mut_val *obj = yy_must(yyjson_mut_obj(doc));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "entry", e.text.data(), e.text.size()));
    yy_must(yyjson_mut_obj_add_int(doc, obj, "exists", e.exists));
    yy_must(yyjson_mut_obj_add_int(doc, obj, "dup", e.dup));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "source", e.source.data(), e.source.size()));
    yy_must(yyjson_mut_arr_append(path_arr, obj));
    if (!e.exists && !e.text.empty())
      add_entry_warning(doc, warnings, "exists", e.text, "PATH entry does not exist (warn, not refused)");
    if (e.dup)
      add_entry_warning(doc, warnings, "dup", e.text, "duplicate PATH entry");
  }
}

void path_diag_emit_variables(yyjson_mut_doc *doc, const env_kv_list &merged, yyjson_mut_val *warnings) {
  static const std::string path_name = "PATH";
  if (const env_kv *path = env_kv_find(merged, "PATH")) {
    std::size_t len = path->value.size();
    if (len > 2047)
      add_length_warning(doc, warnings, path_name, len,
                         "PATH length exceeds Windows 2047-char CreateProcess caution");
    if (len > 4095)
      add_length_warning(doc, warnings, path_name, len,
                         "PATH length exceeds Windows 4095-char registry caution");
  }
  for (const env_kv &kv : merged) {
    if (!env_name_is_path(kv.name.c_str()) && kv.value.size() > 4095)
      add_length_warning(doc, warnings, kv.name, kv.value.size(),
                         "value length exceeds Windows 4095-char registry caution");
    if (kv.name.find('%') != std::string::npos) {
      yyjson_mut_val *w = new_warning(doc, "name");
      yy_must(yyjson_mut_obj_add_strncpy(doc, w, "name", kv.name.data(), kv.name.size()));
      yy_must(yyjson_mut_obj_add_str(
          doc, w, "message", "% in name: Windows expands %VAR% in values (REG_EXPAND_SZ), not names"));
      yy_must(yyjson_mut_arr_append(warnings, w));
    }
  }
}

// Backups on disk: env_backups lists them, env_restore brings one back into the user scope.
#include "kestrune_env.h"

#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

bool all_digits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// "%Y%m%d-%H%M%S-%08u.json": the names make_backup gives.
bool is_backup_name(std::string_view name) {
  if (name.size() < 29 || name.substr(name.size() - 5) != ".json")
    return false;
  return all_digits(name.substr(0, 8)) && name[8] == '-' && all_digits(name.substr(9, 6)) &&
         name[15] == '-' && all_digits(name.substr(16, name.size() - 21));
}

std::vector<std::string> backup_names(const std::string &dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (is_backup_name(name))
      names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), std::greater<>());
  return names;
}

void add_member_or_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, yyjson_val *v) {
  if (yyjson_is_str(v))
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, key, yyjson_get_str(v), yyjson_get_len(v)));
  else
    yy_must(yyjson_mut_obj_add_null(doc, obj, key));
}

yyjson_mut_val *describe_backup(yyjson_mut_doc *doc, const std::string &dir, const std::string &name) {
  std::string path = dir + "/" + name, text;
  yy_doc backup;
  if (env_read_file(path.c_str(), text) == 0)
    backup = env_json_read(text);
  yyjson_val *root = backup ? yyjson_doc_get_root(backup.get()) : nullptr;
  yyjson_mut_val *obj = yy_must(yyjson_mut_obj(doc));
  yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "file", name.data(), name.size()));
  yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "path", path.data(), path.size()));
  add_member_or_null(doc, obj, "ts", env_json_member(root, "ts"));
  add_member_or_null(doc, obj, "scope", env_json_member(root, "scope"));
  yyjson_val *vars = env_json_member(root, "vars");
  yy_must(yyjson_mut_obj_add_int(doc, obj, "vars", static_cast<int64_t>(yyjson_arr_size(vars))));
  return obj;
}

char *list_backups() {
  std::string dir;
  if (backup_dir(dir, env_path_max) != 0) {
    env_set_error("cannot resolve backup directory");
    return nullptr;
  }
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_val *root = yy_must(yyjson_mut_arr(doc.get()));
  yyjson_mut_doc_set_root(doc.get(), root);
  for (const std::string &name : backup_names(dir))
    yy_must(yyjson_mut_arr_append(root, describe_backup(doc.get(), dir, name)));
  yy_text text = env_json_write(doc.get(), env_json_text_flags);
  if (!text)
    env_set_error("failed to serialize backups JSON");
  return text.release();
}

// Reads and checks the backup file; the restore list holds its variables in order.
int read_backup(const char *backup_path, env_kv_list &vars) {
  std::string text;
  if (env_read_file(backup_path, text) != 0) {
    env_set_error("cannot read backup: %s", backup_path);
    return -1;
  }
  yy_doc doc = env_json_read(text);
  if (!doc) {
    env_set_error("invalid backup JSON");
    return -1;
  }
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root) || yyjson_obj_size(root) == 0) {
    env_set_error("backup missing vars array");
    return -1;
  }
  yyjson_val *scope = env_json_member(root, "scope");
  if (yyjson_is_str(scope) && env_name_casecmp(yyjson_get_str(scope), "system") == 0) {
    env_set_error("restore is user-scope only");
    return -1;
  }
  yyjson_val *list = env_json_member(root, "vars");
  if (!yyjson_is_arr(list)) {
    env_set_error("backup missing vars array");
    return -1;
  }
  env_json_take_vars(list, "overlay", vars);
  return 0;
}

int restore(const char *backup_path) {
  if (!backup_path || !*backup_path) {
    env_set_error("NULL or empty backup_path");
    return 0;
  }
  env_kv_list vars;
  if (read_backup(backup_path, vars) != 0)
    return 0;
  env_data_lock lock;
  if (make_backup("user") != 0 || store_save("user", vars) != 0)
    return 0;
  if (env_plat_apply_snapshot(vars) != 0 || emit_export("user") != 0)
    return 0;
  env_plat_broadcast();
  return 1;
}

} // namespace

extern "C" KENV_API char *env_backups(void) {
  return env_run_framed<char *>(nullptr, [] { return list_backups(); });
}

extern "C" KENV_API int env_restore(const char *backup_path) {
  return env_run_framed(0, [&] { return restore(backup_path); });
}

// Backups: a new, timestamped JSON file of a scope's store before every change.
#include "core/state.h"

#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "platform/env_plat.h"

#include <cstdint>
#include <cstdio>

// Counts the backups this process took; never stored, never read back from the files.
std::uint32_t g_backup_seq = 0;

namespace {

std::string backup_text(env_scope scope, const env_kv_list &vars, const std::string &ts) {
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(d));
  yy_must(yyjson_mut_obj_add_strcpy(d, root, "ts", ts.c_str()));
  yy_must(yyjson_mut_obj_add_str(d, root, "scope", env_scope_name(scope)));
  yy_must(yyjson_mut_obj_add_str(d, root, "platform", env_plat_name()));
  yy_must(yyjson_mut_obj_add_val(d, root, "vars", env_json_vars_array(d, vars)));
  yyjson_mut_doc_set_root(d, root);
  std::size_t len = 0;
  yy_text text = env_json_write(d, env_json_file_flags, &len);
  return text ? std::string(text.get(), len) : std::string();
}

std::string backup_name(const std::string &stamp) {
  char name[80];
  std::snprintf(name, sizeof name, "%s-%08u.json", stamp.c_str(), static_cast<unsigned>(++g_backup_seq));
  return name;
}

} // namespace

int make_backup(const env_layout &files, env_scope scope, const env_kv_list &vars) {
  const std::string &dir = files.backups;
  if (env_mkdir_p(files.data_dir.c_str(), 0700) != 0 || env_mkdir_p(dir.c_str(), 0700) != 0) {
    env_set_error("cannot create backup directory");
    return -1;
  }
  long long now = env_now();
  std::string ts = env_format_utc(now, "%Y-%m-%dT%H:%M:%SZ");
  std::string stamp = env_format_utc(now, "%Y%m%d-%H%M%S");
  std::string text;
  // Another process may have taken the same second and counter: take the next number.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string path;
    if (env_join_path(path, dir, backup_name(stamp), 4096) != 0) {
      env_set_error("path too long");
      return -1;
    }
    if (text.empty())
      text = backup_text(scope, vars, ts);
    if (text.empty()) {
      env_set_error("failed to serialize backup");
      return -1;
    }
    int rc = env_write_file_new(path.c_str(), text);
    if (rc == 0)
      return 0;
    if (rc < 0) {
      env_set_error("failed to write backup %s", path.c_str());
      return -1;
    }
  }
  env_set_error("failed to write backup %s/%s-*", dir.c_str(), stamp.c_str());
  return -1;
}

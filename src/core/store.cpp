// The store: one JSON file per scope holding the variables set through the library.
#include "core/state.h"

#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"

namespace {

// A file that exists, holds bytes and is not a store document would be lost by the save
// that replaces it, so its bytes are kept beside it first, under a name never reused.
int keep_unreadable(const std::string &path) {
  std::string old;
  if (env_read_file(path.c_str(), old) != 0 || old.empty())
    return 0;
  env_kv_list ignored;
  if (store_parse(old, ignored))
    return 0;
  std::string base = path + ".unreadable-" + env_format_utc(env_now(), "%Y%m%d-%H%M%S");
  std::string name = base;
  for (int n = 2; n < 10000; ++n) {
    int rc = env_write_file_new(name.c_str(), old);
    if (rc == 0)
      return 0;
    if (rc < 0)
      break;
    name = base + "-" + std::to_string(n);
  }
  env_set_error("cannot keep a copy of unreadable store %s", path.c_str());
  return -1;
}

} // namespace

bool store_parse(std::string_view text, env_kv_list &out) {
  out.clear();
  yy_doc doc = env_json_read(text);
  if (!doc)
    return false;
  yyjson_val *vars = env_json_member(yyjson_doc_get_root(doc.get()), "vars");
  if (!yyjson_is_arr(vars))
    return false;
  env_json_take_vars(vars, "overlay", out);
  return true;
}

void store_load(const char *scope, env_kv_list &out) {
  out.clear();
  std::string path, text;
  if (store_path(scope, path) != 0)
    return;
  if (env_read_file(path.c_str(), text) != 0)
    return;
  if (!store_parse(text, out))
    out.clear();
}

int store_save(const char *scope, const env_kv_list &vars) {
  std::string path;
  if (store_path(scope, path) != 0) {
    env_set_error("cannot resolve store path (is HOME set?)");
    return -1;
  }
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(doc.get()));
  yy_must(yyjson_mut_obj_add_val(doc.get(), root, "vars", env_json_vars_array(doc.get(), vars)));
  yyjson_mut_doc_set_root(doc.get(), root);
  std::size_t len = 0;
  yy_text text = env_json_write(doc.get(), env_json_file_flags, &len);
  if (!text) {
    env_set_error("failed to serialize store");
    return -1;
  }
  if (keep_unreadable(path) != 0)
    return -1;
  if (env_write_file(path.c_str(), std::string_view(text.get(), len)) != 0) {
    env_set_error("failed to write store %s", path.c_str());
    return -1;
  }
  return 0;
}

int store_upsert(const char *scope, const char *name, const char *value) {
  env_kv_list vars;
  store_load(scope, vars);
  if (env_kv *kv = env_kv_find(vars, name))
    kv->value = value ? value : "";
  else
    env_kv_push(vars, name, value, "overlay");
  return store_save(scope, vars);
}

// The store: one JSON file per scope holding the variables set through the library.
#include "core/state.h"

#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"

namespace {

// A file that exists, holds bytes and is not a store document would be lost by the save
// that replaces it, so its bytes are kept beside it first, under a name never reused.
int keep_unreadable(const std::string &path, const std::string &old) {
  if (old.empty())
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

// The file's bytes when it holds some that are not a store document, else "".
std::string unreadable_bytes(const std::string &path) {
  std::string old;
  env_kv_list ignored;
  if (env_read_file(path.c_str(), old) != 0 || store_parse(old, ignored))
    old.clear();
  return old;
}

// Saves the variables; `unreadable` is what the file held when it was read in this call,
// or nullptr to read it now.
int save(const char *scope, const env_kv_list &vars, const std::string *unreadable) {
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
  if (keep_unreadable(path, unreadable ? *unreadable : unreadable_bytes(path)) != 0)
    return -1;
  if (env_write_file(path.c_str(), std::string_view(text.get(), len)) != 0) {
    env_set_error("failed to write store %s", path.c_str());
    return -1;
  }
  return 0;
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

void store_read(const char *scope, store_file &out) {
  out.vars.clear();
  out.unreadable.clear();
  std::string path, text;
  if (store_path(scope, path) != 0 || env_read_file(path.c_str(), text) != 0)
    return;
  if (!store_parse(text, out.vars)) {
    out.vars.clear();
    out.unreadable = std::move(text);
  }
}

namespace {

// The store document's "vars" array, or nullptr. The text is not kept, so it is parsed in
// place; `doc` holds the parse for as long as the array is read.
yyjson_val *store_vars(const char *scope, std::string &text, yy_doc &doc) {
  std::string path;
  if (store_path(scope, path) != 0 || env_read_file(path.c_str(), text, YYJSON_PADDING_SIZE) != 0)
    return nullptr;
  doc = env_json_read_in_place(text);
  yyjson_val *vars = doc ? env_json_member(yyjson_doc_get_root(doc.get()), "vars") : nullptr;
  return yyjson_is_arr(vars) ? vars : nullptr;
}

} // namespace

void store_load(const char *scope, env_kv_list &out) {
  out.clear();
  std::string text;
  yy_doc doc;
  if (yyjson_val *vars = store_vars(scope, text, doc))
    env_json_take_vars(vars, "overlay", out);
}

void store_each(const char *scope, const std::function<void(const char *, const char *)> &take) {
  std::string text;
  yy_doc doc;
  if (yyjson_val *vars = store_vars(scope, text, doc))
    env_json_each_var(vars, take);
}

int store_save(const char *scope, const env_kv_list &vars) {
  return save(scope, vars, nullptr);
}

int store_save(const char *scope, const env_kv_list &vars, const store_file &loaded) {
  return save(scope, vars, &loaded.unreadable);
}

void store_put(env_kv_list &vars, const char *name, const char *value) {
  if (env_kv *kv = env_kv_find(vars, name))
    kv->value = value ? value : "";
  else
    env_kv_push(vars, name, value, "overlay");
}

int store_upsert(const char *scope, const char *name, const char *value) {
  store_file file;
  store_read(scope, file);
  store_put(file.vars, name, value);
  return store_save(scope, file.vars, file);
}

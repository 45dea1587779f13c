// yyjson guards shared by the store, backups, the listing and restore.
#include "core/json.h"

#include <cstring>

yy_doc env_json_read(std::string_view text) {
  std::size_t len = strnlen(text.data(), text.size());
  yyjson_read_err err{};
  yyjson_doc *doc = yyjson_read_opts(const_cast<char *>(text.data()), len, YYJSON_READ_ALLOW_INVALID_UNICODE,
                                     nullptr, &err);
  if (!doc && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION)
    throw std::bad_alloc();
  return yy_doc(doc);
}

yy_doc env_json_read_in_place(std::string &text) {
  std::size_t len = strnlen(text.data(), text.size());
  text.resize(len); // what follows a NUL is not read in any case
  text.append(YYJSON_PADDING_SIZE, '\0');
  yyjson_read_err err{};
  yyjson_doc *doc = yyjson_read_opts(text.data(), len, YYJSON_READ_ALLOW_INVALID_UNICODE | YYJSON_READ_INSITU,
                                     nullptr, &err);
  if (!doc && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION)
    throw std::bad_alloc();
  return yy_doc(doc);
}

yy_doc env_json_reader::read(std::string_view text) {
  std::size_t len = strnlen(text.data(), text.size());
  // yyjson never needs more than this for a text of this length, so the pool cannot run dry.
  std::size_t need = yyjson_read_max_memory_usage(len, YYJSON_READ_ALLOW_INVALID_UNICODE);
  if (need == 0)
    return env_json_read(text);
  if (need > size_) {
    pool_ = std::make_unique_for_overwrite<char[]>(need);
    size_ = need;
  }
  if (!yyjson_alc_pool_init(&alc_, pool_.get(), size_))
    return env_json_read(text);
  yyjson_read_err err{};
  yyjson_doc *doc =
      yyjson_read_opts(const_cast<char *>(text.data()), len, YYJSON_READ_ALLOW_INVALID_UNICODE, &alc_, &err);
  if (!doc && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION)
    throw std::bad_alloc();
  return yy_doc(doc);
}

yy_mut_doc env_json_new_doc() {
  return yy_mut_doc(yy_must(yyjson_mut_doc_new(nullptr)));
}

yy_text env_json_write(yyjson_mut_doc *doc, yyjson_write_flag flags, std::size_t *len) {
  yyjson_write_err err{};
  char *text = yyjson_mut_write_opts(doc, flags, nullptr, len, &err);
  if (!text && err.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION)
    throw std::bad_alloc();
  return yy_text(text);
}

yyjson_mut_val *env_json_vars_array(yyjson_mut_doc *doc, const env_kv_list &vars) {
  yyjson_mut_val *arr = yy_must(yyjson_mut_arr(doc));
  for (const env_kv &kv : vars) {
    yyjson_mut_val *obj = yy_must(yyjson_mut_obj(doc));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "name", kv.name.data(), kv.name.size()));
    yy_must(yyjson_mut_obj_add_strncpy(doc, obj, "value", kv.value.data(), kv.value.size()));
    yy_must(yyjson_mut_arr_append(arr, obj));
  }
  return arr;
}

yyjson_val *env_json_member(yyjson_val *obj, const char *key) {
  if (!yyjson_is_obj(obj))
    return nullptr;
  std::size_t keylen = std::strlen(key);
  yyjson_obj_iter it = yyjson_obj_iter_with(obj);
  for (yyjson_val *k; (k = yyjson_obj_iter_next(&it));) {
    if (yyjson_equals_strn(k, key, keylen))
      return yyjson_obj_iter_get_val(k);
  }
  return nullptr;
}

void env_json_each_var(yyjson_val *vars, const std::function<void(const char *, const char *)> &take,
                       const std::function<void(std::size_t, yyjson_val *)> &skip) {
  std::size_t idx, max;
  yyjson_val *elem;
  yyjson_arr_foreach(vars, idx, max, elem) {
    yyjson_val *name = env_json_member(elem, "name");
    yyjson_val *value = env_json_member(elem, "value");
    if (!yyjson_is_str(name) || !yyjson_is_str(value)) {
      if (skip)
        skip(idx, elem);
      continue;
    }
    // Records hold C strings: an escaped NUL inside a string ends it, as everywhere else.
    take(yyjson_get_str(name), yyjson_get_str(value));
  }
}

void env_json_take_vars(yyjson_val *vars, const char *source, env_kv_list &out) {
  out.reserve(out.size() + yyjson_arr_size(vars));
  env_json_each_var(vars,
                    [&](const char *name, const char *value) { env_kv_push(out, name, value, source); });
}

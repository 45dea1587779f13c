/* The stand-in's functions: each fails or answers "nothing", as yyjson would for a document
 * it could not make. See yyjson.h. */
#include "yyjson.h"

static const char standin_msg[] = "yyjson stand-in: link check only";

bool yyjson_alc_pool_init(yyjson_alc *alc, void *buf, size_t size) {
  (void)alc, (void)buf, (void)size;
  return false;
}

yyjson_doc *yyjson_read_opts(char *dat, size_t len, yyjson_read_flag flg, const yyjson_alc *alc,
                             yyjson_read_err *err) {
  (void)dat, (void)len, (void)flg, (void)alc;
  if (err) {
    err->code = 1;
    err->msg = standin_msg;
    err->pos = 0;
  }
  return NULL;
}
yyjson_doc *yyjson_read(const char *dat, size_t len, yyjson_read_flag flg) {
  (void)dat, (void)len, (void)flg;
  return NULL;
}
size_t yyjson_read_max_memory_usage(size_t len, yyjson_read_flag flg) {
  (void)flg;
  return len;
}
void yyjson_doc_free(yyjson_doc *doc) {
  (void)doc;
}
yyjson_val *yyjson_doc_get_root(yyjson_doc *doc) {
  (void)doc;
  return NULL;
}

bool yyjson_is_str(yyjson_val *val) {
  (void)val;
  return false;
}
bool yyjson_is_int(yyjson_val *val) {
  (void)val;
  return false;
}
bool yyjson_is_arr(yyjson_val *val) {
  (void)val;
  return false;
}
bool yyjson_is_obj(yyjson_val *val) {
  (void)val;
  return false;
}
const char *yyjson_get_str(yyjson_val *val) {
  (void)val;
  return NULL;
}
size_t yyjson_get_len(yyjson_val *val) {
  (void)val;
  return 0;
}
int64_t yyjson_get_sint(yyjson_val *val) {
  (void)val;
  return 0;
}
bool yyjson_equals_strn(yyjson_val *val, const char *str, size_t len) {
  (void)val, (void)str, (void)len;
  return false;
}

size_t yyjson_arr_size(yyjson_val *arr) {
  (void)arr;
  return 0;
}
yyjson_val *yyjson_arr_get_first(yyjson_val *arr) {
  (void)arr;
  return NULL;
}
yyjson_val *yyjson_arr_next(yyjson_val *val) {
  (void)val;
  return NULL;
}

size_t yyjson_obj_size(yyjson_val *obj) {
  (void)obj;
  return 0;
}
yyjson_val *yyjson_obj_get(yyjson_val *obj, const char *key) {
  (void)obj, (void)key;
  return NULL;
}
yyjson_obj_iter yyjson_obj_iter_with(yyjson_val *obj) {
  yyjson_obj_iter iter = {0, 0, NULL, obj};
  return iter;
}
yyjson_val *yyjson_obj_iter_next(yyjson_obj_iter *iter) {
  (void)iter;
  return NULL;
}
yyjson_val *yyjson_obj_iter_get_val(yyjson_val *key) {
  (void)key;
  return NULL;
}

yyjson_mut_doc *yyjson_mut_doc_new(const yyjson_alc *alc) {
  (void)alc;
  return NULL;
}
void yyjson_mut_doc_free(yyjson_mut_doc *doc) {
  (void)doc;
}
void yyjson_mut_doc_set_root(yyjson_mut_doc *doc, yyjson_mut_val *root) {
  (void)doc, (void)root;
}
yyjson_mut_val *yyjson_mut_arr(yyjson_mut_doc *doc) {
  (void)doc;
  return NULL;
}
yyjson_mut_val *yyjson_mut_obj(yyjson_mut_doc *doc) {
  (void)doc;
  return NULL;
}
bool yyjson_mut_arr_append(yyjson_mut_val *arr, yyjson_mut_val *val) {
  (void)arr, (void)val;
  return false;
}
bool yyjson_mut_obj_add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val) {
  (void)doc, (void)obj, (void)key, (void)val;
  return false;
}
bool yyjson_mut_obj_add_strcpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val) {
  (void)doc, (void)obj, (void)key, (void)val;
  return false;
}
bool yyjson_mut_obj_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val,
                                size_t len) {
  (void)doc, (void)obj, (void)key, (void)val, (void)len;
  return false;
}
bool yyjson_mut_obj_add_val(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, yyjson_mut_val *val) {
  (void)doc, (void)obj, (void)key, (void)val;
  return false;
}
char *yyjson_mut_write_opts(const yyjson_mut_doc *doc, yyjson_write_flag flg, const yyjson_alc *alc,
                            size_t *len, yyjson_write_err *err) {
  (void)doc, (void)flg, (void)alc;
  if (len)
    *len = 0;
  if (err) {
    err->code = 1;
    err->msg = standin_msg;
  }
  return NULL;
}
bool yyjson_mut_arr_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *arr, const char *val, size_t len) {
  (void)doc, (void)arr, (void)val, (void)len;
  return false;
}
bool yyjson_mut_obj_add_bool(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, bool val) {
  (void)doc, (void)obj, (void)key, (void)val;
  return false;
}
bool yyjson_mut_obj_add_uint(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, uint64_t val) {
  (void)doc, (void)obj, (void)key, (void)val;
  return false;
}
yyjson_mut_val *yyjson_mut_obj_add_arr(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key) {
  (void)doc, (void)obj, (void)key;
  return NULL;
}
yyjson_mut_val *yyjson_mut_arr_add_obj(yyjson_mut_doc *doc, yyjson_mut_val *arr) {
  (void)doc, (void)arr;
  return NULL;
}
char *yyjson_mut_write(const yyjson_mut_doc *doc, yyjson_write_flag flg, size_t *len) {
  return yyjson_mut_write_opts(doc, flg, NULL, len, NULL);
}
bool yyjson_mut_obj_add_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key) {
  (void)doc, (void)obj, (void)key;
  return false;
}

yyjson_mut_val *yyjson_mut_null(yyjson_mut_doc *doc) {
  (void)doc;
  return NULL;
}
yyjson_mut_val *yyjson_mut_bool(yyjson_mut_doc *doc, bool val) {
  (void)doc, (void)val;
  return NULL;
}
yyjson_mut_val *yyjson_mut_uint(yyjson_mut_doc *doc, uint64_t num) {
  (void)doc, (void)num;
  return NULL;
}
yyjson_mut_val *yyjson_mut_str(yyjson_mut_doc *doc, const char *str) {
  (void)doc, (void)str;
  return NULL;
}
yyjson_mut_val *yyjson_mut_strncpy(yyjson_mut_doc *doc, const char *str, size_t len) {
  (void)doc, (void)str, (void)len;
  return NULL;
}
bool yyjson_mut_obj_add(yyjson_mut_val *obj, yyjson_mut_val *key, yyjson_mut_val *val) {
  (void)obj, (void)key, (void)val;
  return false;
}
bool yyjson_is_true(yyjson_val *val) {
  (void)val;
  return false;
}
bool yyjson_is_uint(yyjson_val *val) {
  (void)val;
  return false;
}
uint64_t yyjson_get_uint(yyjson_val *val) {
  (void)val;
  return 0;
}

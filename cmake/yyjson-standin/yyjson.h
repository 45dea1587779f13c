/* A stand-in for yyjson: exactly the declarations kestrune-envvar-editor and kenv use, with
 * the signatures of yyjson 0.12, over a small plain reader and writer of its own (integers
 * only, no allocator pools, no in-place reading). It exists so that CI can cross-compile the
 * Windows DLL, kenv.exe and kenv-gui.exe where no yyjson built for Windows is at hand, and
 * run them under wine; it has neither yyjson's speed nor its checks, and is never a build to
 * ship.
 *
 * It declares itself with KENV_YYJSON_STANDIN instead of a YYJSON_VERSION_HEX, so that the
 * project's version check tells it apart from yyjson and accepts it only when the build asks
 * for it (KENV_ALLOW_YYJSON_STANDIN). */
#ifndef KENV_YYJSON_STANDIN_H
#define KENV_YYJSON_STANDIN_H

#define KENV_YYJSON_STANDIN 1

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define YYJSON_PADDING_SIZE 4

typedef struct yyjson_doc yyjson_doc;
typedef struct yyjson_val yyjson_val;
typedef struct yyjson_mut_doc yyjson_mut_doc;
typedef struct yyjson_mut_val yyjson_mut_val;

typedef struct yyjson_alc {
  void *(*malloc)(void *ctx, size_t size);
  void *(*realloc)(void *ctx, void *ptr, size_t old_size, size_t size);
  void (*free)(void *ctx, void *ptr);
  void *ctx;
} yyjson_alc;

typedef uint32_t yyjson_read_flag;
typedef uint32_t yyjson_read_code;
typedef uint32_t yyjson_write_flag;
typedef uint32_t yyjson_write_code;

static const yyjson_read_flag YYJSON_READ_INSITU = 1 << 0;
static const yyjson_read_flag YYJSON_READ_ALLOW_INVALID_UNICODE = 1 << 6;
static const yyjson_read_code YYJSON_READ_ERROR_MEMORY_ALLOCATION = 2;
static const yyjson_write_flag YYJSON_WRITE_PRETTY = 1 << 0;
static const yyjson_write_flag YYJSON_WRITE_ALLOW_INVALID_UNICODE = 1 << 5;
static const yyjson_write_flag YYJSON_WRITE_PRETTY_TWO_SPACES = 1 << 6;
static const yyjson_write_code YYJSON_WRITE_ERROR_MEMORY_ALLOCATION = 2;

typedef struct yyjson_read_err {
  yyjson_read_code code;
  const char *msg;
  size_t pos;
} yyjson_read_err;

typedef struct yyjson_write_err {
  yyjson_write_code code;
  const char *msg;
} yyjson_write_err;

typedef struct yyjson_obj_iter {
  size_t idx;
  size_t max;
  yyjson_val *cur;
  yyjson_val *obj;
} yyjson_obj_iter;

bool yyjson_alc_pool_init(yyjson_alc *alc, void *buf, size_t size);

yyjson_doc *yyjson_read_opts(char *dat, size_t len, yyjson_read_flag flg, const yyjson_alc *alc,
                             yyjson_read_err *err);
yyjson_doc *yyjson_read(const char *dat, size_t len, yyjson_read_flag flg);
size_t yyjson_read_max_memory_usage(size_t len, yyjson_read_flag flg);
void yyjson_doc_free(yyjson_doc *doc);
yyjson_val *yyjson_doc_get_root(yyjson_doc *doc);

bool yyjson_is_null(yyjson_val *val);
bool yyjson_is_str(yyjson_val *val);
bool yyjson_is_int(yyjson_val *val);
bool yyjson_is_uint(yyjson_val *val);
bool yyjson_is_true(yyjson_val *val);
bool yyjson_is_arr(yyjson_val *val);
bool yyjson_is_obj(yyjson_val *val);
const char *yyjson_get_str(yyjson_val *val);
size_t yyjson_get_len(yyjson_val *val);
int64_t yyjson_get_sint(yyjson_val *val);
uint64_t yyjson_get_uint(yyjson_val *val);
bool yyjson_equals_strn(yyjson_val *val, const char *str, size_t len);

size_t yyjson_arr_size(yyjson_val *arr);
yyjson_val *yyjson_arr_get_first(yyjson_val *arr);
yyjson_val *yyjson_arr_next(yyjson_val *val);
#define yyjson_arr_foreach(arr, idx, max, val)                                                               \
  for ((idx) = 0, (max) = yyjson_arr_size(arr), (val) = yyjson_arr_get_first(arr); (idx) < (max);            \
       (idx)++, (val) = yyjson_arr_next(val))

size_t yyjson_obj_size(yyjson_val *obj);
yyjson_val *yyjson_obj_get(yyjson_val *obj, const char *key);
yyjson_obj_iter yyjson_obj_iter_with(yyjson_val *obj);
yyjson_val *yyjson_obj_iter_next(yyjson_obj_iter *iter);
yyjson_val *yyjson_obj_iter_get_val(yyjson_val *key);

yyjson_mut_doc *yyjson_mut_doc_new(const yyjson_alc *alc);
void yyjson_mut_doc_free(yyjson_mut_doc *doc);
void yyjson_mut_doc_set_root(yyjson_mut_doc *doc, yyjson_mut_val *root);
yyjson_mut_val *yyjson_mut_arr(yyjson_mut_doc *doc);
yyjson_mut_val *yyjson_mut_obj(yyjson_mut_doc *doc);
bool yyjson_mut_arr_append(yyjson_mut_val *arr, yyjson_mut_val *val);
/* What the front ends' documents (kenv export) build with. */
yyjson_mut_val *yyjson_mut_null(yyjson_mut_doc *doc);
yyjson_mut_val *yyjson_mut_bool(yyjson_mut_doc *doc, bool val);
yyjson_mut_val *yyjson_mut_uint(yyjson_mut_doc *doc, uint64_t num);
yyjson_mut_val *yyjson_mut_str(yyjson_mut_doc *doc, const char *str);
yyjson_mut_val *yyjson_mut_strncpy(yyjson_mut_doc *doc, const char *str, size_t len);
bool yyjson_mut_obj_add(yyjson_mut_val *obj, yyjson_mut_val *key, yyjson_mut_val *val);
bool yyjson_mut_obj_add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val);
bool yyjson_mut_obj_add_strcpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val);
bool yyjson_mut_obj_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val,
                                size_t len);
bool yyjson_mut_obj_add_val(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, yyjson_mut_val *val);
char *yyjson_mut_write_opts(const yyjson_mut_doc *doc, yyjson_write_flag flg, const yyjson_alc *alc,
                            size_t *len, yyjson_write_err *err);
/* What kenv's own JSON output (doctor --json) builds with. */
bool yyjson_mut_arr_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *arr, const char *val, size_t len);
bool yyjson_mut_obj_add_bool(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, bool val);
bool yyjson_mut_obj_add_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key);
bool yyjson_mut_obj_add_uint(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, uint64_t val);
yyjson_mut_val *yyjson_mut_obj_add_arr(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key);
yyjson_mut_val *yyjson_mut_arr_add_obj(yyjson_mut_doc *doc, yyjson_mut_val *arr);
char *yyjson_mut_write(const yyjson_mut_doc *doc, yyjson_write_flag flg, size_t *len);
char *yyjson_val_write(const yyjson_val *val, yyjson_write_flag flg, size_t *len);

#ifdef __cplusplus
}
#endif

#endif

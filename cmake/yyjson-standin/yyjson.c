/* The stand-in's functions: a small, plain JSON reader and writer behind exactly the calls
 * the project makes. Values are nodes in a singly linked tree: an array's or object's
 * children follow one another through `next`, and an object's children alternate key and
 * value. Every node and string of a document is recorded in the document, which frees them
 * together. Numbers are integers only (the project writes no other). See yyjson.h. */
#include "yyjson.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum standin_type { T_NULL, T_BOOL, T_INT, T_STR, T_ARR, T_OBJ };

struct yyjson_val {
  int type;
  bool boolean;
  bool negative;
  uint64_t num;
  char *str;
  size_t len;
  size_t count;
  struct yyjson_val *first, *last, *next;
  struct yyjson_val *owned_next; /* the document's list of everything it owns */
};

struct yyjson_mut_val {
  struct yyjson_val v;
};

struct yyjson_doc {
  struct yyjson_val *owned;
  struct yyjson_val *root;
};

struct yyjson_mut_doc {
  struct yyjson_doc d;
};

static const char standin_memory_msg[] = "out of memory";
static const char standin_syntax_msg[] = "invalid JSON";

static struct yyjson_val *new_node(struct yyjson_doc *doc, int type) {
  struct yyjson_val *v = calloc(1, sizeof *v);
  if (!v)
    return NULL;
  v->type = type;
  v->owned_next = doc->owned;
  doc->owned = v;
  return v;
}

static void free_nodes(struct yyjson_doc *doc) {
  struct yyjson_val *v = doc->owned;
  while (v) {
    struct yyjson_val *next = v->owned_next;
    free(v->str);
    free(v);
    v = next;
  }
}

static void append_child(struct yyjson_val *parent, struct yyjson_val *child) {
  if (parent->last)
    parent->last->next = child;
  else
    parent->first = child;
  parent->last = child;
}

static bool set_string(struct yyjson_val *v, const char *s, size_t len) {
  v->str = malloc(len + 1);
  if (!v->str)
    return false;
  memcpy(v->str, s, len);
  v->str[len] = '\0';
  v->len = len;
  return true;
}

/* ---- reading ---- */

struct reader {
  struct yyjson_doc *doc;
  const char *p, *end;
  bool out_of_memory;
  int depth;
  bool allow_invalid; /* as yyjson with YYJSON_READ_ALLOW_INVALID_UNICODE: raw control characters too */
};

static void skip_space(struct reader *r) {
  while (r->p < r->end && (*r->p == ' ' || *r->p == '\t' || *r->p == '\n' || *r->p == '\r'))
    r->p++;
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

static bool read_hex4(struct reader *r, unsigned *out) {
  unsigned u = 0;
  if (r->end - r->p < 4)
    return false;
  for (int i = 0; i < 4; i++) {
    int d = hex_digit(r->p[i]);
    if (d < 0)
      return false;
    u = u * 16 + (unsigned)d;
  }
  r->p += 4;
  *out = u;
  return true;
}

static size_t put_utf8(char *out, unsigned cp) {
  if (cp < 0x80) {
    out[0] = (char)cp;
    return 1;
  }
  if (cp < 0x800) {
    out[0] = (char)(0xC0 | (cp >> 6));
    out[1] = (char)(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = (char)(0xE0 | (cp >> 12));
    out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
    out[2] = (char)(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = (char)(0xF0 | (cp >> 18));
  out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
  out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
  out[3] = (char)(0x80 | (cp & 0x3F));
  return 4;
}

/* One escape after the backslash, written to out; its length, or 0 when it is invalid. */
static size_t read_escape(struct reader *r, char *out) {
  char c = *r->p++;
  const char *plain = strchr("\"\\/bfnrt", c);
  if (c != '\0' && plain)
    return out[0] = "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"], 1;
  unsigned cp = 0, low = 0;
  if (c != 'u' || !read_hex4(r, &cp))
    return 0;
  if (cp >= 0xD800 && cp < 0xDC00 && r->end - r->p >= 6 && r->p[0] == '\\' && r->p[1] == 'u') {
    const char *keep = r->p;
    r->p += 2;
    if (read_hex4(r, &low) && low >= 0xDC00 && low < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    else
      r->p = keep;
  }
  return put_utf8(out, cp);
}

static struct yyjson_val *read_string(struct reader *r) {
  r->p++; /* the opening quote */
  char *buf = malloc((size_t)(r->end - r->p) + 1);
  size_t n = 0;
  if (!buf)
    return r->out_of_memory = true, NULL;
  while (r->p < r->end && *r->p != '"') {
    if ((unsigned char)*r->p < 0x20 && !r->allow_invalid)
      break;
    if (*r->p != '\\') {
      buf[n++] = *r->p++;
      continue;
    }
    r->p++;
    size_t k = r->p < r->end ? read_escape(r, buf + n) : 0;
    if (k == 0)
      break;
    n += k;
  }
  struct yyjson_val *v = NULL;
  if (r->p < r->end && *r->p == '"') {
    r->p++;
    v = new_node(r->doc, T_STR);
    if (v) {
      buf[n] = '\0';
      v->str = buf;
      v->len = n;
      return v;
    }
    r->out_of_memory = true;
  }
  free(buf);
  return NULL;
}

static struct yyjson_val *read_value(struct reader *r);

static bool read_members(struct reader *r, struct yyjson_val *parent, char close, bool keyed) {
  skip_space(r);
  if (r->p < r->end && *r->p == close)
    return r->p++, true;
  for (;;) {
    skip_space(r);
    if (keyed) {
      struct yyjson_val *key = r->p < r->end && *r->p == '"' ? read_string(r) : NULL;
      if (!key)
        return false;
      append_child(parent, key);
      skip_space(r);
      if (r->p >= r->end || *r->p++ != ':')
        return false;
    }
    struct yyjson_val *item = read_value(r);
    if (!item)
      return false;
    append_child(parent, item);
    parent->count++;
    skip_space(r);
    if (r->p >= r->end)
      return false;
    char c = *r->p++;
    if (c == close)
      return true;
    if (c != ',')
      return false;
  }
}

static struct yyjson_val *read_literal(struct reader *r, const char *word, int type, bool value) {
  size_t n = strlen(word);
  if ((size_t)(r->end - r->p) < n || memcmp(r->p, word, n) != 0)
    return NULL;
  r->p += n;
  struct yyjson_val *v = new_node(r->doc, type);
  if (!v)
    r->out_of_memory = true;
  else
    v->boolean = value;
  return v;
}

static struct yyjson_val *read_number(struct reader *r) {
  bool negative = *r->p == '-';
  if (negative)
    r->p++;
  if (r->p >= r->end || *r->p < '0' || *r->p > '9')
    return NULL;
  if (*r->p == '0' && r->p + 1 < r->end && r->p[1] >= '0' && r->p[1] <= '9')
    return NULL; /* no leading zeros */
  uint64_t num = 0;
  while (r->p < r->end && *r->p >= '0' && *r->p <= '9')
    num = num * 10 + (uint64_t)(*r->p++ - '0');
  struct yyjson_val *v = new_node(r->doc, T_INT);
  if (!v)
    return r->out_of_memory = true, NULL;
  v->num = num;
  v->negative = negative;
  return v;
}

static struct yyjson_val *read_value(struct reader *r) {
  skip_space(r);
  if (r->p >= r->end || ++r->depth > 512)
    return NULL;
  struct yyjson_val *v = NULL;
  char c = *r->p;
  if (c == '"')
    v = read_string(r);
  else if (c == '{' || c == '[') {
    r->p++;
    v = new_node(r->doc, c == '{' ? T_OBJ : T_ARR);
    if (!v)
      r->out_of_memory = true;
    else if (!read_members(r, v, c == '{' ? '}' : ']', c == '{'))
      v = NULL;
  } else if (c == 't')
    v = read_literal(r, "true", T_BOOL, true);
  else if (c == 'f')
    v = read_literal(r, "false", T_BOOL, false);
  else if (c == 'n')
    v = read_literal(r, "null", T_NULL, false);
  else
    v = read_number(r);
  r->depth--;
  return v;
}

bool yyjson_alc_pool_init(yyjson_alc *alc, void *buf, size_t size) {
  (void)alc, (void)buf, (void)size;
  return false;
}

yyjson_doc *yyjson_read_opts(char *dat, size_t len, yyjson_read_flag flg, const yyjson_alc *alc,
                             yyjson_read_err *err) {
  (void)alc;
  struct yyjson_doc *doc = calloc(1, sizeof *doc);
  struct reader r = {doc, dat, dat + len, doc == NULL, 0, (flg & YYJSON_READ_ALLOW_INVALID_UNICODE) != 0};
  if (doc && dat) {
    doc->root = read_value(&r);
    skip_space(&r);
    if (doc->root && r.p == r.end)
      return doc;
  }
  if (err) {
    err->code = r.out_of_memory ? YYJSON_READ_ERROR_MEMORY_ALLOCATION : 1;
    err->msg = r.out_of_memory ? standin_memory_msg : standin_syntax_msg;
    err->pos = dat ? (size_t)(r.p - dat) : 0;
  }
  yyjson_doc_free(doc);
  return NULL;
}
yyjson_doc *yyjson_read(const char *dat, size_t len, yyjson_read_flag flg) {
  return yyjson_read_opts((char *)dat, len, flg, NULL, NULL);
}
size_t yyjson_read_max_memory_usage(size_t len, yyjson_read_flag flg) {
  (void)len, (void)flg;
  return 0;
}
void yyjson_doc_free(yyjson_doc *doc) {
  if (!doc)
    return;
  free_nodes(doc);
  free(doc);
}
yyjson_val *yyjson_doc_get_root(yyjson_doc *doc) {
  return doc ? doc->root : NULL;
}

/* ---- looking at values ---- */

bool yyjson_is_null(yyjson_val *val) {
  return val && val->type == T_NULL;
}
bool yyjson_is_str(yyjson_val *val) {
  return val && val->type == T_STR;
}
bool yyjson_is_int(yyjson_val *val) {
  return val && val->type == T_INT;
}
bool yyjson_is_uint(yyjson_val *val) {
  return yyjson_is_int(val) && !val->negative;
}
bool yyjson_is_true(yyjson_val *val) {
  return val && val->type == T_BOOL && val->boolean;
}
bool yyjson_is_arr(yyjson_val *val) {
  return val && val->type == T_ARR;
}
bool yyjson_is_obj(yyjson_val *val) {
  return val && val->type == T_OBJ;
}
const char *yyjson_get_str(yyjson_val *val) {
  return yyjson_is_str(val) ? val->str : NULL;
}
size_t yyjson_get_len(yyjson_val *val) {
  if (!val)
    return 0;
  return val->type == T_STR ? val->len : val->count;
}
int64_t yyjson_get_sint(yyjson_val *val) {
  if (!yyjson_is_int(val))
    return 0;
  return val->negative ? -(int64_t)val->num : (int64_t)val->num;
}
uint64_t yyjson_get_uint(yyjson_val *val) {
  return yyjson_is_int(val) ? val->num : 0;
}
bool yyjson_equals_strn(yyjson_val *val, const char *str, size_t len) {
  return yyjson_is_str(val) && val->len == len && memcmp(val->str, str, len) == 0;
}

size_t yyjson_arr_size(yyjson_val *arr) {
  return yyjson_is_arr(arr) ? arr->count : 0;
}
yyjson_val *yyjson_arr_get_first(yyjson_val *arr) {
  return yyjson_is_arr(arr) ? arr->first : NULL;
}
yyjson_val *yyjson_arr_next(yyjson_val *val) {
  return val ? val->next : NULL;
}

size_t yyjson_obj_size(yyjson_val *obj) {
  return yyjson_is_obj(obj) ? obj->count : 0;
}
yyjson_val *yyjson_obj_get(yyjson_val *obj, const char *key) {
  if (!yyjson_is_obj(obj) || !key)
    return NULL;
  for (yyjson_val *k = obj->first; k && k->next; k = k->next->next)
    if (yyjson_equals_strn(k, key, strlen(key)))
      return k->next;
  return NULL;
}
yyjson_obj_iter yyjson_obj_iter_with(yyjson_val *obj) {
  yyjson_obj_iter iter = {0, yyjson_obj_size(obj), yyjson_is_obj(obj) ? obj->first : NULL, obj};
  return iter;
}
yyjson_val *yyjson_obj_iter_next(yyjson_obj_iter *iter) {
  if (iter->idx >= iter->max || !iter->cur)
    return NULL;
  yyjson_val *key = iter->cur;
  iter->cur = key->next ? key->next->next : NULL;
  iter->idx++;
  return key;
}
yyjson_val *yyjson_obj_iter_get_val(yyjson_val *key) {
  return key ? key->next : NULL;
}

/* ---- building ---- */

yyjson_mut_doc *yyjson_mut_doc_new(const yyjson_alc *alc) {
  (void)alc;
  return calloc(1, sizeof(struct yyjson_mut_doc));
}
void yyjson_mut_doc_free(yyjson_mut_doc *doc) {
  yyjson_doc_free(doc ? &doc->d : NULL);
}
void yyjson_mut_doc_set_root(yyjson_mut_doc *doc, yyjson_mut_val *root) {
  if (doc)
    doc->d.root = root ? &root->v : NULL;
}
static yyjson_mut_val *mut_node(yyjson_mut_doc *doc, int type) {
  return doc ? (yyjson_mut_val *)new_node(&doc->d, type) : NULL;
}
yyjson_mut_val *yyjson_mut_arr(yyjson_mut_doc *doc) {
  return mut_node(doc, T_ARR);
}
yyjson_mut_val *yyjson_mut_obj(yyjson_mut_doc *doc) {
  return mut_node(doc, T_OBJ);
}
bool yyjson_mut_arr_append(yyjson_mut_val *arr, yyjson_mut_val *val) {
  if (!arr || !val || arr->v.type != T_ARR)
    return false;
  append_child(&arr->v, &val->v);
  arr->v.count++;
  return true;
}
static yyjson_mut_val *mut_str(yyjson_mut_doc *doc, const char *s, size_t len) {
  yyjson_mut_val *v = s ? mut_node(doc, T_STR) : NULL;
  return v && set_string(&v->v, s, len) ? v : NULL;
}
yyjson_mut_val *yyjson_mut_null(yyjson_mut_doc *doc) {
  return mut_node(doc, T_NULL);
}
yyjson_mut_val *yyjson_mut_bool(yyjson_mut_doc *doc, bool val) {
  yyjson_mut_val *v = mut_node(doc, T_BOOL);
  if (v)
    v->v.boolean = val;
  return v;
}
yyjson_mut_val *yyjson_mut_uint(yyjson_mut_doc *doc, uint64_t num) {
  yyjson_mut_val *v = mut_node(doc, T_INT);
  if (v)
    v->v.num = num;
  return v;
}
yyjson_mut_val *yyjson_mut_str(yyjson_mut_doc *doc, const char *str) {
  return str ? mut_str(doc, str, strlen(str)) : NULL;
}
yyjson_mut_val *yyjson_mut_strncpy(yyjson_mut_doc *doc, const char *str, size_t len) {
  return mut_str(doc, str, len);
}
bool yyjson_mut_obj_add(yyjson_mut_val *obj, yyjson_mut_val *key, yyjson_mut_val *val) {
  if (!obj || !key || !val || obj->v.type != T_OBJ || key->v.type != T_STR)
    return false;
  append_child(&obj->v, &key->v);
  append_child(&obj->v, &val->v);
  obj->v.count++;
  return true;
}
bool yyjson_mut_obj_add_val(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, yyjson_mut_val *val) {
  return yyjson_mut_obj_add(obj, yyjson_mut_str(doc, key), val);
}
bool yyjson_mut_obj_add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val) {
  return val && yyjson_mut_obj_add_val(doc, obj, key, mut_str(doc, val, strlen(val)));
}
bool yyjson_mut_obj_add_strcpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val) {
  return yyjson_mut_obj_add_str(doc, obj, key, val);
}
bool yyjson_mut_obj_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *val,
                                size_t len) {
  return yyjson_mut_obj_add_val(doc, obj, key, mut_str(doc, val, len));
}
bool yyjson_mut_arr_add_strncpy(yyjson_mut_doc *doc, yyjson_mut_val *arr, const char *val, size_t len) {
  return yyjson_mut_arr_append(arr, mut_str(doc, val, len));
}
bool yyjson_mut_obj_add_bool(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, bool val) {
  yyjson_mut_val *v = mut_node(doc, T_BOOL);
  if (v)
    v->v.boolean = val;
  return yyjson_mut_obj_add_val(doc, obj, key, v);
}
bool yyjson_mut_obj_add_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key) {
  return yyjson_mut_obj_add_val(doc, obj, key, yyjson_mut_null(doc));
}
bool yyjson_mut_obj_add_uint(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, uint64_t val) {
  yyjson_mut_val *v = mut_node(doc, T_INT);
  if (v)
    v->v.num = val;
  return yyjson_mut_obj_add_val(doc, obj, key, v);
}
yyjson_mut_val *yyjson_mut_obj_add_arr(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key) {
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  return yyjson_mut_obj_add_val(doc, obj, key, arr) ? arr : NULL;
}
yyjson_mut_val *yyjson_mut_arr_add_obj(yyjson_mut_doc *doc, yyjson_mut_val *arr) {
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  return yyjson_mut_arr_append(arr, obj) ? obj : NULL;
}

/* ---- writing ---- */

struct writer {
  char *buf;
  size_t len, cap;
  bool failed;
  int indent; /* 0 writes on one line */
};

static void put(struct writer *w, const char *s, size_t n) {
  if (w->failed)
    return;
  if (w->len + n + 1 > w->cap) {
    size_t cap = (w->cap + n + 1) * 2;
    char *grown = realloc(w->buf, cap);
    if (!grown) {
      w->failed = true;
      return;
    }
    w->buf = grown;
    w->cap = cap;
  }
  memcpy(w->buf + w->len, s, n);
  w->len += n;
  w->buf[w->len] = '\0';
}

static void put_text(struct writer *w, const char *s) {
  put(w, s, strlen(s));
}

static void put_string(struct writer *w, const char *s, size_t len) {
  put(w, "\"", 1);
  for (size_t i = 0; i < len; i++) {
    unsigned char c = (unsigned char)s[i];
    const char *named = c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r"
                        : c == '\t' ? "\\t" : c == '\b' ? "\\b" : c == '\f' ? "\\f" : NULL;
    char hex[8];
    if (named)
      put_text(w, named);
    else if (c < 0x20) {
      snprintf(hex, sizeof hex, "\\u%04X", c);
      put_text(w, hex);
    } else
      put(w, s + i, 1);
  }
  put(w, "\"", 1);
}

static void put_indent(struct writer *w, int depth) {
  if (!w->indent)
    return;
  put(w, "\n", 1);
  for (int i = 0; i < depth; i++)
    put(w, "    ", (size_t)w->indent);
}

static void write_value(struct writer *w, const struct yyjson_val *v, int depth) {
  char num[32];
  switch (v->type) {
  case T_NULL:
    put_text(w, "null");
    return;
  case T_BOOL:
    put_text(w, v->boolean ? "true" : "false");
    return;
  case T_INT:
    snprintf(num, sizeof num, "%s%llu", v->negative ? "-" : "", (unsigned long long)v->num);
    put_text(w, num);
    return;
  case T_STR:
    put_string(w, v->str, v->len);
    return;
  default:
    break;
  }
  bool obj = v->type == T_OBJ;
  put(w, obj ? "{" : "[", 1);
  size_t i = 0;
  for (const struct yyjson_val *c = v->first; c; c = c->next, i++) {
    if (i > 0)
      put(w, ",", 1);
    put_indent(w, depth + 1);
    if (obj) {
      put_string(w, c->str, c->len);
      put_text(w, w->indent ? ": " : ":");
      c = c->next;
    }
    write_value(w, c, depth + 1);
  }
  if (v->first)
    put_indent(w, depth);
  put(w, obj ? "}" : "]", 1);
}

static char *write_root(const struct yyjson_val *root, yyjson_write_flag flg, size_t *len, yyjson_write_err *err) {
  int indent = (flg & YYJSON_WRITE_PRETTY_TWO_SPACES) ? 2 : (flg & YYJSON_WRITE_PRETTY) ? 4 : 0;
  struct writer w = {NULL, 0, 0, false, indent};
  if (!root) {
    if (err) {
      err->code = 1;
      err->msg = "no value to write";
    }
    return NULL;
  }
  write_value(&w, root, 0);
  if (w.failed) {
    free(w.buf);
    if (err) {
      err->code = YYJSON_WRITE_ERROR_MEMORY_ALLOCATION;
      err->msg = standin_memory_msg;
    }
    return NULL;
  }
  if (len)
    *len = w.len;
  return w.buf;
}

char *yyjson_mut_write_opts(const yyjson_mut_doc *doc, yyjson_write_flag flg, const yyjson_alc *alc,
                            size_t *len, yyjson_write_err *err) {
  (void)alc;
  return write_root(doc ? doc->d.root : NULL, flg, len, err);
}
char *yyjson_mut_write(const yyjson_mut_doc *doc, yyjson_write_flag flg, size_t *len) {
  return yyjson_mut_write_opts(doc, flg, NULL, len, NULL);
}
char *yyjson_val_write(const yyjson_val *val, yyjson_write_flag flg, size_t *len) {
  return write_root(val, flg, len, NULL);
}


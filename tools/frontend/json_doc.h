// The few yyjson helpers the front end's own documents share (state, profiles, records):
// owned documents, text copied in and out byte for byte, variable arrays.
#pragma once

#include "library.h"
#include "state.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <yyjson.h>

struct MutDocFree {
  void operator()(yyjson_mut_doc *d) const { yyjson_mut_doc_free(d); }
};
using MutDoc = std::unique_ptr<yyjson_mut_doc, MutDocFree>;
struct ReadDocFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
using ReadDoc = std::unique_ptr<yyjson_doc, ReadDocFree>;

inline ReadDoc read_json(const std::string &text) {
  return ReadDoc(yyjson_read(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
}

inline yyjson_mut_val *json_text(yyjson_mut_doc *d, const std::string &s) {
  return yyjson_mut_strncpy(d, s.data(), s.size());
}

inline yyjson_mut_val *json_optional(yyjson_mut_doc *d, const std::optional<std::string> &s) {
  return s ? json_text(d, *s) : yyjson_mut_null(d);
}

inline void json_add(yyjson_mut_doc *d, yyjson_mut_val *obj, const char *key, yyjson_mut_val *v) {
  yyjson_mut_obj_add(obj, yyjson_mut_str(d, key), v);
}

inline yyjson_mut_val *json_vars(yyjson_mut_doc *d, const StoreVars &vars) {
  yyjson_mut_val *arr = yyjson_mut_arr(d);
  for (const StateVar &v : vars) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    json_add(d, o, "name", json_text(d, v.name));
    json_add(d, o, "value", json_text(d, v.value));
    yyjson_mut_arr_append(arr, o);
  }
  return arr;
}

inline yyjson_mut_val *json_texts(yyjson_mut_doc *d, const std::vector<std::string> &list) {
  yyjson_mut_val *arr = yyjson_mut_arr(d);
  for (const std::string &s : list)
    yyjson_mut_arr_append(arr, json_text(d, s));
  return arr;
}

inline std::string json_write(yyjson_mut_doc *d, yyjson_mut_val *root, yyjson_write_flag flags) {
  yyjson_mut_doc_set_root(d, root);
  std::size_t len = 0;
  char *out = yyjson_mut_write(d, flags | YYJSON_WRITE_ALLOW_INVALID_UNICODE, &len);
  if (!out)
    throw LibraryError("cannot write the document");
  std::string s(out, len);
  std::free(out);
  return s;
}

inline std::string json_str(yyjson_val *v) {
  return yyjson_is_str(v) ? std::string(yyjson_get_str(v), yyjson_get_len(v)) : std::string();
}

// The text elements of an array member, in order.
inline std::vector<std::string> json_str_list(yyjson_val *arr) {
  std::vector<std::string> out;
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(arr, i, n, v) if (yyjson_is_str(v)) out.push_back(json_str(v));
  return out;
}

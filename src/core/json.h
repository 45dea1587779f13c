// Small guards around yyjson: documents and written texts are released by their owners,
// and a builder that runs out of memory throws std::bad_alloc instead of leaving a member
// silently out of a document.
#pragma once

#include "core/names.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <yyjson.h>

struct yy_doc_free {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
struct yy_mut_doc_free {
  void operator()(yyjson_mut_doc *d) const { yyjson_mut_doc_free(d); }
};
struct yy_text_free {
  void operator()(char *p) const { std::free(p); }
};
using yy_doc = std::unique_ptr<yyjson_doc, yy_doc_free>;
using yy_mut_doc = std::unique_ptr<yyjson_mut_doc, yy_mut_doc_free>;
using yy_text = std::unique_ptr<char, yy_text_free>;

// Writer flags: files are pretty, returned texts compact; both pass invalid UTF-8 through.
constexpr yyjson_write_flag env_json_file_flags = YYJSON_WRITE_PRETTY | YYJSON_WRITE_ALLOW_INVALID_UNICODE;
constexpr yyjson_write_flag env_json_text_flags = YYJSON_WRITE_ALLOW_INVALID_UNICODE;

template <class T> T *yy_must(T *p) {
  if (!p)
    throw std::bad_alloc();
  return p;
}
inline void yy_must(bool ok) {
  if (!ok)
    throw std::bad_alloc();
}

// Parses strict JSON up to the first NUL, with invalid UTF-8 accepted in strings (the
// library writes such bytes through, so it must read them back). Returns nullptr when the
// text is not JSON; throws std::bad_alloc when the parser ran out of memory.
yy_doc env_json_read(std::string_view text);

// Reads many documents one after the other, each into the memory the one before it was
// given: the same parse as env_json_read, without asking the system for memory per document.
// A document must be released before the next is read.
class env_json_reader {
public:
  yy_doc read(std::string_view text);

private:
  std::unique_ptr<char[]> pool_;
  std::size_t size_ = 0;
  yyjson_alc alc_{};
};

// env_json_read on a text the caller owns and no longer needs as it was: the document's
// strings are decoded in the text's own bytes instead of a copy of them. The document must
// be released before the text.
yy_doc env_json_read_in_place(std::string &text);

// A new empty mutable document; throws std::bad_alloc.
yy_mut_doc env_json_new_doc();

// Serialises; nullptr when the writer failed for another reason than memory.
yy_text env_json_write(yyjson_mut_doc *doc, yyjson_write_flag flags, std::size_t *len = nullptr);

// Appends {"name": ..., "value": ...} objects for every record, in list order.
yyjson_mut_val *env_json_vars_array(yyjson_mut_doc *doc, const env_kv_list &vars);

// Reads the "vars" array of a store or backup document: elements that are objects whose
// first "name" and first "value" members are strings, in order, with the given source.
void env_json_take_vars(yyjson_val *vars, const char *source, env_kv_list &out);
// The same elements handed to `take` one by one, as C strings, instead of listed; the other
// elements, with their place in the array (from 0), to `skip` when it is given.
void env_json_each_var(yyjson_val *vars, const std::function<void(const char *, const char *)> &take,
                       const std::function<void(std::size_t, yyjson_val *)> &skip = nullptr);

// The first member with exactly this key, or nullptr.
yyjson_val *env_json_member(yyjson_val *obj, const char *key);

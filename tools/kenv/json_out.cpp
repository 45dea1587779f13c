#include "json_out.h"

#include "library.h"

#include <cstdlib>
#include <memory>
#include <yyjson.h>

namespace {

struct MutDocFree {
  void operator()(yyjson_mut_doc *doc) const { yyjson_mut_doc_free(doc); }
};

// The length of the UTF-8 sequence that starts at text[i], or 0 when none does.
std::size_t utf8_sequence(const std::string &text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > text.size())
    return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80)
      return 0;
  unsigned long code = n == 1 ? c : c & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k)
    code = (code << 6) | (byte(i + k) & 0x3F);
  static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
  bool overlong = code < least[n], surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : n;
}

std::string valid_utf8(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = utf8_sequence(text, i);
    out += n ? text.substr(i, n) : "\xEF\xBF\xBD";
    i += n ? n : 1;
  }
  return out;
}

using MutDoc = std::unique_ptr<yyjson_mut_doc, MutDocFree>;

MutDoc new_doc() {
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  if (!doc)
    throw LibraryError("out of memory");
  return doc;
}

void add_text(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const std::string &text) {
  std::string valid = valid_utf8(text);
  yyjson_mut_obj_add_strncpy(doc, obj, key, valid.data(), valid.size());
}

// The document as compact JSON on one line.
std::string written(yyjson_mut_doc *doc) {
  std::size_t len = 0;
  char *text = yyjson_mut_write(doc, 0, &len);
  if (!text)
    throw LibraryError("out of memory");
  std::string out(text, len);
  std::free(text);
  return out + "\n";
}

yyjson_mut_val *text_array(yyjson_mut_doc *doc, const std::vector<std::string> &texts) {
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  for (const std::string &t : texts) {
    std::string valid = valid_utf8(t);
    yyjson_mut_arr_add_strncpy(doc, arr, valid.data(), valid.size());
  }
  return arr;
}

} // namespace

std::string doctor_json(const std::vector<Check> &checks, std::size_t found) {
  MutDoc owner = new_doc();
  yyjson_mut_doc *doc = owner.get();
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  yyjson_mut_obj_add_bool(doc, root, "ok", found == 0);
  yyjson_mut_obj_add_uint(doc, root, "found", found);
  yyjson_mut_val *list = yyjson_mut_obj_add_arr(doc, root, "checks");
  for (const Check &c : checks) {
    yyjson_mut_val *item = yyjson_mut_arr_add_obj(doc, list);
    add_text(doc, item, "title", c.title);
    yyjson_mut_obj_add_bool(doc, item, "ok", c.findings.empty());
    yyjson_mut_obj_add_val(doc, item, "findings", text_array(doc, c.findings));
    yyjson_mut_obj_add_val(doc, item, "notes", text_array(doc, c.notes));
  }
  return written(doc);
}

std::string session_json(const std::vector<SessionVariable> &session) {
  MutDoc owner = new_doc();
  yyjson_mut_doc *doc = owner.get();
  yyjson_mut_val *root = yyjson_mut_arr(doc);
  yyjson_mut_doc_set_root(doc, root);
  for (const SessionVariable &v : session) {
    yyjson_mut_val *item = yyjson_mut_arr_add_obj(doc, root);
    add_text(doc, item, "name", v.name);
    add_text(doc, item, "value", v.value);
    add_text(doc, item, "file", v.file);
    if (v.shell)
      add_text(doc, item, "shell", *v.shell);
    else
      yyjson_mut_obj_add_null(doc, item, "shell");
    yyjson_mut_obj_add_bool(doc, item, "differs", v.differs);
  }
  return written(doc);
}

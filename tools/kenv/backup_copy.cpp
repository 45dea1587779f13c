#include "backup_copy.h"

#include "library.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <yyjson.h>

namespace {

struct ReadFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
struct DocFree {
  void operator()(yyjson_mut_doc *d) const { yyjson_mut_doc_free(d); }
};
struct TextFree {
  void operator()(char *p) const { std::free(p); }
};

void must(bool ok) {
  if (!ok)
    throw LibraryError("out of memory");
}

std::string_view text_of(yyjson_val *v) {
  return yyjson_is_str(v) ? std::string_view(yyjson_get_str(v), yyjson_get_len(v)) : std::string_view();
}

void add_text(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, yyjson_val *v) {
  if (yyjson_is_str(v))
    must(yyjson_mut_obj_add_strncpy(doc, obj, key, yyjson_get_str(v), yyjson_get_len(v)));
}

} // namespace

// The copy holds what a restore reads: "ts", "scope" and the variables, each with the
// "name" and "value" it had.
std::string backup_without(const std::string &text, const std::vector<std::string> &names) {
  std::unique_ptr<yyjson_doc, ReadFree> read(
      yyjson_read(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
  yyjson_val *root = read ? yyjson_doc_get_root(read.get()) : nullptr;
  if (!yyjson_is_obj(root))
    throw LibraryError("invalid backup JSON");
  std::unique_ptr<yyjson_mut_doc, DocFree> doc(yyjson_mut_doc_new(nullptr));
  must(doc != nullptr);
  yyjson_mut_val *copy = yyjson_mut_obj(doc.get());
  yyjson_mut_val *vars = yyjson_mut_arr(doc.get());
  must(copy && vars);
  add_text(doc.get(), copy, "ts", yyjson_obj_get(root, "ts"));
  add_text(doc.get(), copy, "scope", yyjson_obj_get(root, "scope"));
  std::size_t idx, max;
  yyjson_val *var;
  yyjson_arr_foreach(yyjson_obj_get(root, "vars"), idx, max, var) {
    std::string name(text_of(yyjson_obj_get(var, "name")));
    if (std::find(names.begin(), names.end(), name) != names.end())
      continue;
    yyjson_mut_val *kept = yyjson_mut_obj(doc.get());
    must(kept != nullptr);
    add_text(doc.get(), kept, "name", yyjson_obj_get(var, "name"));
    add_text(doc.get(), kept, "value", yyjson_obj_get(var, "value"));
    must(yyjson_mut_arr_append(vars, kept));
  }
  must(yyjson_mut_obj_add_val(doc.get(), copy, "vars", vars));
  yyjson_mut_doc_set_root(doc.get(), copy);
  std::size_t len = 0;
  std::unique_ptr<char, TextFree> out(yyjson_mut_write_opts(
      doc.get(), YYJSON_WRITE_PRETTY | YYJSON_WRITE_ALLOW_INVALID_UNICODE, nullptr, &len, nullptr));
  must(out != nullptr);
  return std::string(out.get(), len);
}

TempFile::TempFile(const std::string &text) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kenv-restore-XXXXXX").string();
  int fd = mkstemp(pattern.data());
  if (fd < 0)
    throw LibraryError("cannot create a temporary copy of the backup in " + pattern);
  path_ = pattern;
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written)
    throw LibraryError("cannot write a temporary copy of the backup to " + path_);
}

TempFile::~TempFile() {
  if (!path_.empty())
    ::unlink(path_.c_str());
}

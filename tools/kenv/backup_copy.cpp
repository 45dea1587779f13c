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

struct DocFree {
  void operator()(yyjson_mut_doc *d) const { yyjson_mut_doc_free(d); }
};
struct TextFree {
  void operator()(char *p) const { std::free(p); }
};

bool named_one_of(yyjson_mut_val *var, const std::vector<std::string> &names) {
  yyjson_mut_val *name = yyjson_mut_obj_get(var, "name");
  if (!yyjson_mut_is_str(name))
    return false;
  std::string n(yyjson_mut_get_str(name), yyjson_mut_get_len(name));
  return std::find(names.begin(), names.end(), n) != names.end();
}

} // namespace

std::string backup_without(const std::string &text, const std::vector<std::string> &names) {
  yyjson_doc *read = yyjson_read(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE);
  std::unique_ptr<yyjson_mut_doc, DocFree> doc(read ? yyjson_doc_mut_copy(read, nullptr) : nullptr);
  yyjson_doc_free(read);
  yyjson_mut_val *root = doc ? yyjson_mut_doc_get_root(doc.get()) : nullptr;
  if (!yyjson_mut_is_obj(root))
    throw LibraryError("invalid backup JSON");
  yyjson_mut_val *vars = yyjson_mut_obj_get(root, "vars");
  for (std::size_t i = yyjson_mut_arr_size(vars); i-- > 0;)
    if (named_one_of(yyjson_mut_arr_get(vars, i), names))
      yyjson_mut_arr_remove(vars, i);
  std::size_t len = 0;
  std::unique_ptr<char, TextFree> out(
      yyjson_mut_write(doc.get(), YYJSON_WRITE_PRETTY | YYJSON_WRITE_ALLOW_INVALID_UNICODE, &len));
  if (!out)
    throw LibraryError("out of memory");
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

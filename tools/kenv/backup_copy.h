// A copy of a backup document without some of its variables, for `kenv restore
// --drop-invalid`, written to a temporary file that goes when the copy does.
#pragma once

#include <string>
#include <vector>

// The document with every element of "vars" whose "name" is one of `names` left out; every
// other member stays as it was. Throws LibraryError when the text is not a JSON object.
std::string backup_without(const std::string &text, const std::vector<std::string> &names);

// A private temporary file holding a text, removed when the object goes.
class TempFile {
public:
  explicit TempFile(const std::string &text);
  ~TempFile();
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

// Files the front ends keep for themselves beside the library's: profiles, their records
// and the switched-off PATH entries, each private to its owner (folders 0700, files 0600)
// and replaced atomically; and the short-lived document a change hands to the library.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The document a change hands to env_restore: it holds every value of the scope, secrets
// too, so it is written only where the scope's own files are, as
// "<folder>/restore.json.tmp-<pid>-<n>" (0600), and removed when the guard goes, on every way
// out of the scope that made it. The library's next change of the scope removes what a
// killed front end left there. Where this process may not write that folder (a user asking
// for a system change the library will refuse anyway), a new folder of the temporary
// directory that only this user may open takes it instead.
class RestoreDocument {
public:
  RestoreDocument(const std::string &scope_dir, int dir_mode, const std::string &text);
  ~RestoreDocument();
  RestoreDocument(const RestoreDocument &) = delete;
  RestoreDocument &operator=(const RestoreDocument &) = delete;
  const std::string &path() const { return path_; }

private:
  std::string folder_; // a folder of the temporary directory removed with the file, or ""
  std::string path_;
};

// The scope's data directory: the user's beside its export file's folder, the system's the
// build-time state directory.
std::string scope_data_dir(const std::string &scope);
// The same from the export file a listing names, without listing the scope again.
std::string scope_data_dir(const std::string &scope, const std::optional<std::string> &export_file);

// Writes the file through a temporary file beside it, "<file>.tmp-<pid>-<n>", and a rename,
// creating its folder (0700) when missing; the file is 0600. The temporary file is removed on
// every failure, and the message gives the first error. LibraryError on failure.
void write_private_file(const std::string &path, const std::string &text);
// The document `kenv export -o` writes: a new name or a regular file is replaced as
// write_private_file does; anything else (a device, a FIFO, /dev/stdout) is written through
// and stays what it is, as `sort -o` does, so that root exporting to /dev/null never turns
// the device into a file.
void write_output_file(const std::string &path, const std::string &text);
// A document named on the command line: LibraryError when there is none, DocumentError when
// it is not a regular file (a FIFO would block forever; the message suggests "-").
std::string read_document_file(const std::string &path);
// The file's bytes, or nullopt when there is no such file. LibraryError when it cannot be read.
std::optional<std::string> read_text_file(const std::string &path);
void remove_file(const std::string &path);
// The names of the folder's regular files ending in `suffix`, without it, sorted.
std::vector<std::string> files_ending(const std::string &dir, const std::string &suffix);

#include "backup_files.h"

#include "library.h"
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <yyjson.h>

namespace {

struct DocFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
using Doc = std::unique_ptr<yyjson_doc, DocFree>;

struct DirClose {
  void operator()(DIR *d) const { closedir(d); }
};

struct FdClose {
  int fd;
  ~FdClose() {
    if (fd >= 0)
      ::close(fd);
  }
};

std::optional<std::string> text_member(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  if (!yyjson_is_str(v))
    return std::nullopt;
  return std::string(yyjson_get_str(v), yyjson_get_len(v));
}

// A backup's name as (time stamp, counter): name order is time order. False for any other
// name, as the library sees it.
bool name_order(const char *name, unsigned long long &stamp, unsigned long long &counter) {
  std::size_t len = std::strlen(name);
  if (len < 29 || len > 40 || std::strcmp(name + len - 5, ".json") != 0 || name[8] != '-' || name[15] != '-')
    return false;
  stamp = counter = 0;
  for (std::size_t i = 0; i + 5 < len; ++i) {
    if (i == 8 || i == 15)
      continue;
    if (name[i] < '0' || name[i] > '9')
      return false;
    unsigned long long &n = i < 15 ? stamp : counter;
    n = n * 10 + static_cast<unsigned long long>(name[i] - '0');
  }
  return true;
}

// The backups folder: beside the user scope's export file, as the library lays out its data
// directory (the listing names the export file even before it exists).
std::optional<std::string> user_backup_dir() {
  std::string json = lib_list("user");
  Doc doc(yyjson_read(json.data(), json.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
  std::optional<std::string> exported = text_member(yyjson_doc_get_root(doc.get()), "export_file");
  if (!exported)
    return std::nullopt;
  std::size_t file = exported->rfind('/');
  std::size_t folder =
      file == std::string::npos || file == 0 ? std::string::npos : exported->rfind('/', file - 1);
  if (folder == std::string::npos)
    return std::nullopt;
  return exported->substr(0, folder) + "/backups";
}

struct Candidate {
  unsigned long long stamp = 0;
  unsigned long long counter = 0;
  std::string name;
  bool operator<(const Candidate &o) const {
    return std::tie(stamp, counter, name) < std::tie(o.stamp, o.counter, o.name);
  }
};

// The `want` newest backups older than `below` (all when it is none), newest first: one
// pass over the folder that keeps no more names than that.
std::vector<Candidate> newest_names(const std::string &dir, std::size_t want, const Candidate *below) {
  std::vector<Candidate> kept; // a heap whose front is the oldest kept
  std::unique_ptr<DIR, DirClose> d(opendir(dir.c_str()));
  if (!d)
    return kept;
  auto newer_first = [](const Candidate &a, const Candidate &b) { return b < a; };
  while (const dirent *e = readdir(d.get())) {
    Candidate c;
    // Only a name decides: reading refuses what is not a regular file.
    if (!name_order(e->d_name, c.stamp, c.counter))
      continue;
    c.name = e->d_name;
    if ((below && !(c < *below)) || (kept.size() == want && !(kept.front() < c)))
      continue;
    if (kept.size() == want) {
      std::pop_heap(kept.begin(), kept.end(), newer_first);
      kept.pop_back();
    }
    kept.push_back(std::move(c));
    std::push_heap(kept.begin(), kept.end(), newer_first);
  }
  std::sort_heap(kept.begin(), kept.end(), newer_first);
  return kept;
}

// The scope a backup file names, or nullopt when it is not a regular file (no backup at all).
std::optional<std::optional<std::string>> scope_of_file(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  try {
    return read_backup_file(path).scope;
  } catch (const LibraryError &) {
    return std::optional<std::string>(); // unreadable: restoring it reports why
  }
}

} // namespace

std::string read_backup_text(const std::string &path) {
  FdClose f{open_without_waiting(path)};
  struct stat st {};
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0)
    throw LibraryError("cannot read backup: " + path);
  if (!S_ISREG(st.st_mode))
    throw LibraryError("cannot read backup: " + path + " (not a regular file)");
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::read(f.fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      throw LibraryError("cannot read backup: " + path);
    if (n == 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  return text;
}

BackupFile read_backup_file(const std::string &path) {
  std::string text = read_backup_text(path);
  Doc doc(yyjson_read(text.data(), text.size(), YYJSON_READ_ALLOW_INVALID_UNICODE));
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root))
    throw LibraryError("invalid backup JSON");
  BackupFile b{path, text_member(root, "ts"), text_member(root, "scope"), {}};
  std::size_t idx, max;
  yyjson_val *var;
  yyjson_arr_foreach(yyjson_obj_get(root, "vars"), idx, max, var) {
    std::optional<std::string> name = text_member(var, "name"), value = text_member(var, "value");
    if (name && value)
      b.vars.emplace_back(std::move(*name), std::move(*value));
  }
  return b;
}

bool is_system_scope(const std::optional<std::string> &scope) {
  if (!scope || scope->size() != 6)
    return false;
  std::string s = *scope;
  std::transform(s.begin(), s.end(), s.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return s == "system";
}

std::optional<std::string> newest_user_backup() {
  std::optional<std::string> dir = user_backup_dir();
  return dir ? newest_backup_in(*dir, false) : std::nullopt;
}

std::optional<std::string> newest_backup_in(const std::string &dir, bool system) {
  // Nearly always the newest backup is the one; a run of system backups sends the search on.
  std::optional<Candidate> below;
  for (std::size_t want = 16;; want *= 4) {
    std::vector<Candidate> names = newest_names(dir, want, below ? &*below : nullptr);
    for (const Candidate &c : names) {
      std::string path = dir + "/" + c.name;
      std::optional<std::optional<std::string>> scope = scope_of_file(path);
      if (scope && is_system_scope(*scope) == system)
        return path;
    }
    if (names.size() < want)
      return std::nullopt;
    below = names.back();
  }
}

std::optional<std::time_t> backup_name_time(const std::string &file) {
  unsigned long long stamp = 0, counter = 0;
  if (!name_order(file.c_str(), stamp, counter))
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = static_cast<int>(stamp / 10000000000ULL) - 1900;
  tm.tm_mon = static_cast<int>(stamp / 100000000ULL % 100) - 1;
  tm.tm_mday = static_cast<int>(stamp / 1000000ULL % 100);
  tm.tm_hour = static_cast<int>(stamp / 10000 % 100);
  tm.tm_min = static_cast<int>(stamp / 100 % 100);
  tm.tm_sec = static_cast<int>(stamp % 100);
  return utc_seconds(tm);
}

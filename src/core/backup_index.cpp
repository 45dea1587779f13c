// Backup names and the index of what the listing shows of each backup (see backups.h).
#include "core/backups.h"

#include "core/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view index_header = "pellomar backup index 1\n";

// The digits as a number; false when there are none, something else, or too many.
bool digits_value(std::string_view s, std::uint64_t &out) {
  if (s.empty() || s.size() > 19)
    return false;
  out = 0;
  for (char c : s) {
    if (c < '0' || c > '9')
      return false;
    out = out * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Closes a descriptor on every way out.
struct fd_closer {
  int fd;
  ~fd_closer() {
    if (fd >= 0)
      env_file_sys.close(fd);
  }
};

} // namespace

bool backup_name_parse(std::string_view name, std::uint64_t &stamp, std::uint64_t &counter) {
  constexpr std::string_view suffix = ".json";
  std::size_t n = name.size();
  if (n < 29 || name[n - 5] != '.' || name[n - 4] != 'j' || name[n - 3] != 's' || name[n - 2] != 'o' ||
      name[n - 1] != 'n' || name[8] != '-' || name[15] != '-')
    return false;
  std::uint64_t date = 0, time = 0;
  if (!digits_value(name.substr(0, 8), date) || !digits_value(name.substr(9, 6), time) ||
      !digits_value(name.substr(16, name.size() - 16 - suffix.size()), counter))
    return false;
  stamp = date * 1000000 + time;
  return true;
}

std::string backup_index_path(const std::string &backups_dir) {
  return env_dir_of(backups_dir) + "/.backup-index";
}

void backup_index_field(std::string &out, const char *text, std::size_t len) {
  if (!text) {
    out.push_back('-');
    return;
  }
  out.push_back('=');
  for (std::size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out.append(hex);
  }
}

bool backup_index_text(std::string_view field, std::string &out) {
  out.clear();
  if (field.empty() || field[0] != '=')
    return false;
  for (std::size_t i = 1; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out.push_back(field[i]);
      continue;
    }
    int high = i + 3 < field.size() && field[i + 1] == 'x' ? hex_value(field[i + 2]) : -1;
    int low = high < 0 ? -1 : hex_value(field[i + 3]);
    if (low < 0)
      return false;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  return true;
}

std::string backup_index_line(std::string_view file, std::uint64_t serial, std::int64_t vars,
                              std::string_view ts, std::string_view scope) {
  std::string line(file);
  line.append("\t").append(std::to_string(serial)).append("\t").append(std::to_string(vars)).append("\t");
  backup_index_field(line, ts.data(), ts.size());
  line.push_back('\t');
  backup_index_field(line, scope.data(), scope.size());
  line.push_back('\n');
  return line;
}

void backup_index_append(const std::string &backups_dir, const std::string &line) {
  std::string path = backup_index_path(backups_dir);
  fd_closer f{env_file_sys.open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600)};
  struct stat st {};
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
    return;
  // One write, so that a line is never split by another writer's.
  std::string text = st.st_size == 0 ? std::string(index_header) + line : line;
  (void)env_file_sys.write(f.fd, text.data(), text.size());
}

std::string backup_index_last(const std::string &backups_dir) {
  std::string path = backup_index_path(backups_dir);
  fd_closer f{env_file_sys.open(path.c_str(), O_RDONLY, 0)};
  struct stat st {};
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
    return std::string();
  // A line is far shorter than this unless a hand-made backup has long members.
  char tail[1024];
  off_t from =
      st.st_size > static_cast<off_t>(sizeof tail) ? st.st_size - static_cast<off_t>(sizeof tail) : 0;
  if (::lseek(f.fd, from, SEEK_SET) != from)
    return std::string();
  long n = static_cast<long>(::read(f.fd, tail, sizeof tail));
  if (n <= 0)
    return std::string();
  std::string_view text(tail, static_cast<std::size_t>(n));
  std::size_t end = text.rfind('\n');
  if (end == std::string_view::npos)
    return std::string();
  std::size_t begin = text.rfind('\n', end == 0 ? 0 : end - 1);
  if (begin == std::string_view::npos || begin >= end)
    return std::string();
  std::string_view line = text.substr(begin + 1, end - begin - 1);
  return std::string(line.substr(0, line.find('\t')));
}

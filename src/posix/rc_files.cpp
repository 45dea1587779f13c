// The user's shell start-up files: which ones exist, and the PATH entries they add. This is
// a static scan: nothing is run, and the files are only ever read. A line counts wherever it
// stands, but for one guarded by a `-d` test of the very entry it adds (rc_guards.h), which
// adds it only when the directory exists.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"
#include "posix/posix.h"
#include "posix/rc_guards.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

namespace {

constexpr std::string_view blanks = " \t";

// A start-up file: its path with HOME as written in HOME, and its label with HOME as `~`.
struct rc_file {
  std::string path;
  std::string label;
};

std::string_view without_trailing_slashes(std::string_view s) {
  while (!s.empty() && s.back() == '/')
    s.remove_suffix(1);
  return s;
}

std::string join(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || path.back() != '/')
    path.push_back('/');
  return path.append(name);
}

// The directory as the label shows it: `~` for HOME and what lies below it.
std::string shown_dir(std::string_view dir, std::string_view home) {
  std::string_view d = without_trailing_slashes(dir);
  std::string_view h = without_trailing_slashes(home);
  if (d == h)
    return "~";
  if (d.size() <= h.size() || d.substr(0, h.size()) != h || d[h.size()] != '/')
    return std::string(d);
  std::string shown(1, '~');
  shown.append(d.substr(h.size()));
  return shown;
}

// The files in the order shells read them; zsh reads its own from ZDOTDIR when set.
std::vector<rc_file> candidates(const char *home) {
  static constexpr const char *shell_files[] = {".profile", ".bash_profile", ".bash_login", ".bashrc"};
  static constexpr const char *zsh_files[] = {".zshenv", ".zprofile", ".zshrc"};
  const char *zdotdir = getenv("ZDOTDIR");
  std::string_view zdir = zdotdir && zdotdir[0] ? zdotdir : home;
  std::vector<rc_file> files;
  for (const char *name : shell_files)
    files.push_back({join(home, name), "rc:~/" + std::string(name)});
  std::string zshown = shown_dir(zdir, home);
  for (const char *name : zsh_files)
    files.push_back({join(zdir, name), "rc:" + join(zshown, name)});
  return files;
}

bool read_regular(const std::string &path, std::string &text) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && env_read_file(path.c_str(), text) == 0;
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string_view skip_blanks(std::string_view s) {
  std::size_t start = s.find_first_not_of(blanks);
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

// Where the quote that opens the text closes; inside double quotes a backslash escapes.
std::size_t closing_quote(std::string_view text) {
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == text[0])
      return i;
    if (text[0] == '"' && text[i] == '\\')
      ++i;
  }
  return text.npos;
}

// The value a `PATH=...` or `export PATH=...` line assigns, without its quotes; false for
// any other line and for a quote that does not close on the line.
bool path_assignment(std::string_view line, std::string_view &value) {
  line = skip_blanks(line);
  if (starts_with(line, "export") && line.size() > 6 && blanks.find(line[6]) != line.npos)
    line = skip_blanks(line.substr(6));
  if (!starts_with(line, "PATH="))
    return false;
  line.remove_prefix(5);
  if (!line.empty() && (line[0] == '"' || line[0] == '\'')) {
    std::size_t close = closing_quote(line);
    if (close == line.npos)
      return false;
    value = line.substr(1, close - 1);
    return true;
  }
  // Unquoted, the word ends at a blank or where the shell starts another command.
  value = line.substr(0, line.find_first_of(" \t;&|<>()"));
  return true;
}

bool name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The length of a leading HOME reference (`~`, `$HOME`, `${HOME}`), or 0.
std::size_t home_reference(std::string_view piece) {
  if (piece[0] == '~')
    return 1;
  if (starts_with(piece, "${HOME}"))
    return 7;
  if (starts_with(piece, "$HOME") && (piece.size() == 5 || !name_char(piece[5])))
    return 5;
  return 0;
}

// The directory a piece of a PATH value names, when a static reading can tell.
bool literal_entry(std::string_view piece, std::string_view home, std::string &out) {
  if (piece.empty() || piece == "$PATH" || piece == "${PATH}")
    return false;
  std::size_t ref = home_reference(piece);
  if (ref == 1 && piece.size() > 1 && piece[1] != '/')
    return false; // `~name` is another user's home
  std::string_view rest = piece.substr(ref);
  if (rest.find_first_of("$`\"'\\") != rest.npos)
    return false; // still needs the shell
  out.clear();
  if (ref) {
    std::string_view h = without_trailing_slashes(home);
    out = rest.empty() && h.empty() ? "/" : std::string(h);
  }
  out.append(rest);
  return true;
}

// Whether a `-d` test that guards the line names the entry itself: the line adds the entry
// only when it is a directory, so a missing one is no fault of the file.
bool guarded_by_itself(const std::string &entry, const rc_dir_guards &guards, std::string_view home) {
  std::string dir;
  for (std::string_view word : guards.dirs())
    if (literal_entry(word, home, dir) && without_trailing_slashes(dir) == without_trailing_slashes(entry))
      return true;
  return false;
}

void scan(std::string_view text, std::string_view home, const std::string &label,
          std::vector<env_rc_extra> &out) {
  rc_dir_guards guards;
  std::string entry;
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == text.npos ? text.size() : eol + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    std::string_view value;
    if (!path_assignment(guards.read(line), value))
      continue;
    for (std::size_t start = 0; start <= value.size();) {
      std::size_t colon = std::min(value.find(':', start), value.size());
      if (literal_entry(value.substr(start, colon - start), home, entry) &&
          (!guarded_by_itself(entry, guards, home) || env_is_dir(entry.c_str())))
        out.push_back({entry, label, {}});
      start = colon + 1;
    }
  }
}

// The start-up files that exist, with their text. A listing asks for both reports, and
// the files are read once for the two.
struct rc_texts : env_call_memo {
  bool read = false;
  std::vector<std::pair<rc_file, std::string>> files;
};

const std::vector<std::pair<rc_file, std::string>> &read_all(const char *home, rc_texts &own) {
  rc_texts *memo = env_memo<rc_texts>();
  rc_texts &texts = memo ? *memo : own;
  if (texts.read)
    return texts.files;
  std::string text;
  for (rc_file &f : candidates(home))
    if (read_regular(f.path, text))
      texts.files.emplace_back(std::move(f), std::move(text));
  texts.read = true;
  return texts.files;
}

} // namespace

int env_plat_rc_meta(std::vector<env_rc_file> &out) {
  out.clear();
  const char *home = posix_home();
  if (!home)
    return 0;
  rc_texts own;
  for (const auto &[file, text] : read_all(home, own))
    out.push_back({file.path, 0});
  return 0;
}

int env_plat_rc_path_extras(std::vector<env_rc_extra> &out) {
  out.clear();
  const char *home = posix_home();
  if (!home)
    return 0;
  rc_texts own;
  for (const auto &[file, text] : read_all(home, own)) {
    std::size_t from = out.size();
    scan(text, home, file.label, out);
    for (std::size_t i = from; i < out.size(); ++i)
      out[i].file = file.path;
  }
  return 0;
}

#endif

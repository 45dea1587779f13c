#include "doctor.h"

#include "output.h"
#include "platform.h"
#include "views.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

// Trailing slashes do not make a different entry ("/usr/bin/" is "/usr/bin"), as in the
// library's own comparison; a text made only of slashes keeps one.
std::string entry_key(std::string text) {
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  return text;
}

std::string lower(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  return text;
}

bool defines(const Listing &l, const std::string &name) {
  return std::any_of(l.vars.begin(), l.vars.end(),
                     [&](const Variable &v) { return lower(v.name) == lower(name); });
}

std::string where(const Listing &l, std::size_t index) {
  return l.scope + " #" + std::to_string(index);
}

std::string why_missing(const std::string &entry) {
  if (entry.empty())
    return "is empty: shells search the current directory for it";
  switch (file_kind(entry)) {
  case FileKind::missing:
    return "does not exist";
  case FileKind::unknown:
    return "cannot be examined";
  default:
    return "is not a directory";
  }
}

// An entry of `also` (the system listing, whose entries the user's session gets too) is
// reported there only.
bool listed_in(const Listing &also, const PathEntry &e) {
  for (const PathEntry &other : also.path)
    if (!e.editable && other.entry == e.entry && other.origin == e.origin)
      return true;
  return false;
}

void missing_of(const Listing &l, Check &c, const Listing *also = nullptr) {
  for (std::size_t i = 0; i < l.path.size(); ++i) {
    const PathEntry &e = l.path[i];
    if (!e.exists && !(e.dup && e.entry.empty()) && !(also && listed_in(*also, e)))
      c.findings.push_back(
          where(l, i) + "  " + entry_text(e.entry) + " " + why_missing(e.entry) +
          (e.source == "path" ? "" : " (from " + visible(e.source == "session" ? e.origin : e.source) + ")"));
  }
}

std::size_t path_length(const Listing &l) {
  const Variable *v = find_variable(l, "PATH");
  return v ? width_of(v->value) : 0;
}

std::string over_limit(std::size_t length) {
  if (length > 8191)
    return "beyond 8191, where cmd.exe ignores PATH";
  if (length > 4095)
    return "beyond 4095, the registry's caution on Windows";
  if (length > 2047)
    return "beyond 2047, where programs that pass PATH on a command line may fail";
  return "";
}

void measure(const std::string &what, std::size_t length, Check &c) {
  std::string text = what + ": " + std::to_string(length) + " characters";
  std::string over = over_limit(length);
  if (over.empty())
    c.notes.push_back(text);
  else
    c.findings.push_back(text + ", " + over);
}

void references_of(const Scopes &s, const Listing &l, Check &c) {
  for (const Variable &v : l.vars) {
    for (const Reference &r : references_in(v.value, l.platform == "windows")) {
      // A session inherits what this process has (HOME, SystemRoot, ...), so such a name is
      // defined for it.
      if (defines(s.user, r.name) || defines(s.system, r.name) || process_variable(r.name))
        continue;
      c.findings.push_back(l.scope + " " + visible(v.name) + " refers to " + visible(r.text) +
                           ", which neither scope defines");
    }
  }
}

// True when a line that is not a comment names the user export file, or runs
// `kenv shell-init` to produce the lines that load it.
bool loads_export(const std::string &file, const std::string &export_file) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#')
      continue;
    if (line.find(export_file) != std::string::npos ||
        line.find("pellomar/exports/user-env.sh") != std::string::npos ||
        line.find("kenv shell-init") != std::string::npos)
      return true;
  }
  return false;
}

// fish's start-up files, which the library does not read: config.fish and conf.d/*.fish.
std::vector<std::string> fish_files() {
  std::optional<std::string> xdg = process_variable("XDG_CONFIG_HOME"), home = process_variable("HOME");
  std::string dir = xdg && xdg->rfind('/', 0) == 0 ? *xdg + "/fish"
                    : home                         ? *home + "/.config/fish"
                                                   : std::string();
  if (dir.empty())
    return {};
  std::vector<std::string> files{dir + "/config.fish", dir + "/conf.d/kenv.fish"};
  std::vector<std::string> present;
  for (const std::string &f : files)
    if (file_kind(f) == FileKind::other)
      present.push_back(f);
  return present;
}

bool has_overlay_variables(const Listing &l) {
  return std::any_of(l.vars.begin(), l.vars.end(), [](const Variable &v) { return v.source == "overlay"; });
}

bool name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool name_char(char c) {
  return name_start(c) || (c >= '0' && c <= '9');
}

// The end of the reference that starts at `at`, with its name's position and length, or
// `at` when none starts there. Names are at most 255 bytes, as the listing reads them.
std::size_t scan_reference(const std::string &v, std::size_t at, bool percent, std::size_t &name_at,
                           std::size_t &name_len) {
  std::size_t end = at;
  if (percent != (v[at] == '%'))
    return at;
  if (v.compare(at, 2, "${") == 0) {
    std::size_t close = v.find('}', at + 2);
    if (close != std::string::npos) {
      name_at = at + 2;
      end = close + 1;
      name_len = close - name_at;
    }
  } else if (v[at] == '%') {
    std::size_t close = v.find('%', at + 1);
    if (close != std::string::npos && close > at + 1) {
      name_at = at + 1;
      end = close + 1;
      name_len = close - name_at;
    }
  } else if (v[at] == '$' && at + 1 < v.size() && name_start(v[at + 1])) {
    name_at = end = at + 1;
    while (end < v.size() && name_char(v[end]))
      ++end;
    name_len = end - name_at;
  }
  return name_len <= 255 ? end : at;
}

} // namespace

Check check_shared_entries(const Scopes &s) {
  Check c{"PATH entries that both the user and the system PATH hold", {}, {}};
  for (std::size_t i = 0; i < s.user.path.size(); ++i) {
    const std::string &entry = s.user.path[i].entry;
    if (entry.empty() || !s.user.path[i].editable)
      continue;
    for (std::size_t j = 0; j < s.system.path.size(); ++j) {
      if (entry_key(entry) == entry_key(s.system.path[j].entry)) {
        c.findings.push_back(visible(entry) + "  (" + where(s.user, i) + ", " + where(s.system, j) + ")");
        break;
      }
    }
  }
  return c;
}

Check check_missing_entries(const Scopes &s) {
  Check c{"PATH entries that name no directory", {}, {}};
  missing_of(s.system, c);
  missing_of(s.user, c, &s.system);
  return c;
}

Check check_path_lengths(const Scopes &s) {
  Check c{"PATH lengths (limits 2047, 4095 and 8191 characters)", {}, {}};
  std::size_t system = path_length(s.system), user = path_length(s.user);
  measure("system PATH", system, c);
  measure("user PATH", user, c);
  measure("both together", system + user + (system && user ? 1 : 0), c);
  return c;
}

Check check_references(const Scopes &s) {
  Check c{"references to names neither scope defines", {}, {}};
  references_of(s, s.system, c);
  references_of(s, s.user, c);
  return c;
}

Check check_start_up_files(const Scopes &s) {
  Check c{"shell start-up files that load the user export file", {}, {}};
  std::string export_file = s.user.export_file.value_or("pellomar/exports/user-env.sh");
  std::vector<std::string> files;
  for (const RcSource &rc : s.user.rc_sources)
    files.push_back(rc.file);
  for (const std::string &f : fish_files())
    files.push_back(f);
  std::string loading, read;
  for (const std::string &f : files) {
    read += (read.empty() ? "" : ", ") + visible(f);
    if (loads_export(f, export_file))
      loading += (loading.empty() ? "" : ", ") + visible(f);
  }
  if (!loading.empty())
    c.notes.push_back("loaded by " + loading);
  else if (!has_overlay_variables(s.user))
    c.notes.push_back("none loads it, and it holds no variables yet");
  else
    c.findings.push_back((files.empty() ? "no start-up file was found" : "not loaded by " + read) +
                         "; add what `kenv shell-init` prints to your shell's start-up file");
  return c;
}

// Stored names that differ only in letter case: earlier versions took them for one
// variable, sessions on Linux have two.
void case_twins(const Scopes &s, Check &c) {
  for (const Listing *l : {&s.user, &s.system}) {
    if (l->platform == "windows")
      continue;
    std::vector<const Variable *> stored;
    for (const Variable &v : l->vars)
      if (v.source == "overlay")
        stored.push_back(&v);
    for (std::size_t i = 0; i < stored.size(); ++i)
      for (std::size_t j = 0; j < i; ++j)
        if (stored[i]->name != stored[j]->name && lower(stored[i]->name) == lower(stored[j]->name))
          c.findings.push_back(l->scope + " '" + visible(stored[j]->name) + "' and '" +
                               visible(stored[i]->name) +
                               "' differ only in letter case: they are two variables now; unset the one you "
                               "do not want");
  }
}

// Earlier versions kept the system scope's store in the data directory of whoever changed
// it; that file is no longer read.
void old_system_store(const Scopes &s, Check &c) {
  const std::string exports = "/exports/user-env.sh";
  const std::string &file = s.user.export_file.value_or("");
  if (file.size() <= exports.size() ||
      file.compare(file.size() - exports.size(), exports.size(), exports) != 0)
    return;
  std::string old = file.substr(0, file.size() - exports.size()) + "/system-env.json";
  if (file_kind(old) == FileKind::other)
    c.findings.push_back("system store " + visible(old) +
                         " was left by an earlier version and is no longer read; move it to the "
                         "machine's folder as the README says");
}

// A line of an environment.d file that sessions cannot read, once: both scopes' listings
// report the system's files.
void unreadable_line(const std::string &finding, Check &c) {
  if (std::find(c.findings.begin(), c.findings.end(), finding) == c.findings.end())
    c.findings.push_back(finding);
}

Check check_library_state(const Scopes &s) {
  Check c{"stores that agree with what sessions get", {}, {}};
  for (const Listing *l : {&s.user, &s.system})
    for (const Warning &w : l->warnings) {
      if (w.code == "store")
        c.findings.push_back(l->scope + " store " + visible(w.name.value_or("")) + ": " + visible(w.message));
      else if (w.code == "native")
        c.findings.push_back(l->scope + " '" + visible(w.name.value_or("")) + "': " + visible(w.message) +
                             " (kenv set " + (l->scope == "system" ? "--scope system " : "") + "NAME VALUE)");
      else if (w.code == "session_utf8")
        unreadable_line(visible(w.name.value_or("")) + " " + visible(w.message), c);
      else if (w.code == "interrupted")
        c.findings.push_back(visible(w.name.value_or("")) + " " + visible(w.message));
      else if (w.code == "env_size")
        c.findings.push_back(l->scope + " scope: " + visible(w.message));
    }
  case_twins(s, c);
  old_system_store(s, c);
  return c;
}

std::vector<Reference> references_in(const std::string &value, bool percent) {
  std::vector<Reference> refs;
  for (std::size_t i = 0; i < value.size(); ++i) {
    std::size_t name_at = 0, name_len = 0, end = scan_reference(value, i, percent, name_at, name_len);
    if (end == i)
      continue;
    std::string name = value.substr(name_at, name_len);
    bool seen = std::any_of(refs.begin(), refs.end(), [&](const Reference &r) { return r.name == name; });
    if (!name.empty() && !seen)
      refs.push_back({name, value.substr(i, end - i)});
    i = end - 1;
  }
  return refs;
}

namespace {

// Characters as Windows counts them: UTF-16 code units, two for a character beyond U+FFFF.
std::size_t utf16_length(const std::string &text) {
  std::size_t n = 0;
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    n += (b & 0xC0) == 0x80 ? 0 : b >= 0xF0 ? 2 : 1;
  }
  return n;
}

std::optional<std::string> windows_value(const Scopes &s, const std::string &name) {
  for (const Listing *l : {&s.user, &s.system})
    if (const Variable *v = find_variable(*l, name))
      return v->value;
  return process_variable(name);
}

std::string expanded_path(const Listing &l, const Scopes &s) {
  const Variable *v = find_variable(l, "PATH");
  return v ? expand_windows(v->value, s) : "";
}

std::string windows_over_limit(std::size_t length) {
  if (length > 8191)
    return "beyond 8191, where cmd.exe cuts it";
  if (length > 2047)
    return "beyond 2047, where older programs cut it";
  return "";
}

void expanded_missing_of(const Listing &l, const Scopes &s, Check &c) {
  for (std::size_t i = 0; i < l.path.size(); ++i) {
    const PathEntry &e = l.path[i];
    if (e.dup && e.entry.empty())
      continue;
    std::string expanded = expand_windows(e.entry, s);
    if (!expanded.empty() && file_kind(expanded) == FileKind::directory)
      continue;
    std::string shown = entry_text(e.entry) + (expanded == e.entry ? "" : " (" + visible(expanded) + ")");
    c.findings.push_back(where(l, i) + "  " + shown + " " + why_missing(expanded));
  }
}

bool listed(const std::vector<std::string> &names, const std::string &name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string &n) { return lower(n) == lower(name); });
}

void unexpanded_of(const Listing &l, const std::vector<std::string> &names, Check &c) {
  for (const Variable &v : l.vars)
    if (v.value.find('%') != std::string::npos && listed(names, v.name))
      c.findings.push_back(l.scope + " " + visible(v.name) + " = " + visible(cut(v.value, 60)) +
                           "; `kenv set` writes it again as REG_EXPAND_SZ");
}

} // namespace

std::vector<Check> doctor_checks(const Scopes &s, const UnexpandedNames &unexpanded) {
  if (s.user.platform == "windows")
    return {check_shared_entries(s),
            check_expanded_entries(s),
            check_windows_path_length(s),
            check_references(s),
            check_unexpanded_values(s, unexpanded),
            check_library_state(s)};
  return {check_shared_entries(s), check_missing_entries(s), check_path_lengths(s),
          check_references(s),     check_start_up_files(s),  check_library_state(s)};
}

std::string expand_windows(const std::string &value, const Scopes &s) {
  std::string out;
  for (std::size_t i = 0; i < value.size();) {
    std::size_t close = value[i] == '%' ? value.find('%', i + 1) : std::string::npos;
    std::optional<std::string> found;
    if (close != std::string::npos && close > i + 1)
      found = windows_value(s, value.substr(i + 1, close - i - 1));
    if (found) {
      out += *found;
      i = close + 1;
    } else {
      out += value[i++];
    }
  }
  return out;
}

Check check_expanded_entries(const Scopes &s) {
  Check c{"PATH entries whose expansion names no directory", {}, {}};
  expanded_missing_of(s.system, s, c);
  expanded_missing_of(s.user, s, c);
  return c;
}

Check check_windows_path_length(const Scopes &s) {
  Check c{"PATH length as Windows builds it, expanded (limits 2047 and 8191 characters)", {}, {}};
  std::size_t system = utf16_length(expanded_path(s.system, s)),
              user = utf16_length(expanded_path(s.user, s));
  c.notes.push_back("system PATH: " + std::to_string(system) + " characters");
  c.notes.push_back("user PATH: " + std::to_string(user) + " characters");
  std::size_t both = system + user + (system && user ? 1 : 0);
  std::string text = "system PATH;user PATH: " + std::to_string(both) + " characters";
  std::string over = windows_over_limit(both);
  if (over.empty())
    c.notes.push_back(text);
  else
    c.findings.push_back(text + ", " + over);
  return c;
}

Check check_unexpanded_values(const Scopes &s, const UnexpandedNames &unexpanded) {
  Check c{"REG_SZ values holding '%' (Windows does not expand their references)", {}, {}};
  unexpanded_of(s.system, unexpanded.system, c);
  unexpanded_of(s.user, unexpanded.user, c);
  return c;
}

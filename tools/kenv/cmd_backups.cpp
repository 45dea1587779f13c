// kenv backups and kenv restore.
#include "args.h"
#include "backup_copy.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "platform.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace {

// "2025-01-02T10:00:00Z" reads as "2025-01-02 10:00:00 UTC"; other texts stay as they are.
std::string readable_time(const std::optional<std::string> &ts) {
  if (!ts)
    return "-";
  std::string t = *ts;
  if (t.size() == 20 && t[10] == 'T' && t[19] == 'Z')
    return t.substr(0, 10) + " " + t.substr(11, 8) + " UTC";
  return visible(t);
}

std::string backup_table(const std::vector<Backup> &backups, const Style &style) {
  std::size_t time_w = 4, scope_w = 5, vars_w = 4;
  for (const Backup &b : backups) {
    time_w = std::max(time_w, width_of(readable_time(b.ts)));
    scope_w = std::max(scope_w, width_of(visible(b.scope.value_or("-"))));
    vars_w = std::max(vars_w, std::to_string(b.vars).size());
  }
  std::string out = style.bold("Backups (" + std::to_string(backups.size()) + ", newest first)") + "\n";
  out += style.dim("  " + pad("time", time_w) + "  " + pad("scope", scope_w) + "  " +
                   std::string(vars_w - 4, ' ') + "vars  file") +
         "\n";
  for (const Backup &b : backups) {
    std::string vars = std::to_string(b.vars);
    out += "  " + pad(readable_time(b.ts), time_w) + "  " + pad(visible(b.scope.value_or("-")), scope_w) +
           "  " + std::string(vars_w - vars.size(), ' ') + vars + "  " + visible(b.path) + "\n";
  }
  return out;
}

bool is_system(const Backup &b) {
  if (!b.scope || b.scope->size() != 6)
    return false;
  std::string s = *b.scope;
  std::transform(s.begin(), s.end(), s.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return s == "system";
}

std::string latest_user_backup() {
  for (const Backup &b : parse_backups(lib_backups()))
    if (!is_system(b))
      return b.path;
  throw LibraryError("no backup of the user scope to restore");
}

// A path as given, or the path of the backup whose file name the word is.
std::string backup_path_for(const std::string &word) {
  FileKind kind = file_kind(word);
  if (word.find('/') != std::string::npos || kind == FileKind::directory || kind == FileKind::other)
    return word;
  for (const Backup &b : parse_backups(lib_backups()))
    if (b.file == word)
      return b.path;
  return word;
}

// The variable a refusal of the native store names: "cannot write 'NAME' to ...".
std::optional<std::string> refused_name(const std::string &message) {
  const std::string head = "cannot write '";
  std::size_t end = message.find("' to ", head.size());
  if (message.rfind(head, 0) != 0 || end == std::string::npos)
    return std::nullopt;
  return message.substr(head.size(), end - head.size());
}

std::string read_backup_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf()))
    throw LibraryError("cannot read backup: " + path);
  return text.str();
}

// Restores a copy of the backup without the variables the library refuses, one refusal at
// a time: a refused restore writes nothing, so each try starts from the same state.
std::string restore_dropping_invalid(const std::string &path, std::vector<std::string> &dropped,
                                     std::vector<std::string> &why) {
  std::string text = read_backup_text(path);
  for (;;) {
    TempFile copy(backup_without(text, dropped));
    try {
      return lib_restore(copy.path());
    } catch (const LibraryError &e) {
      std::optional<std::string> name = refused_name(e.what());
      if (!name || std::find(dropped.begin(), dropped.end(), *name) != dropped.end())
        throw;
      dropped.push_back(*name);
      why.push_back(e.what());
    }
  }
}

} // namespace

int cmd_backups(const Words &argv) {
  Args args = parse_args("backups", argv, {{"json"}, {}});
  if (args.help)
    return show_help("backups");
  expect_words(args, 0, 0, "");
  std::string json = lib_backups();
  if (args.has("json")) {
    write_out(json + "\n");
    return 0;
  }
  std::vector<Backup> backups = parse_backups(json);
  if (backups.empty())
    write_out("No backups yet: kenv takes one before every change.\n");
  else
    write_out(backup_table(backups, stdout_style()));
  return 0;
}

int cmd_restore(const Words &argv) {
  Args args = parse_args("restore", argv, {{"latest", "drop-invalid"}, {}});
  if (args.help)
    return show_help("restore");
  bool latest = args.has("latest");
  if (latest && !args.words.empty())
    throw UsageError("restore", "give either FILE or --latest, not both");
  expect_words(args, latest ? 0 : 1, latest ? 0 : 1, "FILE (or --latest)");
  std::string path = latest ? latest_user_backup() : backup_path_for(args.words[0]);
  std::vector<std::string> dropped, why;
  std::string note =
      args.has("drop-invalid") ? restore_dropping_invalid(path, dropped, why) : lib_restore(path);
  for (const std::string &refusal : why)
    write_err("kenv: left out: " + visible(refusal) + "\n");
  if (!note.empty())
    write_err("kenv: note: " + note + "\n");
  write_out("Restored the user scope from " + visible(path) + "\n");
  return 0;
}

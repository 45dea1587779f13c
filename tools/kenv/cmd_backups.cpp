// kenv backups and kenv restore.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "platform.h"

#include <algorithm>

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
  Args args = parse_args("restore", argv, {{"latest"}, {}});
  if (args.help)
    return show_help("restore");
  bool latest = args.has("latest");
  if (latest && !args.words.empty())
    throw UsageError("restore", "give either FILE or --latest, not both");
  expect_words(args, latest ? 0 : 1, latest ? 0 : 1, "FILE (or --latest)");
  std::string path = latest ? latest_user_backup() : backup_path_for(args.words[0]);
  lib_restore(path);
  write_out("Restored the user scope from " + visible(path) + "\n");
  return 0;
}

// kenv backups and kenv restore.
#include "args.h"
#include "backup_copy.h"
#include "backup_diff.h"
#include "backup_files.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
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
           "  " + std::string(vars_w - vars.size(), ' ') + vars + "  " + visible(shown_path(b.path)) + "\n";
  }
  return out;
}

std::string latest_backup(const std::string &scope, const char *purpose) {
  if (scope == "user") {
    if (std::optional<std::string> path = newest_user_backup())
      return *path;
  } else {
    for (const Backup &b : parse_backups(lib_backups()))
      if (is_system_scope(b.scope))
        return b.path;
  }
  throw LibraryError("no backup of the " + scope + " scope" + purpose);
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

int backups_list(const Words &argv) {
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

// What prune keeps: the newest `keep` backups of the scope, or those newer than the age,
// and always the newest.
struct PruneRule {
  std::optional<long long> keep;
  std::optional<long long> older_than_days;
};

PruneRule prune_rule(const Args &args) {
  std::optional<std::string> keep = args.value("keep"), days = args.value("older-than");
  if (keep.has_value() == days.has_value())
    throw UsageError("backups", "prune takes one of --keep N and --older-than DAYS");
  PruneRule rule;
  if (keep) {
    rule.keep = index_word("backups", "--keep", *keep);
    if (*rule.keep < 1)
      throw UsageError("backups", "--keep must be 1 or more: the newest backup is always kept");
  } else {
    rule.older_than_days = index_word("backups", "--older-than", *days);
  }
  return rule;
}

// The backups of the scope that the rule removes, newest first. Backups whose scope is
// neither user nor system (hand-made, unreadable) are never removed.
std::vector<Backup> prune_victims(const std::vector<Backup> &all, const std::string &scope,
                                  const PruneRule &rule, std::size_t &kept) {
  std::vector<Backup> victims;
  std::time_t now = std::time(nullptr);
  std::size_t seen = 0;
  kept = 0;
  for (const Backup &b : all) {
    if (!b.scope || (scope == "system") != is_system_scope(b.scope) ||
        (scope == "user" && *b.scope != "user"))
      continue;
    ++seen;
    std::optional<std::time_t> taken = backup_name_time(b.file);
    bool old = rule.keep ? seen > static_cast<std::size_t>(*rule.keep)
                         : taken && now - *taken > *rule.older_than_days * 86400;
    if (seen > 1 && old)
      victims.push_back(b);
    else
      ++kept;
  }
  return victims;
}

std::string plural(std::size_t n, const char *word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

int backups_prune(const Words &argv) {
  Args args = parse_args("backups", argv, {{"dry-run"}, {"keep", "older-than", "scope"}});
  if (args.help)
    return show_help("backups");
  expect_words(args, 0, 0, "");
  PruneRule rule = prune_rule(args);
  std::string scope = scope_option(args);
  bool dry = args.has("dry-run");
  std::size_t kept = 0;
  std::vector<Backup> victims = prune_victims(parse_backups(lib_backups()), scope, rule, kept);
  std::string out;
  for (const Backup &b : victims) {
    if (!dry && std::remove(b.path.c_str()) != 0)
      throw LibraryError("cannot remove backup " + b.path);
    out += (dry ? "would remove " : "removed ") + visible(shown_path(b.path)) + "\n";
  }
  out += std::string(dry ? "Would remove " : "Removed ") + plural(victims.size(), "backup") + " of the " +
         scope + " scope and " + (dry ? "keep " : "kept ") + std::to_string(kept) + ".\n";
  write_out(out);
  return 0;
}

// The backup a show or diff is about: FILE, or with --latest the newest of --scope.
BackupFile chosen_backup(const Args &args) {
  bool latest = args.has("latest");
  if (latest && !args.words.empty())
    throw UsageError("backups", "give either FILE or --latest, not both");
  expect_words(args, latest ? 0 : 1, latest ? 0 : 1, "FILE (or --latest)");
  return read_backup_file(latest ? latest_backup(scope_option(args), "") : backup_path_for(args.words[0]));
}

int backups_show(const Words &argv) {
  Args args = parse_args("backups", argv, {{"latest"}, {"scope"}});
  if (args.help)
    return show_help("backups");
  BackupFile b = chosen_backup(args);
  std::string out = "Backup " + visible(shown_path(b.path)) + "\n  taken " + readable_time(b.ts) +
                    ", scope " + visible(b.scope.value_or("-")) + ", " + plural(b.vars.size(), "variable") +
                    "\n";
  for (const auto &[name, value] : b.vars)
    out += "  " + visible(name) + "=" + visible(value) + "\n";
  write_out(out);
  return 0;
}

// Added and changed in the backup's order, then removed in the scope's.
std::string differences(const BackupFile &b, const Listing &now) {
  std::string out;
  for (const VariableChange &c : backup_changes(b, now)) {
    if (c.kind == VariableChange::added)
      out += "  added    " + visible(c.name) + "=" + visible(c.backup) + "\n";
    else if (c.kind == VariableChange::changed)
      out += "  changed  " + visible(c.name) + ": " + visible(c.now) + " -> " + visible(c.backup) + "\n";
    else
      out += "  removed  " + visible(c.name) + "=" + visible(c.now) + "\n";
  }
  return out;
}

int backups_diff(const Words &argv) {
  Args args = parse_args("backups", argv, {{"latest"}, {"scope"}});
  if (args.help)
    return show_help("backups");
  BackupFile b = chosen_backup(args);
  std::string scope = is_system_scope(b.scope) ? "system" : "user";
  std::string diff = differences(b, parse_listing(lib_list(scope)));
  std::string path = visible(shown_path(b.path));
  if (diff.empty())
    write_out("Backup " + path + " holds what the " + scope + " scope holds now.\n");
  else if (scope == "user")
    write_out("Restoring " + path + " would change the user scope:\n" + diff);
  else
    write_out("Backup " + path + " differs from the system scope now:\n" + diff);
  return 0;
}

} // namespace

int cmd_backups(const Words &argv) {
  std::size_t at = find_subcommand(argv, {"--scope", "--keep", "--older-than"});
  if (at == std::string::npos)
    return backups_list(argv);
  Words rest = argv;
  rest.erase(rest.begin() + static_cast<long>(at));
  const std::string &sub = argv[at];
  if (sub == "prune")
    return backups_prune(rest);
  if (sub == "show")
    return backups_show(rest);
  if (sub == "diff")
    return backups_diff(rest);
  throw UsageError("backups", "unknown backups command '" + sub + "' (prune, show or diff)");
}

int cmd_restore(const Words &argv) {
  Args args = parse_args("restore", argv, {{"latest", "drop-invalid"}, {}});
  if (args.help)
    return show_help("restore");
  bool latest = args.has("latest");
  if (latest && !args.words.empty())
    throw UsageError("restore", "give either FILE or --latest, not both");
  expect_words(args, latest ? 0 : 1, latest ? 0 : 1, "FILE (or --latest)");
  std::string path = latest ? latest_backup("user", " to restore") : backup_path_for(args.words[0]);
  std::vector<std::string> dropped, why;
  std::string note =
      args.has("drop-invalid") ? restore_dropping_invalid(path, dropped, why) : lib_restore(path);
  for (const std::string &refusal : why)
    write_err("kenv: left out: " + visible(refusal) + "\n");
  if (!note.empty())
    write_err("kenv: note: " + note + "\n");
  std::string scope = is_system_scope(read_backup_file(path).scope) ? "system" : "user";
  write_out("Restored the " + scope + " scope from " + visible(path) + "\n");
  return 0;
}

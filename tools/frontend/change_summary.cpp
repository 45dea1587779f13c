#include "change_summary.h"

#include "library.h"
#include "output.h"
#include "state.h"

#include <string_view>
#include <unordered_map>

namespace {

// The variables of `vars` that `other` does not hold with the same value, and PATH, whose
// entries are compared one by one: a change touches a few variables of a store that may
// hold thousands, and the list of changes compares what is left.
StoreVars differing(const VarPairs &vars, const VarPairs &other) {
  std::unordered_map<std::string_view, std::string_view> in_other;
  for (const auto &[name, value] : other)
    in_other.emplace(name, value);
  StoreVars out;
  for (const auto &[name, value] : vars) {
    auto at = in_other.find(name);
    if (name == "PATH" || at == in_other.end() || at->second != value)
      out.push_back({name, value});
  }
  return out;
}

std::string change_words(const Change &c) {
  if (c.op == "set")
    return "set " + visible(c.name);
  if (c.op == "delete")
    return "unset " + visible(c.name);
  if (c.op == "path_add")
    return "PATH + " + visible(c.new_value.value_or(""));
  if (c.op == "path_remove")
    return "PATH - " + visible(c.old_value.value_or(""));
  return "PATH order";
}

std::optional<VarPairs> vars_of(const std::string &backup_path) {
  try {
    return read_backup_file(backup_path).vars;
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

// The state after a scope's backup: the next backup's path ("" for the store now) and,
// once read, its variables.
struct After {
  std::string path;
  std::optional<VarPairs> vars;
};

std::string summary_of(const Backup &b, After &after, const std::string &sep, SummaryCache &cache) {
  std::string key = b.path + '\n' + after.path;
  if (!after.path.empty())
    if (auto hit = cache.lines.find(key); hit != cache.lines.end()) {
      after = {b.path, std::nullopt};
      return hit->second;
    }
  std::optional<VarPairs> before = vars_of(b.path);
  if (!after.vars && !after.path.empty())
    after.vars = vars_of(after.path);
  std::string line = before && after.vars ? change_line(change_items(*before, *after.vars, sep)) : "";
  if (!after.path.empty() && before && after.vars)
    cache.lines.emplace(key, line);
  after = {b.path, std::move(before)};
  return line;
}

} // namespace

std::vector<std::string> change_items(const VarPairs &before, const VarPairs &after,
                                      const std::string &path_sep) {
  std::vector<std::string> out;
  char sep = path_sep.empty() ? ':' : path_sep[0];
  for (const Change &c : changes_between(differing(before, after), differing(after, before), sep))
    out.push_back(change_words(c));
  return out;
}

std::string change_line(const std::vector<std::string> &items) {
  constexpr std::size_t shown = 3;
  if (items.empty())
    return "no change";
  std::string line;
  for (std::size_t i = 0; i < items.size() && i < shown; ++i)
    line += (i ? ", " : "") + items[i];
  if (items.size() > shown)
    line += " and " + std::to_string(items.size() - shown) + " more";
  return line;
}

std::vector<std::string> summarise_backups(const std::vector<Backup> &backups, const Listing &user,
                                           const Listing &system, std::size_t limit, SummaryCache &cache) {
  After after_user{"", listing_store(user)}, after_system{"", listing_store(system)};
  std::vector<std::string> out;
  out.reserve(backups.size());
  for (const Backup &b : backups) {
    if (out.size() >= limit) {
      out.emplace_back();
      continue;
    }
    bool system_backup = is_system_scope(b.scope);
    out.push_back(summary_of(b, system_backup ? after_system : after_user,
                             (system_backup ? system : user).path_sep, cache));
  }
  return out;
}

std::optional<LastChange> last_change(const Listing &user) {
  std::optional<std::string> newest = newest_user_backup();
  if (!newest)
    return std::nullopt;
  std::optional<VarPairs> before = vars_of(*newest);
  std::string summary = before ? change_line(change_items(*before, listing_store(user), user.path_sep)) : "";
  return LastChange{*newest, summary};
}

std::string undo_change(const LastChange &change) {
  if (newest_user_backup() != change.backup_path)
    throw LibraryError("another change was made in the meantime; nothing was undone");
  return lib_restore(change.backup_path);
}

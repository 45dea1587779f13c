#include "switches.h"

#include "library.h"
#include "output.h"
#include "profiles.h"

#include <algorithm>

namespace {

// The entry's place in the scope's own PATH, or npos.
std::size_t own_position(const ScopeSnapshot &now, const std::string &entry) {
  std::vector<std::string> path = path_of(now.store, now.sep);
  auto at = std::find(path.begin(), path.end(), entry);
  return at == path.end() ? std::string::npos : static_cast<std::size_t>(at - path.begin());
}

void forget_entry(std::vector<OffEntry> &off, const std::string &entry) {
  std::erase_if(off, [&](const OffEntry &e) { return e.entry == entry; });
}

StoreVars with_path(const ScopeSnapshot &now, const std::vector<std::string> &path) {
  StoreVars after = now.store;
  put_path(after, path, now.sep);
  return after;
}

} // namespace

std::optional<std::size_t> switch_profile_on(const std::string &scope, const std::string &name) {
  ScopeState profile = read_profile(scope, name);
  std::vector<ProfileRecord> active = active_profiles(scope);
  if (find_active(active, name))
    return std::nullopt;
  ScopeSnapshot now = read_snapshot(scope);
  ProfileSwitch on = compose_on(now, name, profile, active);
  std::vector<Change> changes = changes_between(now.store, on.after, now.sep);
  // Recorded first: a change that lands without its record could never be switched off.
  save_record(scope, on.record);
  try {
    if (!changes.empty())
      commit_store(now, on.after);
  } catch (...) {
    remove_record(scope, name);
    throw;
  }
  return changes.size();
}

std::size_t switch_profile_off(const std::string &scope, const std::string &name, bool force) {
  std::vector<ProfileRecord> active = active_profiles(scope);
  const ProfileRecord *record = find_active(active, name);
  if (!record)
    throw LibraryError("profile '" + name + "' is not on in the " + scope + " scope");
  ScopeSnapshot now = read_snapshot(scope);
  StoreVars after = compose_off(now, *record, force);
  std::vector<Change> changes = changes_between(now.store, after, now.sep);
  if (!changes.empty())
    commit_store(now, after);
  remove_record(scope, name);
  return changes.size();
}

ScopeState profile_from_scope(const std::string &scope, const std::vector<std::string> &names) {
  ScopeSnapshot now = read_snapshot(scope);
  ScopeState out{scope, {}, {}, {}};
  for (const std::string &name : names) {
    if (name == "PATH") {
      out.path = path_of(now.store, now.sep);
      continue;
    }
    const StateVar *v = find_var(now.store, name);
    if (!v)
      throw LibraryError("'" + visible(name) + "' is not set in the " + scope + " scope");
    out.vars.push_back(*v);
  }
  return out;
}

void switch_entry_off(const std::string &scope, const std::string &entry) {
  ScopeSnapshot now = read_snapshot(scope);
  std::size_t position = own_position(now, entry);
  if (position == std::string::npos)
    throw LibraryError("'" + visible(entry) + "' is not an entry of the " + scope + " scope's own PATH");
  std::vector<std::string> path = path_of(now.store, now.sep);
  std::erase(path, entry);
  std::vector<OffEntry> before = path_off_entries(scope), off = before;
  forget_entry(off, entry);
  off.push_back({entry, position});
  // Remembered first, so that an entry never leaves PATH without its place being kept.
  save_path_off(scope, off);
  try {
    commit_store(now, with_path(now, path));
  } catch (...) {
    save_path_off(scope, before);
    throw;
  }
}

bool switch_entry_on(const std::string &scope, const std::string &entry) {
  std::vector<OffEntry> off = path_off_entries(scope);
  auto record = std::find_if(off.begin(), off.end(), [&](const OffEntry &e) { return e.entry == entry; });
  if (record == off.end())
    throw LibraryError("'" + visible(entry) + "' is not switched off in the " + scope + " scope");
  std::size_t position = record->position;
  forget_entry(off, entry);
  ScopeSnapshot now = read_snapshot(scope);
  if (own_position(now, entry) != std::string::npos) {
    save_path_off(scope, off);
    return false;
  }
  std::vector<std::string> path = path_of(now.store, now.sep);
  path.insert(path.begin() + static_cast<long>(std::min(position, path.size())), entry);
  commit_store(now, with_path(now, path));
  save_path_off(scope, off);
  return true;
}

#include "switches.h"

#include "library.h"
#include "output.h"
#include "platform_rules.h"
#include "profiles.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// The entry's place in the scope's own PATH, or npos.
std::size_t own_position(const ScopeSnapshot &now, const std::string &entry) {
  std::vector<std::string> path = path_of(now.store, now.sep);
  auto at =
      std::find_if(path.begin(), path.end(), [&](const std::string &e) { return same_entry(e, entry); });
  return at == path.end() ? std::string::npos : static_cast<std::size_t>(at - path.begin());
}

void forget_entry(std::vector<OffEntry> &off, const std::string &entry) {
  std::erase_if(off, [&](const OffEntry &e) { return same_entry(e.entry, entry); });
}

StoreVars with_path(const ScopeSnapshot &now, const std::vector<std::string> &path) {
  StoreVars after = now.store;
  put_path(after, path, now.sep);
  return after;
}

ScopeSnapshot snapshot_to_change(const std::string &scope) {
  ScopeSnapshot now = read_snapshot(scope);
  refuse_not_utf8(now.not_utf8);
  return now;
}

// Runs one switch, composing it again from a new snapshot while another change keeps coming
// in between its reading and its commit: two switches at once both land, as two kenv set do.
template <class Switch> auto switch_as_one_change(Switch attempt) {
  for (int round = 1;; ++round) {
    try {
      return attempt();
    } catch (const LibraryError &e) {
      if (round >= 100 || !changed_meanwhile(e))
        throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + std::rand() % (5 + round)));
  }
}

} // namespace

std::optional<std::size_t> switch_profile_on(const std::string &scope, const std::string &name) {
  ScopeState profile = read_profile(scope, name);
  return switch_as_one_change([&]() -> std::optional<std::size_t> {
    ScopeSnapshot now = snapshot_to_change(scope);
    ScopeRecords records = records_of(now);
    if (find_active(records.on, name))
      return std::nullopt;
    ProfileSwitch on = compose_on(now, name, profile, records.on);
    records.on.push_back(on.record);
    commit_records(now, on.after, records);
    return changes_between(now.store, on.after, now.sep).size();
  });
}

std::size_t switch_profile_off(const std::string &scope, const std::string &name, bool force) {
  return switch_as_one_change([&] {
    ScopeSnapshot now = snapshot_to_change(scope);
    ScopeRecords records = records_of(now);
    const ProfileRecord *record = find_active(records.on, name);
    if (!record)
      throw LibraryError("profile '" + name + "' is not on in the " + scope + " scope");
    StoreVars after = compose_off(now, *record, force);
    std::erase_if(records.on, [&](const ProfileRecord &r) { return r.profile == name; });
    commit_records(now, after, records);
    return changes_between(now.store, after, now.sep).size();
  });
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
  switch_as_one_change([&] {
    ScopeSnapshot now = snapshot_to_change(scope);
    std::size_t position = own_position(now, entry);
    if (position == std::string::npos)
      throw LibraryError("'" + visible(entry) + "' is not an entry of the " + scope + " scope's own PATH");
    std::vector<std::string> path = path_of(now.store, now.sep);
    std::string own = path[position]; // the scope's spelling of it
    std::erase_if(path, [&](const std::string &e) { return same_entry(e, entry); });
    ScopeRecords records = records_of(now);
    forget_entry(records.off, entry);
    records.off.push_back({own, position});
    commit_records(now, with_path(now, path), records);
  });
}

bool switch_entry_on(const std::string &scope, const std::string &entry) {
  return switch_as_one_change([&] {
    ScopeSnapshot now = snapshot_to_change(scope);
    ScopeRecords records = records_of(now);
    auto record = std::find_if(records.off.begin(), records.off.end(),
                               [&](const OffEntry &e) { return same_entry(e.entry, entry); });
    if (record == records.off.end())
      throw LibraryError("'" + visible(entry) + "' is not switched off in the " + scope + " scope");
    std::size_t position = record->position;
    std::string own = record->entry;
    records.off.erase(record);
    if (own_position(now, entry) != std::string::npos)
      return false; // the next switch's records leave it out
    std::vector<std::string> path = path_of(now.store, now.sep);
    path.insert(path.begin() + static_cast<long>(std::min(position, path.size())), own);
    commit_records(now, with_path(now, path), records);
    return true;
  });
}

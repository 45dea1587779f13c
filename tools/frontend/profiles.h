// Profiles and switched-off PATH entries, kept in the scope's data directory beside the
// library's files:
//   profiles/NAME.json       a profile: a kenv-state/1 document (0600)
//   profiles/.on/NAME.json   the record of a profile that is on: what it set, what each of
//                            those variables held before (or that it was unset), the PATH
//                            entries it added and whether PATH existed before
//   path-off.json            the PATH entries switched off, each with its position
// Switching a profile or an entry on or off is one change of the library (commit_store);
// these functions compose the new store and keep the records.
#pragma once

#include "state.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Letters, digits, '-', '_' and '.', not starting with '.' (which would hide the file or
// name "." and ".."). Throws DocumentError naming the name otherwise.
void check_profile_name(const std::string &name);
// In `data_dir` when given, else in the scope's data directory.
std::string profiles_dir(const std::string &scope, const std::string &data_dir = "");
std::vector<std::string> profile_names(const std::string &scope);
// LibraryError "no profile 'NAME' in the user scope" when there is none.
ScopeState read_profile(const std::string &scope, const std::string &name);
// Refused when a profile of that name exists.
void save_profile(const std::string &scope, const std::string &name, const ScopeState &profile);
// Refused while the profile is on.
void remove_profile(const std::string &scope, const std::string &name);

struct ProfileRecord {
  std::string profile;
  StoreVars set;                                                            // what the profile set
  std::vector<std::pair<std::string, std::optional<std::string>>> replaced; // value before, or unset
  std::vector<std::string> path_added;
  bool path_was_unset = false;
};
std::vector<ProfileRecord> active_profiles(const std::string &scope, const std::string &data_dir = "");
const ProfileRecord *find_active(const std::vector<ProfileRecord> &active, const std::string &name);
void save_record(const std::string &scope, const ProfileRecord &record);
void remove_record(const std::string &scope, const std::string &name);

struct ProfileSwitch {
  StoreVars after;
  ProfileRecord record;
};
// The store with the profile on, and what to record. Refused (LibraryError) when it would
// set a variable or add a PATH entry that another active profile owns, naming that profile.
ProfileSwitch compose_on(const ScopeSnapshot &now, const std::string &name, const ScopeState &profile,
                         const std::vector<ProfileRecord> &active);
// The store with the profile off: what it replaced put back, the PATH entries it added
// removed. Refused (LibraryError) naming each variable changed since, unless `force`.
StoreVars compose_off(const ScopeSnapshot &now, const ProfileRecord &record, bool force);

struct OffEntry {
  std::string entry;
  std::size_t position = 0;
};
std::vector<OffEntry> path_off_entries(const std::string &scope, const std::string &data_dir = "");
void save_path_off(const std::string &scope, const std::vector<OffEntry> &entries);

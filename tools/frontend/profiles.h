// Profiles and switched-off PATH entries. A profile is a kenv-state/1 document of its own,
// profiles/NAME.json in the scope's data directory (0600). What is switched on or off lives
// in the store itself, as the records the library keeps beside the variables (the listing's
// "records"), a JSON text:
//   {"profiles_on": [record...], "path_off": [{"entry": ..., "position": n}...]}
// where a profile's record says what it set, what each of those variables held before (or
// that it was unset), the PATH entries it added and whether PATH existed before. Switching
// is one change of the library (commit_store) that writes the variables and the records
// together, so a killed switch leaves both as they were or both changed, and a restored
// backup brings back the records of its time. Earlier versions kept the records in files
// beside the store (profiles/.on/NAME.json and path-off.json): they are read while the store
// has no records, and removed once a switch has written the store's.
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
const ProfileRecord *find_active(const std::vector<ProfileRecord> &active, const std::string &name);

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

struct ScopeRecords {
  std::vector<ProfileRecord> on;
  std::vector<OffEntry> off;
};
// The records of the snapshot's store (or an earlier version's files).
ScopeRecords records_of(const ScopeSnapshot &snap);
// An entry recorded off that is in PATH again (added since by hand) is not off: it is left
// out of what the views show, and out of the records the next switch writes.
void forget_entries_in_path(std::vector<OffEntry> &off, const StoreVars &store, char sep);
std::string records_text(const ScopeRecords &records);
// Makes the store `after` with the records as one change (commit_store), then removes the
// files an earlier version kept the records in.
void commit_records(const ScopeSnapshot &before, const StoreVars &after, ScopeRecords records);
// The scope's profiles that are on, and its entries switched off, as the scope holds them now.
std::vector<ProfileRecord> active_profiles(const std::string &scope);
std::vector<OffEntry> path_off_entries(const std::string &scope);

// What restoring a backup would change: the backup's variables against the store's
// variables now (the listing's "overlay" ones), which a restore replaces.
#pragma once

#include "backup_files.h"
#include "listing.h"

#include <string>
#include <utility>
#include <vector>

struct VariableChange {
  enum Kind { added, changed, removed };
  Kind kind;
  std::string name;
  std::string now;    // the value the scope holds now; "" when added
  std::string backup; // the value in the backup; "" when removed
};

using VarPairs = std::vector<std::pair<std::string, std::string>>;

// The variables of the scope's store as a listing shows them (the "overlay" ones).
VarPairs listing_store(const Listing &listing);

// Added and changed in the backup's order, then removed in the scope's.
std::vector<VariableChange> backup_changes(const BackupFile &backup, const Listing &now);

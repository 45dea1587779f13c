// What each change did, in a few words, for the backups a window lists: the library takes a
// backup of a scope's store before every change, so the change a backup came before is the
// difference between that backup and the next state of the same scope (its next backup, or
// the store now for the newest). And what "Undo last change" takes back: the newest backup
// of the user scope, whichever front end's change took it.
#pragma once

#include "backup_diff.h"
#include "listing.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The change from `before` to `after`, one item per variable: "set EDITOR", "unset FOO",
// and PATH by its entries: "PATH + /opt/x", "PATH - /x", or "PATH order" when only their
// order changed. Values are made safe to show on one line.
std::vector<std::string> change_items(const VarPairs &before, const VarPairs &after,
                                      const std::string &path_sep);
// The items on one line: the first few, then "and N more"; "no change" when there are none.
std::string change_line(const std::vector<std::string> &items);

// Summaries already made, by backup and the state after it, which never change: a reload
// reads only the backups taken since. Used from one thread at a time.
struct SummaryCache {
  std::unordered_map<std::string, std::string> lines;
};

// What the change each backup came before did, for the newest `limit` backups (newest first,
// as listed); "" for the older ones. `user` and `system` are the scopes' listings now.
std::vector<std::string> summarise_backups(const std::vector<Backup> &backups, const Listing &user,
                                           const Listing &system, std::size_t limit, SummaryCache &cache);

struct LastChange {
  std::string backup_path; // the backup taken before it
  std::string summary;     // what it did
};

// The latest change of the user scope, by whatever front end; nullopt when there is no
// backup of the user scope. `user` is its listing now.
std::optional<LastChange> last_change(const Listing &user);
// Restores the backup taken before the change, if that is still the latest; otherwise
// LibraryError, and nothing changes. Returns the library's note.
std::string undo_change(const LastChange &change);

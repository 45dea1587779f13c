// The PATH entries of a listing as both desktop front ends show them: the words for each
// entry's state and origin, and the positions among the scope's own entries, which the PATH
// edits count in (entries other files add sit between them, read-only).
#pragma once

#include "listing.h"

#include <string>
#include <vector>

// "ok", "missing: no such folder", "duplicate of an earlier entry", or both.
std::string path_state_text(const PathEntry &entry);
// Who may edit the entry ("user scope", "read-only") and where it comes from.
std::string path_origin_text(const std::string &scope, const PathEntry &entry);
// The row's position among the editable entries; -1 for a read-only row or one out of range.
int own_index(const std::vector<PathEntry> &entries, int row);
int own_count(const std::vector<PathEntry> &entries);

// What a window front end (kenv-gui, and the Win32 one) shows beside the library's records,
// worked out once for both: the words for a PATH entry's state and for where it comes from,
// a warning as one line, the positions among a scope's own PATH entries that the PATH edits
// count in, and a list-like value split into its items. Texts are UTF-8, made safe to show
// on one line where they carry the library's values.
#pragma once

#include "listing.h"

#include <cstddef>
#include <string>
#include <vector>

// Where each of the listing's variables comes from, in the user's words, one per variable:
// "kenv's user store" (or system store) for the ones kenv keeps, the environment.d file that
// sets the others (what the session view names), on Windows the registry key.
std::vector<std::string> variable_places(const Listing &listing);

// "ok", or what is wrong with the entry: missing, empty, a duplicate.
std::string entry_state_text(const PathEntry &entry);
// Whose entry it is (the scope's own, or read-only) and the file that adds it.
std::string entry_origin_text(const PathEntry &entry, const std::string &scope);
// "message: subject" for the warnings page.
std::string warning_line(const Warning &warning);

// The position of entries[row] among the own entries; -1 when it is not one of them.
int own_index(const std::vector<PathEntry> &entries, std::size_t row);
int own_count(const std::vector<PathEntry> &entries);
// The position among the own entries that entries[from] takes when it is moved before
// entries[before] (before == entries.size() moves it to the end).
int own_index_moved(const std::vector<PathEntry> &entries, std::size_t from, std::size_t before);

// A list-like value (MANPATH, XDG_DATA_DIRS, PATHEXT) split at each separator, empty items
// kept, so that joining the items again gives the value back.
std::vector<std::string> split_list(const std::string &value, const std::string &separator);
std::string join_list(const std::vector<std::string> &items, const std::string &separator);

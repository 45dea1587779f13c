// The readable views of a listing, shared by `kenv list` and `kenv path`.
#pragma once

#include "listing.h"
#include "output.h"
#include "profiles.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// What the profiles and switched-off entries add to a scope's views.
struct ProfileMarks {
  std::vector<std::string> on;                // the profiles that are on
  std::map<std::string, std::string> vars;    // variable -> the active profile that set it
  std::map<std::string, std::string> entries; // own PATH entry -> the active profile that added it
  std::vector<OffEntry> off;                  // switched-off entries, with their positions
};
// Read from the scope's data directory; empty where it cannot be read.
ProfileMarks marks_of(const std::string &scope, const Listing &listing);

// A listing row, or a switched-off entry in its place (entry == nullptr).
struct PathRow {
  const PathEntry *entry = nullptr;
  const OffEntry *off = nullptr;
};
// The listing's entries with the switched-off ones placed before the own entry that now
// holds their position, the rest at the end. The rows point into both.
std::vector<PathRow> path_rows(const Listing &listing, const ProfileMarks &marks);

// The subject a warning is about: the entry, the variable name and its length.
std::string warning_subject(const Warning &warning);

struct ViewOptions {
  Style style;
  std::size_t max_width = 0; // cut values to this many characters; 0 shows them whole
  ProfileMarks marks;
};

std::string view_header(const Listing &listing, const ViewOptions &opt);
std::string view_variables(const Listing &listing, const ViewOptions &opt);
// PATH entries numbered from 0, with their state and source; switched-off entries at their
// places, state "off".
std::string view_path(const Listing &listing, const ViewOptions &opt);
// The same rows as kenv's own JSON: entry, exists, dup, source, editable, "off" and the
// active profile that added it (or null).
std::string path_json(const Listing &listing, const ProfileMarks &marks);
// "Profiles on (N)" and their names; "" when none is on.
std::string view_profiles(const ViewOptions &opt);
std::string view_warnings(const Listing &listing, const ViewOptions &opt);
// What a new login session gets, in the order it assigns the variables, with the file that
// set each and, where it differs, what a login shell sourcing the export files gets.
std::string view_session(const Listing &listing, const ViewOptions &opt);
// Where the export file is and the line that loads it into sh, bash or zsh.
std::string view_export(const Listing &listing, const ViewOptions &opt);

// How a PATH entry reads in a view: its visible text, or "(empty)" for an empty entry,
// which a shell takes as the current directory.
std::string entry_text(const std::string &entry);

// The readable views of a listing, shared by `kenv list` and `kenv path`.
#pragma once

#include "listing.h"
#include "output.h"

#include <cstddef>
#include <string>

struct ViewOptions {
  Style style;
  std::size_t max_width = 0; // cut values to this many characters; 0 shows them whole
};

std::string view_header(const Listing &listing, const ViewOptions &opt);
std::string view_variables(const Listing &listing, const ViewOptions &opt);
// PATH entries numbered from 0, with their state and source.
std::string view_path(const Listing &listing, const ViewOptions &opt);
std::string view_warnings(const Listing &listing, const ViewOptions &opt);
// What a new login session gets, in the order it assigns the variables, with the file that
// set each and, where it differs, what a login shell sourcing the export files gets.
std::string view_session(const Listing &listing, const ViewOptions &opt);
// Where the export file is and the line that loads it into sh, bash or zsh.
std::string view_export(const Listing &listing, const ViewOptions &opt);

// How a PATH entry reads in a view: its visible text, or "(empty)" for an empty entry,
// which a shell takes as the current directory.
std::string entry_text(const std::string &entry);

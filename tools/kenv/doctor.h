// The checks of `kenv doctor`, each over the listings of both scopes.
#pragma once

#include "listing.h"

#include <string>
#include <vector>

// One check: what it looked at, what it found (each a problem) and what it noted (facts
// that are no problem, such as the PATH lengths it measured).
struct Check {
  std::string title;
  std::vector<std::string> findings;
  std::vector<std::string> notes;
};

struct Scopes {
  Listing user;
  Listing system;
};

Check check_shared_entries(const Scopes &s);
Check check_missing_entries(const Scopes &s);
Check check_path_lengths(const Scopes &s);
Check check_references(const Scopes &s);
Check check_start_up_files(const Scopes &s);
// Stores that cannot be used, and variables whose store and native store disagree (a
// change was interrupted, or the native store was edited by hand).
Check check_library_state(const Scopes &s);

// A reference inside a value: the name and the text that refers to it ("${HOME}").
struct Reference {
  std::string name;
  std::string text;
};

// The references of a value, in order and once per name, read the way sessions expand them:
// %NAME% on Windows (`percent`), $NAME and ${NAME} elsewhere.
std::vector<Reference> references_in(const std::string &value, bool percent);

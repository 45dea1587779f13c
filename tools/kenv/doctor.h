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

// The names of each scope's registry values of type REG_SZ, whose references Windows does
// not expand (the listing does not say which type a value has). Empty off Windows.
struct UnexpandedNames {
  std::vector<std::string> user;
  std::vector<std::string> system;
};

// The checks for the listings' platform, in the order doctor shows them. Windows takes its
// environment from the registry, not from shell start-up files, so it has checks of its own
// where the start-up file check and the shell's PATH limits would be.
std::vector<Check> doctor_checks(const Scopes &s, const UnexpandedNames &unexpanded);

Check check_shared_entries(const Scopes &s);
Check check_missing_entries(const Scopes &s);
Check check_path_lengths(const Scopes &s);
Check check_references(const Scopes &s);
Check check_start_up_files(const Scopes &s);
// Stores that cannot be used, variables whose store and native store disagree (a change
// was interrupted, or the native store was edited by hand), and environment.d lines that
// sessions cannot read.
Check check_library_state(const Scopes &s);
Check check_expanded_entries(const Scopes &s);
Check check_windows_path_length(const Scopes &s);
Check check_unexpanded_values(const Scopes &s, const UnexpandedNames &unexpanded);

// A value with its %NAME% references expanded as Windows expands a REG_EXPAND_SZ value: from
// the user's variables, then the machine's, then kenv's own environment (which has what the
// registry does not hold, such as USERPROFILE). A reference to nothing stays as written.
std::string expand_windows(const std::string &value, const Scopes &s);

// A reference inside a value: the name and the text that refers to it ("${HOME}").
struct Reference {
  std::string name;
  std::string text;
};

// The references of a value, in order and once per name, read the way sessions expand them:
// %NAME% on Windows (`percent`), $NAME and ${NAME} elsewhere.
std::vector<Reference> references_in(const std::string &value, bool percent);

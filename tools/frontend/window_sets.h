// What a window front end does with sets of variables, on top of the documents and the
// changes kenv export and kenv apply make: a scope written to a file, and a file applied to
// a scope after the window has shown what it would change. The window runs both on its
// worker thread.
#pragma once

#include "listing.h"
#include "state.h"
#include "views.h"

#include <string>
#include <vector>

// The scope's state written to the file, as JSON when its name ends in ".json" and in
// environment.d syntax otherwise.
void export_scope(const std::string &scope, const std::string &file);

// The whole file, read as whoever runs this; LibraryError when there is none.
std::string read_document(const std::string &file);

// What applying a document (without pruning) would do: the scope it goes to, the store
// before and after, the changes between them, and the document's bytes as they were read.
struct ApplyPlan {
  ScopeSnapshot now;
  StoreVars after;
  std::vector<Change> changes;
  std::string document;
};
// Reads the file (LibraryError, DocumentError) and plans applying it to the scope the
// document names, else to `scope`.
ApplyPlan plan_apply(const std::string &file, const std::string &scope);
// The same for a document's bytes.
ApplyPlan plan_apply_text(const std::string &text, const std::string &scope);
// The same for a document already read, to `scope` whatever the document names; the plan's
// document stays empty.
ApplyPlan plan_apply_state(const ScopeState &doc, const std::string &scope);
// The plan as one change; refused, with nothing changed, when the scope changed since it was
// planned. Returns the library's note.
std::string carry_out(const ApplyPlan &plan);

// A profile as a window lists it: whether it is on, what it sets and, while on, what it
// replaced ("EDITOR was nano", "GOPATH was not set", "PATH + /opt/go/bin").
struct ProfileRow {
  std::string name;
  bool on = false;
  std::string sets;
  std::string replaced;
};

// What a window shows of a scope's profiles and switched-off PATH entries beside its
// listing, read from the data directory the listing names; empty where it cannot be read.
struct ScopeSets {
  ProfileMarks marks;
  std::vector<ProfileRow> profiles;
};
ScopeSets read_sets(const std::string &scope, const Listing &listing);

// Switches the profile on or off (without force) and says what happened.
std::string switch_profile(const std::string &scope, const std::string &name, bool on);
// A new profile of the named variables as the scope holds them now.
void new_profile(const std::string &scope, const std::string &name, const std::vector<std::string> &names);
// A new profile holding the file's document, read as whoever runs this: kenv-gui's user,
// never kenv-system-helper, which takes the document's bytes (import_profile_text).
void import_profile(const std::string &scope, const std::string &name, const std::string &file);
void import_profile_text(const std::string &scope, const std::string &name, const std::string &text);

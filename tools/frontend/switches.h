// Switching a profile or a PATH entry on and off, each switch one change of the scope with
// its record kept beside the profiles; kenv's commands and the windows call the same
// functions. Refusals are LibraryErrors carrying the words the user sees.
#pragma once

#include "state.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The profile on top of the scope; the number of changes it made, nullopt when it was on
// already (nothing changes then).
std::optional<std::size_t> switch_profile_on(const std::string &scope, const std::string &name);
// What the profile replaced put back; the number of changes. Refused naming each variable
// changed since it went on, unless `force`.
std::size_t switch_profile_off(const std::string &scope, const std::string &name, bool force);
// A profile of the named variables as the scope holds them now; PATH stands for its entries.
ScopeState profile_from_scope(const std::string &scope, const std::vector<std::string> &names);

// The own entry out of PATH, its position remembered.
void switch_entry_off(const std::string &scope, const std::string &entry);
// The entry back at its position (at the end when PATH has become shorter); false when it was
// in PATH already, which changes nothing but forgets the switched-off record.
bool switch_entry_on(const std::string &scope, const std::string &entry);

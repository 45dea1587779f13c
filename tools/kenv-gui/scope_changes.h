// The changes the pages ask for, in the scope they show. Each goes to the library, except
// changes of the system scope once an administrator's route is set (system_edit.h): those
// run as kenv-system-helper through pkexec, and kenv-gui itself never runs as root. Like
// the library's own calls they return a note or throw LibraryError with the words to show.
#pragma once

#include "system_helper.h"
#include "window_sets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Sends every later change of the system scope through the route, or, given nothing, to
// the library again. Safe to call while the worker thread runs changes.
void route_system_changes(std::optional<HelperRoute> route);

void change_set(const std::string &scope, const std::string &name, const std::string &value);
void change_del(const std::string &scope, const std::string &name);
std::string change_path_add(const std::string &scope, const std::string &entry, std::int32_t index);
std::string change_path_del(const std::string &scope, const std::string &entry);
std::string change_path_move(const std::string &scope, const std::string &entry, std::int32_t index);
// PATH switches and profiles, as switches.h and window_sets.h have them.
bool change_entry_on(const std::string &scope, const std::string &entry);
void change_entry_off(const std::string &scope, const std::string &entry);
std::string change_profile_switch(const std::string &scope, const std::string &name, bool on);
void change_profile_new(const std::string &scope, const std::string &name,
                        const std::vector<std::string> &names);
void change_profile_import(const std::string &scope, const std::string &name, const std::string &file);
void change_profile_remove(const std::string &scope, const std::string &name);
// The planned apply, carried out as window_sets.h's carry_out does; the system helper gets
// the document's bytes the plan was made from.
std::string change_apply(const ApplyPlan &plan);

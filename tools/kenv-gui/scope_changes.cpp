#include "scope_changes.h"

#include "library.h"
#include "profiles.h"
#include "switches.h"
#include "window_sets.h"

#include <mutex>

namespace {

std::mutex g_route_mu;
std::optional<HelperRoute> g_route;

std::optional<HelperRoute> route_for(const std::string &scope) {
  if (scope != "system")
    return std::nullopt;
  std::lock_guard lock(g_route_mu);
  return g_route;
}

} // namespace

void route_system_changes(std::optional<HelperRoute> route) {
  std::lock_guard lock(g_route_mu);
  g_route = std::move(route);
}

void change_set(const std::string &scope, const std::string &name, const std::string &value) {
  if (auto route = route_for(scope))
    run_through_helper(*route, {"set", {name, value}});
  else
    lib_set(scope, name, value);
}

void change_del(const std::string &scope, const std::string &name) {
  if (auto route = route_for(scope))
    run_through_helper(*route, {"unset", {name}});
  else
    lib_del(scope, name);
}

std::string change_path_add(const std::string &scope, const std::string &entry, std::int32_t index) {
  if (auto route = route_for(scope))
    return run_through_helper(*route, {"path-add", {entry, std::to_string(index)}});
  return lib_path_add(scope, entry, index);
}

std::string change_path_del(const std::string &scope, const std::string &entry) {
  if (auto route = route_for(scope))
    return run_through_helper(*route, {"path-rm", {entry}});
  return lib_path_del(scope, entry);
}

std::string change_path_move(const std::string &scope, const std::string &entry, std::int32_t index) {
  if (auto route = route_for(scope))
    return run_through_helper(*route, {"path-mv", {entry, std::to_string(index)}});
  return lib_path_move(scope, entry, index);
}

bool change_entry_on(const std::string &scope, const std::string &entry) {
  if (auto route = route_for(scope))
    return run_through_helper(*route, {"path-on", {entry}}) != path_on_present;
  return switch_entry_on(scope, entry);
}

void change_entry_off(const std::string &scope, const std::string &entry) {
  if (auto route = route_for(scope))
    run_through_helper(*route, {"path-off", {entry}});
  else
    switch_entry_off(scope, entry);
}

std::string change_profile_switch(const std::string &scope, const std::string &name, bool on) {
  if (auto route = route_for(scope))
    return run_through_helper(*route, {on ? "profile-on" : "profile-off", {name}});
  return switch_profile(scope, name, on);
}

void change_profile_new(const std::string &scope, const std::string &name,
                        const std::vector<std::string> &names) {
  std::vector<std::string> args{name};
  args.insert(args.end(), names.begin(), names.end());
  if (auto route = route_for(scope))
    run_through_helper(*route, {"profile-new", args});
  else
    new_profile(scope, name, names);
}

void change_profile_import(const std::string &scope, const std::string &name, const std::string &file) {
  auto route = route_for(scope);
  if (!route)
    return import_profile(scope, name, file);
  // Read here, as the user: the helper takes the document's bytes and opens no file. A
  // document it would refuse is refused now, before anyone is asked for a password.
  std::string text = read_document(file);
  parse_state(text);
  run_through_helper(*route, {"profile-import", {name, text}});
}

void change_profile_remove(const std::string &scope, const std::string &name) {
  if (auto route = route_for(scope))
    run_through_helper(*route, {"profile-rm", {name}});
  else
    remove_profile(scope, name);
}

std::string change_apply(const ApplyPlan &plan) {
  if (auto route = route_for(plan.now.scope))
    return run_through_helper(*route, {"apply", {plan.document, applied_lines(plan.changes)}});
  return carry_out(plan);
}

#include "run_request.h"

#include "library.h"
#include "output.h"
#include "profiles.h"
#include "switches.h"
#include "window_sets.h"

namespace {

const std::string system_scope = "system";

// DOCUMENT as kenv apply reads it, refused when it names another scope.
ScopeState system_document(const std::string &text) {
  ScopeState doc = parse_state(text);
  if (!doc.scope.empty() && doc.scope != system_scope)
    throw DocumentError("the document is for the '" + visible(doc.scope) + "' scope, not the " +
                        system_scope + " scope");
  return doc;
}

// The apply the user confirmed, planned again from the same bytes.
std::string apply_document(const std::string &text, const std::string &lines) {
  ApplyPlan plan = plan_apply_state(system_document(text), system_scope);
  if (applied_lines(plan.changes) != lines)
    throw LibraryError("the system scope changed since the changes were shown; nothing was changed");
  return carry_out(plan);
}

// The changes of the window's other pages: PATH switches and profiles.
std::optional<std::string> run_set_request(const SystemRequest &r) {
  if (r.operation == "path-on")
    return switch_entry_on(system_scope, r.args[0]) ? std::string() : std::string(path_on_present);
  if (r.operation == "path-off") {
    switch_entry_off(system_scope, r.args[0]);
    return std::string();
  }
  if (r.operation == "profile-on" || r.operation == "profile-off")
    return switch_profile(system_scope, r.args[0], r.operation == "profile-on");
  if (r.operation == "profile-new") {
    new_profile(system_scope, r.args[0], {r.args.begin() + 1, r.args.end()});
    return std::string();
  }
  if (r.operation == "profile-import") {
    import_profile_text(system_scope, r.args[0], r.args[1]);
    return std::string();
  }
  if (r.operation == "apply")
    return apply_document(r.args[0], r.args[1]);
  if (r.operation == "profile-rm") {
    remove_profile(system_scope, r.args[0]);
    return std::string();
  }
  return std::nullopt;
}

} // namespace

std::string applied_lines(const std::vector<Change> &changes) {
  std::string lines;
  for (const Change &c : changes)
    lines += diff_line(c) + '\n';
  return lines;
}

std::string run_request(const SystemRequest &r) {
  if (auto note = run_set_request(r))
    return *note;
  if (r.operation == "set") {
    lib_set(system_scope, r.args[0], r.args[1]);
    return {};
  }
  if (r.operation == "unset") {
    lib_del(system_scope, r.args[0]);
    return {};
  }
  if (r.operation == "path-rm")
    return lib_path_del(system_scope, r.args[0]);
  std::int32_t index = request_index(r.args[1]).value();
  return r.operation == "path-add" ? lib_path_add(system_scope, r.args[0], index)
                                   : lib_path_move(system_scope, r.args[0], index);
}

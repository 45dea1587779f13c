#include "window_sets.h"

#include "library.h"
#include "private_files.h"

void export_scope(const std::string &scope, const std::string &file) {
  bool json = file.size() >= 5 && file.compare(file.size() - 5, 5, ".json") == 0;
  ScopeState state = state_of(read_snapshot(scope));
  write_private_file(file, write_state(state, json ? StateFormat::json : StateFormat::env));
}

ApplyPlan plan_apply(const std::string &file, const std::string &scope) {
  std::optional<std::string> text = read_text_file(file);
  if (!text)
    throw LibraryError("cannot read " + file + " (no such file)");
  ScopeState doc = parse_state(*text);
  if (!doc.scope.empty() && doc.scope != "user" && doc.scope != "system")
    throw DocumentError("the document's scope '" + doc.scope + "' is neither user nor system");
  ApplyPlan plan{read_snapshot(doc.scope.empty() ? scope : doc.scope), {}, {}};
  std::vector<std::string> kept;
  plan.after = compose_apply(plan.now, doc, false, kept);
  plan.changes = changes_between(plan.now.store, plan.after, plan.now.sep);
  return plan;
}

std::string carry_out(const ApplyPlan &plan) {
  return plan.changes.empty() ? std::string() : commit_store(plan.now, plan.after);
}

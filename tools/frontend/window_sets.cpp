#include "window_sets.h"

#include "library.h"
#include "output.h"
#include "platform_rules.h"
#include "private_files.h"
#include "profiles.h"
#include "switches.h"

void export_scope(const std::string &scope, const std::string &file) {
  bool json = file.size() >= 5 && file.compare(file.size() - 5, 5, ".json") == 0;
  ScopeState state = state_of(read_snapshot(scope));
  write_private_file(file, write_state(state, json ? StateFormat::json : StateFormat::env));
}

std::string read_document(const std::string &file) {
  return read_document_file(file);
}

ApplyPlan plan_apply(const std::string &file, const std::string &scope) {
  return plan_apply_text(read_document(file), scope);
}

ApplyPlan plan_apply_text(const std::string &text, const std::string &scope) {
  // parse_state refuses a scope other than user, system or none.
  ScopeState doc = parse_state(text);
  ApplyPlan plan = plan_apply_state(doc, doc.scope.empty() ? scope : doc.scope);
  plan.document = text;
  return plan;
}

ApplyPlan plan_apply_state(const ScopeState &doc, const std::string &scope) {
  ApplyPlan plan{read_snapshot(scope), {}, {}, {}};
  std::vector<std::string> kept;
  plan.after = compose_apply(plan.now, doc, false, kept);
  plan.changes = changes_between(plan.now.store, plan.after, plan.now.sep);
  return plan;
}

std::string carry_out(const ApplyPlan &plan) {
  return plan.changes.empty() ? std::string() : commit_store(plan.now, plan.after);
}

namespace {

std::string joined(const std::vector<std::string> &items) {
  std::string out;
  for (const std::string &item : items)
    out += (out.empty() ? "" : ", ") + item;
  return out;
}

std::string sets_text(const ScopeState &profile) {
  std::vector<std::string> items;
  for (const StateVar &v : profile.vars)
    items.push_back(visible(v.name) + "=" + visible(v.value));
  for (const std::string &e : profile.path)
    items.push_back("PATH + " + visible(e));
  return joined(items);
}

std::string replaced_text(const ProfileRecord &record) {
  std::vector<std::string> items;
  for (const auto &[name, value] : record.replaced)
    items.push_back(visible(name) + (value ? " was " + visible(*value) : " was not set"));
  for (const std::string &e : record.path_added)
    items.push_back("PATH + " + visible(e));
  return items.empty() ? "nothing" : joined(items);
}

ProfileRow profile_row(const std::string &dir, const std::string &name,
                       const std::vector<ProfileRecord> &active) {
  ProfileRow row{name, false, "", ""};
  try {
    std::optional<std::string> text = read_text_file(dir + "/" + name + ".json");
    row.sets = text ? sets_text(parse_state(*text)) : "";
  } catch (const std::exception &e) {
    row.sets = e.what();
  }
  if (const ProfileRecord *record = find_active(active, name)) {
    row.on = true;
    row.replaced = replaced_text(*record);
  }
  return row;
}

} // namespace

ScopeSets read_sets(const std::string &scope, const Listing &listing) {
  ScopeSets sets;
  sets.marks = marks_of(scope, listing);
  try {
    ScopeSnapshot now = snapshot_of(scope, listing);
    std::string dir = profiles_dir(scope, now.data_dir);
    std::vector<ProfileRecord> active = records_of(now).on;
    for (const std::string &name : files_ending(dir, ".json"))
      sets.profiles.push_back(profile_row(dir, name, active));
  } catch (const LibraryError &) {
    // The other pages stay useful when the data directory cannot be read.
  }
  return sets;
}

std::string switch_profile(const std::string &scope, const std::string &name, bool on) {
  if (!on) {
    switch_profile_off(scope, name, false);
    return std::string();
  }
  return switch_profile_on(scope, name) ? std::string()
                                        : "profile '" + name + "' is on already; nothing changed";
}

void new_profile(const std::string &scope, const std::string &name, const std::vector<std::string> &names) {
  save_profile(scope, name, profile_from_scope(scope, names));
}

void import_profile(const std::string &scope, const std::string &name, const std::string &file) {
  import_profile_text(scope, name, read_document(file));
}

void import_profile_text(const std::string &scope, const std::string &name, const std::string &text) {
  ScopeState profile = parse_state(text);
  check_document(profile);
  save_profile(scope, name, profile);
}

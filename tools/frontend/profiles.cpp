#include "profiles.h"

#include "json_doc.h"
#include "library.h"
#include "output.h"
#include "platform_rules.h"
#include "private_files.h"

#include <algorithm>
#include <filesystem>

namespace {

std::string profile_path(const std::string &scope, const std::string &name) {
  return profiles_dir(scope) + "/" + name + ".json";
}

yyjson_mut_val *record_json(yyjson_mut_doc *d, const ProfileRecord &r) {
  yyjson_mut_val *root = yyjson_mut_obj(d);
  json_add(d, root, "profile", json_text(d, r.profile));
  json_add(d, root, "set", json_vars(d, r.set));
  yyjson_mut_val *replaced = yyjson_mut_arr(d);
  for (const auto &[name, value] : r.replaced) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    json_add(d, o, "name", json_text(d, name));
    json_add(d, o, "value", json_optional(d, value));
    yyjson_mut_arr_append(replaced, o);
  }
  json_add(d, root, "replaced", replaced);
  json_add(d, root, "path_added", json_texts(d, r.path_added));
  json_add(d, root, "path_was_unset", yyjson_mut_bool(d, r.path_was_unset));
  return root;
}

ProfileRecord parse_record(yyjson_val *root) {
  ProfileRecord r;
  r.profile = json_str(yyjson_obj_get(root, "profile"));
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(yyjson_obj_get(root, "set"), i, n, v) {
    r.set.push_back({json_str(yyjson_obj_get(v, "name")), json_str(yyjson_obj_get(v, "value"))});
  }
  yyjson_arr_foreach(yyjson_obj_get(root, "replaced"), i, n, v) {
    yyjson_val *value = yyjson_obj_get(v, "value");
    r.replaced.emplace_back(json_str(yyjson_obj_get(v, "name")),
                            yyjson_is_str(value) ? std::optional(json_str(value)) : std::nullopt);
  }
  r.path_added = json_str_list(yyjson_obj_get(root, "path_added"));
  r.path_was_unset = yyjson_is_true(yyjson_obj_get(root, "path_was_unset"));
  return r;
}

// The active profile other than `name` that owns the variable or entry, if any.
void refuse_overlap(const ProfileRecord &other, const ScopeState &profile) {
  for (const StateVar &v : profile.vars)
    if (find_var(other.set, v.name))
      throw LibraryError("refused: '" + visible(v.name) + "' is set by the active profile '" + other.profile +
                         "'");
  for (const std::string &e : profile.path)
    if (has_entry(other.path_added, e))
      throw LibraryError("refused: PATH entry '" + visible(e) + "' was added by the active profile '" +
                         other.profile + "'");
}

std::string quoted_list(const std::vector<std::string> &names) {
  std::string out;
  for (const std::string &n : names)
    out += (out.empty() ? "'" : ", '") + visible(n) + "'";
  return out;
}

} // namespace

void check_profile_name(const std::string &name) {
  bool ok = !name.empty() && name[0] != '.' && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
  if (!ok)
    throw DocumentError("'" + visible(name) +
                        "' is not a profile name (letters, digits, '-', '_' and '.', not first '.')");
}

std::string profiles_dir(const std::string &scope, const std::string &data_dir) {
  return (data_dir.empty() ? scope_data_dir(scope) : data_dir) + "/profiles";
}

std::vector<std::string> profile_names(const std::string &scope) {
  return files_ending(profiles_dir(scope), ".json");
}

ScopeState read_profile(const std::string &scope, const std::string &name) {
  check_profile_name(name);
  std::optional<std::string> text = read_text_file(profile_path(scope, name));
  if (!text)
    throw LibraryError("no profile '" + name + "' in the " + scope + " scope");
  try {
    return parse_state(*text);
  } catch (const DocumentError &e) {
    throw LibraryError("profile '" + name + "': " + e.what());
  }
}

void save_profile(const std::string &scope, const std::string &name, const ScopeState &profile) {
  check_profile_name(name);
  if (read_text_file(profile_path(scope, name)))
    throw LibraryError("a profile '" + name + "' exists already in the " + scope + " scope");
  ScopeState doc = profile;
  doc.scope = scope;
  write_private_file(profile_path(scope, name), write_state(doc, StateFormat::json));
}

void remove_profile(const std::string &scope, const std::string &name) {
  check_profile_name(name);
  if (find_active(active_profiles(scope), name))
    throw LibraryError("refused: profile '" + name + "' is on; switch it off first (kenv profile off " +
                       name + ")");
  if (!read_text_file(profile_path(scope, name)))
    throw LibraryError("no profile '" + name + "' in the " + scope + " scope");
  remove_file(profile_path(scope, name));
}

const ProfileRecord *find_active(const std::vector<ProfileRecord> &active, const std::string &name) {
  auto at =
      std::find_if(active.begin(), active.end(), [&](const ProfileRecord &r) { return r.profile == name; });
  return at == active.end() ? nullptr : &*at;
}

ProfileSwitch compose_on(const ScopeSnapshot &now, const std::string &name, const ScopeState &profile,
                         const std::vector<ProfileRecord> &active) {
  for (const ProfileRecord &other : active)
    if (other.profile != name)
      refuse_overlap(other, profile);
  ProfileSwitch out;
  out.record.profile = name;
  out.record.set = profile.vars;
  for (const StateVar &v : profile.vars) {
    const StateVar *old = find_var(now.store, v.name);
    out.record.replaced.emplace_back(v.name, old ? std::optional(old->value) : std::nullopt);
  }
  std::vector<std::string> path = path_of(now.store, now.sep);
  for (const std::string &e : profile.path)
    if (!has_entry(path, e) && !has_entry(out.record.path_added, e))
      out.record.path_added.push_back(e);
  out.record.path_was_unset = !find_var(now.store, "PATH");
  std::vector<std::string> kept;
  out.after = compose_apply(now, profile, false, kept);
  return out;
}

StoreVars compose_off(const ScopeSnapshot &now, const ProfileRecord &record, bool force) {
  std::vector<std::string> changed;
  for (const StateVar &v : record.set) {
    const StateVar *current = find_var(now.store, v.name);
    if (!current || current->value != v.value)
      changed.push_back(v.name);
  }
  if (!changed.empty() && !force)
    throw LibraryError("refused: changed since profile '" + record.profile + "' went on: " +
                       quoted_list(changed) + "; add --force to put back what it replaced all the same");
  StoreVars after = now.store;
  for (const auto &[name, value] : record.replaced)
    put_var(after, name, value);
  std::vector<std::string> path = path_of(after, now.sep), kept;
  for (const std::string &e : path)
    if (!has_entry(record.path_added, e))
      kept.push_back(e);
  if (kept.empty() && record.path_was_unset && find_var(after, "PATH"))
    put_var(after, "PATH", std::nullopt);
  else if (kept != path)
    put_path(after, kept, now.sep);
  return after;
}

namespace {

std::vector<OffEntry> parse_off(yyjson_val *list) {
  std::vector<OffEntry> out;
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(list, i, n, v) {
    yyjson_val *pos = yyjson_obj_get(v, "position");
    out.push_back({json_str(yyjson_obj_get(v, "entry")), yyjson_is_uint(pos) ? yyjson_get_uint(pos) : 0});
  }
  return out;
}

ScopeRecords parse_records(const std::string &text) {
  ScopeRecords out;
  ReadDoc doc = read_json(text);
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(yyjson_obj_get(root, "profiles_on"), i, n, v) {
    out.on.push_back(parse_record(v));
  }
  out.off = parse_off(yyjson_obj_get(root, "path_off"));
  return out;
}

std::string legacy_on_dir(const std::string &data_dir) {
  return data_dir + "/profiles/.on";
}

std::string legacy_off_file(const std::string &data_dir) {
  return data_dir + "/path-off.json";
}

// The records as an earlier version kept them, in files beside the store.
ScopeRecords legacy_records(const std::string &data_dir) {
  ScopeRecords out;
  std::string dir = legacy_on_dir(data_dir);
  for (const std::string &name : files_ending(dir, ".json"))
    if (std::optional<std::string> text = read_text_file(dir + "/" + name + ".json")) {
      ReadDoc doc = read_json(*text);
      out.on.push_back(parse_record(yyjson_doc_get_root(doc.get())));
      out.on.back().profile = name;
    }
  if (std::optional<std::string> text = read_text_file(legacy_off_file(data_dir))) {
    ReadDoc doc = read_json(*text);
    out.off = parse_off(yyjson_obj_get(yyjson_doc_get_root(doc.get()), "entries"));
  }
  return out;
}

void remove_legacy_records(const std::string &data_dir) {
  std::error_code ec;
  std::filesystem::remove_all(legacy_on_dir(data_dir), ec);
  std::filesystem::remove(legacy_off_file(data_dir), ec);
}

} // namespace

ScopeRecords records_of(const ScopeSnapshot &snap) {
  ScopeRecords out;
  try {
    if (snap.records)
      out = parse_records(*snap.records);
    else if (!snap.data_dir.empty())
      out = legacy_records(snap.data_dir);
  } catch (const LibraryError &e) {
    throw LibraryError("the " + snap.scope +
                       " scope's records of profiles and PATH entries cannot be read (" + e.what() + ")");
  }
  return out;
}

void forget_entries_in_path(std::vector<OffEntry> &off, const StoreVars &store, char sep) {
  std::vector<std::string> path = path_of(store, sep);
  std::erase_if(off, [&](const OffEntry &e) { return has_entry(path, e.entry); });
}

std::string records_text(const ScopeRecords &records) {
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yyjson_mut_obj(d);
  yyjson_mut_val *on = yyjson_mut_arr(d);
  for (const ProfileRecord &r : records.on)
    yyjson_mut_arr_append(on, record_json(d, r));
  json_add(d, root, "profiles_on", on);
  yyjson_mut_val *off = yyjson_mut_arr(d);
  for (const OffEntry &e : records.off) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    json_add(d, o, "entry", json_text(d, e.entry));
    json_add(d, o, "position", yyjson_mut_uint(d, e.position));
    yyjson_mut_arr_append(off, o);
  }
  json_add(d, root, "path_off", off);
  return json_write(d, root, 0);
}

void commit_records(const ScopeSnapshot &before, const StoreVars &after, ScopeRecords records) {
  forget_entries_in_path(records.off, after, before.sep);
  // A scope with nothing switched keeps no records, so that switching a profile on and off
  // again leaves the store as it was.
  bool none = records.on.empty() && records.off.empty();
  commit_store(before, after, none ? std::nullopt : std::optional(records_text(records)));
  if (!before.records && !before.data_dir.empty())
    remove_legacy_records(before.data_dir);
}

std::vector<ProfileRecord> active_profiles(const std::string &scope) {
  return records_of(read_snapshot(scope)).on;
}

std::vector<OffEntry> path_off_entries(const std::string &scope) {
  ScopeSnapshot now = read_snapshot(scope);
  std::vector<OffEntry> off = records_of(now).off;
  forget_entries_in_path(off, now.store, now.sep);
  return off;
}

#include "state.h"

#include "backup_files.h"
#include "json_doc.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "platform_rules.h"
#include "posix/posix.h"
#include "private_files.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <yyjson.h>

namespace {

constexpr const char *format_name = "kenv-state/1";
constexpr const char *env_banner = "# kenv-state/1 scope=";

std::string state_json(const ScopeState &st) {
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yyjson_mut_obj(d);
  json_add(d, root, "format", yyjson_mut_str(d, format_name));
  json_add(d, root, "scope", json_text(d, st.scope));
  yyjson_mut_val *vars = json_vars(d, st.vars);
  for (const std::string &name : st.absent) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    json_add(d, o, "name", json_text(d, name));
    json_add(d, o, "value", yyjson_mut_null(d));
    yyjson_mut_arr_append(vars, o);
  }
  json_add(d, root, "vars", vars);
  yyjson_mut_val *path = yyjson_mut_arr(d);
  for (const std::string &e : st.path)
    yyjson_mut_arr_append(path, json_text(d, e));
  json_add(d, root, "path", path);
  return json_write(d, root, YYJSON_WRITE_PRETTY_TWO_SPACES) + "\n";
}

std::string state_env(const ScopeState &st) {
  std::string out = env_banner + st.scope + "\n";
  for (const StateVar &v : st.vars)
    out += envd_assignment(v.name, v.value, false);
  if (!st.path.empty())
    out += envd_assignment("PATH", join_entries(st.path, ':'), true);
  return out;
}

// --- reading ---

// A document names its scope or none; any other word would be written back into a banner
// line it might break, and no scope could take the document anyway.
std::string checked_scope(std::string scope) {
  if (!scope.empty() && scope != "user" && scope != "system")
    throw DocumentError("the document's scope '" + visible(scope) + "' is neither user nor system");
  return scope;
}

void claim_name(std::set<std::string> &seen, const std::string &name, const std::string &where) {
  if (name == "PATH")
    throw DocumentError(where + "PATH belongs in the document's PATH entries, not among its variables");
  if (!seen.insert(name).second)
    throw DocumentError(where + "'" + visible(name) + "' is given twice");
}

void add_unique(ScopeState &st, std::set<std::string> &seen, StateVar v, const std::string &where) {
  claim_name(seen, v.name, where);
  st.vars.push_back(std::move(v));
}

// Every byte of a text the document gives, NUL included: a NUL would cut the text wherever it
// becomes a C string, so it is refused.
std::string text_of(yyjson_val *v, const std::string &what) {
  std::string s = json_str(v);
  if (s.find('\0') != std::string::npos)
    throw DocumentError(what + " holds a NUL character");
  return s;
}

// The object's members, each key once, every key one of `known`: a misspelled or repeated
// member would otherwise be read as missing, or silently dropped.
void check_members(yyjson_val *obj, std::initializer_list<std::string_view> known, const std::string &where) {
  std::set<std::string> seen;
  yyjson_obj_iter members = yyjson_obj_iter_with(obj);
  while (yyjson_val *key = yyjson_obj_iter_next(&members)) {
    std::string k = json_str(key);
    if (std::find(known.begin(), known.end(), k) == known.end())
      throw DocumentError(where + "unknown member \"" + visible(k) + "\"");
    if (!seen.insert(k).second)
      throw DocumentError(where + "member \"" + visible(k) + "\" is given twice");
  }
}

yyjson_val *array_member(yyjson_val *root, const char *key) {
  yyjson_val *v = yyjson_obj_get(root, key);
  if (!v)
    throw DocumentError(std::string("the document has no \"") + key +
                        "\" (kenv export writes both \"vars\" and \"path\")");
  if (!yyjson_is_arr(v))
    throw DocumentError(std::string("\"") + key + "\" is not a list");
  return v;
}

std::size_t line_at(const std::string &text, std::size_t pos) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<long>(pos), '\n'));
}

// Malformed JSON is named by the line and column where reading stopped.
ReadDoc read_document_json(const std::string &text) {
  yyjson_read_err err{};
  // Without YYJSON_READ_INSITU the text is only read, never written.
  ReadDoc doc(yyjson_read_opts(const_cast<char *>(text.data()), text.size(),
                               YYJSON_READ_ALLOW_INVALID_UNICODE, nullptr, &err));
  if (doc)
    return doc;
  std::size_t pos = std::min(err.pos, text.size());
  std::size_t line_start = pos == 0 ? std::string::npos : text.rfind('\n', pos - 1);
  std::size_t column = line_start == std::string::npos ? pos + 1 : pos - line_start;
  throw DocumentError("line " + std::to_string(line_at(text, pos)) + ", column " + std::to_string(column) +
                      ": not JSON (" + (err.msg ? err.msg : "unreadable") + ")");
}

void read_var(ScopeState &st, std::set<std::string> &seen, std::size_t i, yyjson_val *v) {
  std::string where = "\"vars\" element " + std::to_string(i) + ": ";
  if (!yyjson_is_obj(v))
    throw DocumentError(where + "needs a text \"name\" and a text or null \"value\"");
  check_members(v, {"name", "value"}, where);
  yyjson_val *name = yyjson_obj_get(v, "name"), *value = yyjson_obj_get(v, "value");
  if (!yyjson_is_str(name) || !(yyjson_is_str(value) || yyjson_is_null(value)))
    throw DocumentError(where + "needs a text \"name\" and a text or null \"value\"");
  std::string n = text_of(name, where + "the name");
  if (yyjson_is_str(value)) {
    add_unique(st, seen, {n, text_of(value, where + "the value")}, where);
  } else {
    claim_name(seen, n, where);
    st.absent.push_back(n);
  }
}

ScopeState parse_json(const std::string &text) {
  ReadDoc doc = read_document_json(text);
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root))
    throw DocumentError("the document is not JSON (nor environment.d lines)");
  check_members(root, {"format", "scope", "vars", "path"}, "");
  yyjson_val *format = yyjson_obj_get(root, "format");
  if (!yyjson_is_str(format) || json_str(format) != format_name)
    throw DocumentError("unknown \"format\" (expected \"kenv-state/1\")");
  ScopeState st;
  if (yyjson_val *scope = yyjson_obj_get(root, "scope"); scope && !yyjson_is_null(scope)) {
    if (!yyjson_is_str(scope))
      throw DocumentError("\"scope\" is not text");
    st.scope = checked_scope(text_of(scope, "\"scope\""));
  }
  yyjson_val *vars = array_member(root, "vars"), *path = array_member(root, "path");
  std::set<std::string> seen;
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(vars, i, n, v) {
    read_var(st, seen, i, v);
  }
  yyjson_arr_foreach(path, i, n, v) {
    std::string where = "\"path\" element " + std::to_string(i);
    if (!yyjson_is_str(v))
      throw DocumentError(where + " is not text");
    st.path.push_back(text_of(v, where));
  }
  return st;
}

// Lines outside every assignment must be blank or comments: anything else means the text
// is not environment.d syntax, which systemd would silently skip.
void check_uncovered(const std::string &text, const envd_text &parsed) {
  std::vector<bool> covered(text.size(), false);
  for (const envd_entry &e : parsed.entries)
    std::fill(covered.begin() + static_cast<long>(e.begin), covered.begin() + static_cast<long>(e.end), true);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::size_t first = text.find_first_not_of(" \t\r", start);
    bool blank_or_comment = first >= end || text[first] == '#' || text[first] == ';';
    if (!covered[start] && !blank_or_comment)
      throw DocumentError("line " + std::to_string(line_at(text, start)) +
                          ": not NAME=value (the document is neither JSON nor environment.d lines)");
    start = end + 1;
  }
}

ScopeState parse_env(const std::string &given) {
  if (given.find('\0') != std::string::npos)
    throw DocumentError("the document holds a NUL byte");
  // Lines may end in CRLF, as a file written on Windows does.
  std::string text;
  text.reserve(given.size());
  for (std::size_t i = 0; i < given.size(); ++i)
    if (given[i] != '\r' || i + 1 >= given.size() || given[i + 1] != '\n')
      text += given[i];
  envd_text parsed;
  envd_parse(text, parsed);
  check_uncovered(text, parsed);
  ScopeState st;
  // The banner's line ends where systemd's does, at a newline or a carriage return.
  constexpr std::size_t banner_length = std::char_traits<char>::length(env_banner);
  if (text.rfind(env_banner, 0) == 0)
    st.scope =
        checked_scope(text.substr(banner_length, text.find_first_of("\n\r", banner_length) - banner_length));
  std::set<std::string> seen;
  std::size_t line = 1, counted = 0; // the line number at offset `counted`, carried forward
  for (const envd_entry &e : parsed.entries) {
    line += static_cast<std::size_t>(std::count(text.begin() + static_cast<long>(counted),
                                                text.begin() + static_cast<long>(e.begin), '\n'));
    counted = e.begin;
    std::string where = "line " + std::to_string(line) + ": ";
    if (!envd_name_valid(e.name))
      throw DocumentError(where + "'" + visible(e.name) + "' is not a valid variable name");
    // Line ends may be CRLF, so a carriage return in a value would not read back the same.
    if (e.value.find('\r') != std::string::npos)
      throw DocumentError(where + "the value of '" + visible(e.name) +
                          "' holds a carriage return; write such a value in the JSON format");
    if (e.name == "PATH") {
      if (!seen.insert("PATH").second)
        throw DocumentError(where + "'PATH' is given twice");
      st.path = split_entries(envd_own_value(e.value, true), ':');
      continue;
    }
    add_unique(st, seen, {e.name, envd_own_value(e.value, false)}, where);
  }
  return st;
}

bool starts_json(const std::string &text) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && (text[first] == '{' || text[first] == '[');
}

// --- composing ---

// The entries of `list` that `other` lacks, compared as the library compares entries.
std::vector<std::string> without(const std::vector<std::string> &list,
                                 const std::vector<std::string> &other) {
  std::vector<std::string> out;
  for (const std::string &e : list)
    if (!has_entry(other, e))
      out.push_back(e);
  return out;
}

bool same_order(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const std::string &x, const std::string &y) { return same_entry(x, y); });
}

// Where each name's first record is: documents of thousands of variables are looked up by
// name, never searched.
std::unordered_map<std::string, std::size_t> positions(const StoreVars &vars) {
  std::unordered_map<std::string, std::size_t> at;
  at.reserve(vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i)
    at.emplace(vars[i].name, i);
  return at;
}

bool is_protected(const ScopeSnapshot &snap, const std::string &name) {
  return std::find(snap.protected_names.begin(), snap.protected_names.end(), name) !=
         snap.protected_names.end();
}

} // namespace

std::string write_state(const ScopeState &state, StateFormat format) {
  return format == StateFormat::json ? state_json(state) : state_env(state);
}

ScopeState parse_state(const std::string &given) {
  // Notepad and other Windows editors begin a UTF-8 file with a byte order mark.
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  std::string text = given.rfind(bom, 0) == 0 ? given.substr(bom.size()) : given;
  if (text.find_first_not_of(" \t\r\n") == std::string::npos)
    throw DocumentError("the document is empty");
  return starts_json(text) ? parse_json(text) : parse_env(text);
}

ScopeSnapshot read_snapshot(const std::string &scope) {
  return snapshot_of(scope, parse_listing(lib_list(scope)));
}

namespace {

// The store's variables in the store's own order: the listing shows them among the native
// ones, under the native spelling where the platform folds letter case.
StoreVars in_store_order(const Listing &listing) {
  StoreVars listed;
  for (const Variable &v : listing.vars)
    if (v.source == "overlay")
      listed.push_back({v.name, v.value});
  if (listing.store_order.size() != listed.size())
    return listed;
  bool fold = listing.platform == "windows";
  auto folded = [fold](std::string name) {
    if (fold)
      for (char &c : name)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return name;
  };
  std::unordered_map<std::string, std::size_t> at;
  for (std::size_t i = 0; i < listed.size(); ++i)
    at.emplace(folded(listed[i].name), i);
  StoreVars ordered;
  ordered.reserve(listed.size());
  for (const std::string &name : listing.store_order) {
    auto found = at.find(folded(name));
    if (found == at.end())
      return listed;
    ordered.push_back(listed[found->second]);
  }
  return ordered;
}

} // namespace

ScopeSnapshot snapshot_of(const std::string &scope, const Listing &listing) {
  ScopeSnapshot snap;
  snap.scope = scope;
  snap.sep = listing.path_sep.empty() ? ':' : listing.path_sep[0];
  snap.store = in_store_order(listing);
  snap.protected_names = listing.protected_delete;
  snap.records = listing.records;
  for (const Warning &w : listing.warnings)
    if (w.code == "utf8" && w.name)
      snap.not_utf8.push_back(*w.name);
  try {
    snap.data_dir = scope_data_dir(scope, listing.export_file);
  } catch (const LibraryError &) {
    // Only the backup's name is missed: apply reports the change without it.
  }
  return snap;
}

ScopeState state_of(const ScopeSnapshot &snap) {
  ScopeState st{snap.scope, {}, path_of(snap.store, snap.sep), {}};
  for (const StateVar &v : snap.store)
    if (v.name != "PATH")
      st.vars.push_back(v);
  return st;
}

std::vector<std::string> split_entries(const std::string &value, char sep) {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (std::size_t end; (end = value.find(sep, at)) != std::string::npos; at = end + 1)
    out.push_back(value.substr(at, end - at));
  out.push_back(value.substr(at));
  std::erase(out, "");
  return out;
}

std::string join_entries(const std::vector<std::string> &entries, char sep) {
  std::string out;
  for (std::size_t i = 0; i < entries.size(); ++i)
    out += (i ? std::string(1, sep) : "") + entries[i];
  return out;
}

const StateVar *find_var(const StoreVars &store, const std::string &name) {
  auto at = std::find_if(store.begin(), store.end(), [&](const StateVar &v) { return v.name == name; });
  return at == store.end() ? nullptr : &*at;
}

std::vector<std::string> path_of(const StoreVars &store, char sep) {
  const StateVar *path = find_var(store, "PATH");
  return path ? split_entries(path->value, sep) : std::vector<std::string>{};
}

void put_var(StoreVars &store, const std::string &name, const std::optional<std::string> &value) {
  auto at = std::find_if(store.begin(), store.end(), [&](const StateVar &v) { return v.name == name; });
  if (!value) {
    if (at != store.end())
      store.erase(at);
  } else if (at != store.end()) {
    at->value = *value;
  } else {
    store.push_back({name, *value});
  }
}

void put_path(StoreVars &store, const std::vector<std::string> &entries, char sep) {
  put_var(store, "PATH", join_entries(entries, sep));
}

StoreVars compose_apply(const ScopeSnapshot &now, const ScopeState &doc, bool prune,
                        std::vector<std::string> &kept) {
  StoreVars out = now.store;
  if (prune) {
    std::unordered_map<std::string, std::size_t> in_doc = positions(doc.vars);
    std::erase_if(out, [&](const StateVar &v) {
      if (v.name == "PATH" || in_doc.count(v.name))
        return false;
      if (!is_protected(now, v.name))
        return true;
      kept.push_back(v.name);
      return false;
    });
  }
  for (const std::string &name : doc.absent) {
    if (find_var(out, name) && is_protected(now, name))
      kept.push_back(name);
    else
      put_var(out, name, std::nullopt);
  }
  std::unordered_map<std::string, std::size_t> at = positions(out);
  for (const StateVar &v : doc.vars) {
    auto found = at.find(v.name);
    if (found != at.end()) {
      out[found->second].value = v.value;
    } else {
      at.emplace(v.name, out.size());
      out.push_back(v);
    }
  }
  std::vector<std::string> path = path_of(out, now.sep), wanted;
  if (!prune)
    wanted = path;
  for (const std::string &e : doc.path) {
    // One entry holding the separator would become two; an empty one is the current
    // directory to a shell. Neither can be an entry of its own.
    if (e.find(now.sep) != std::string::npos)
      throw LibraryError("refused: PATH entry '" + visible(e) + "' holds the separator '" + now.sep + "'");
    if (e.empty() || has_entry(wanted, e))
      continue;
    // An entry the scope holds already keeps the scope's spelling of it.
    auto held =
        std::find_if(path.begin(), path.end(), [&](const std::string &p) { return same_entry(p, e); });
    wanted.push_back(held == path.end() ? e : *held);
  }
  if (wanted != path)
    put_path(out, wanted, now.sep);
  return out;
}

std::vector<Change> changes_between(const StoreVars &before, const StoreVars &after, char sep) {
  std::vector<Change> out;
  std::unordered_map<std::string, std::size_t> in_before = positions(before), in_after = positions(after);
  for (const StateVar &v : after) {
    auto found = in_before.find(v.name);
    const StateVar *old = found == in_before.end() ? nullptr : &before[found->second];
    if (v.name != "PATH" && (!old || old->value != v.value))
      out.push_back({"set", v.name, old ? std::optional(old->value) : std::nullopt, v.value});
  }
  for (const StateVar &v : before)
    if (v.name != "PATH" && !in_after.count(v.name))
      out.push_back({"delete", v.name, v.value, std::nullopt});
  std::vector<std::string> old_path = path_of(before, sep), new_path = path_of(after, sep);
  for (const std::string &e : without(new_path, old_path))
    out.push_back({"path_add", "PATH", std::nullopt, e});
  for (const std::string &e : without(old_path, new_path))
    out.push_back({"path_remove", "PATH", e, std::nullopt});
  std::vector<std::string> kept_old = without(old_path, without(old_path, new_path));
  std::vector<std::string> kept_new = without(new_path, without(new_path, old_path));
  if (!same_order(kept_old, kept_new))
    out.push_back({"path_order", "PATH", join_entries(old_path, sep), join_entries(new_path, sep)});
  return out;
}

std::string diff_line(const Change &c) {
  if (c.op == "set" && c.old_value)
    return "~ " + visible(c.name) + ": " + visible(*c.old_value) + " -> " + visible(*c.new_value);
  if (c.op == "set")
    return "+ " + visible(c.name) + "=" + visible(*c.new_value);
  if (c.op == "delete")
    return "- " + visible(c.name);
  if (c.op == "path_add")
    return "+ PATH " + visible(*c.new_value);
  if (c.op == "path_remove")
    return "- PATH " + visible(*c.old_value);
  return "~ PATH order";
}

std::string changes_json(const std::vector<Change> &changes, const std::optional<std::string> &backup) {
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yyjson_mut_obj(d);
  json_add(d, root, "changed", yyjson_mut_bool(d, !changes.empty()));
  yyjson_mut_val *list = yyjson_mut_arr(d);
  for (const Change &c : changes) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    json_add(d, o, "op", json_text(d, c.op));
    json_add(d, o, "name", json_text(d, c.name));
    json_add(d, o, "old", json_optional(d, c.old_value));
    json_add(d, o, "new", json_optional(d, c.new_value));
    yyjson_mut_arr_append(list, o);
  }
  json_add(d, root, "changes", list);
  json_add(d, root, "backup", json_optional(d, backup));
  return json_write(d, root, 0);
}

std::string commit_store(const ScopeSnapshot &before, const StoreVars &after,
                         const std::optional<std::string> &records) {
  refuse_not_utf8(before.not_utf8);
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yyjson_mut_obj(d);
  json_add(d, root, "scope", json_text(d, before.scope));
  json_add(d, root, "vars", json_vars(d, after));
  if (records)
    json_add(d, root, "records", json_text(d, *records));
  json_add(d, root, "based_on", json_vars(d, before.store));
  if (before.records)
    json_add(d, root, "based_on_records", json_text(d, *before.records));
  RestoreDocument document(before.data_dir, before.scope == "system" ? 0755 : 0700, json_write(d, root, 0));
  return lib_restore(document.path());
}

std::string commit_store(const ScopeSnapshot &before, const StoreVars &after) {
  return commit_store(before, after, before.records);
}

bool changed_meanwhile(const std::exception &refusal) {
  return std::string_view(refusal.what()).find("changed while applying") != std::string_view::npos;
}

std::optional<std::string> newest_backup(const ScopeSnapshot &snap) {
  if (snap.data_dir.empty())
    return std::nullopt;
  return newest_backup_in(snap.data_dir + "/backups", snap.scope == "system");
}

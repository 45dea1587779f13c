// PATH diagnostics behind the listing's "path" and "warnings": entries that do not exist,
// entries that repeat an earlier one, and advisory warnings on lengths and names.
#include "core/diag.h"

#include "core/files.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <utility>

namespace {

// A hash that any two entries env_plat_path_eq takes for equal share (ASCII letters folded
// as names are, trailing slashes left out), so that an entry is compared only with the
// entries whose hash it shares.
class path_hashes {
public:
  path_hashes() {
    for (int c = 0; c < 256; ++c)
      fold_[c] = static_cast<unsigned char>(std::tolower(c));
  }
  std::uint64_t operator()(const std::string &text) const {
    std::uint64_t h = 14695981039346656037ull; // FNV-1a
    for (std::size_t i = 0, n = text.find_last_not_of('/') + 1; i < n; ++i)
      h = (h ^ fold_[static_cast<unsigned char>(text[i])]) * 1099511628211ull;
    return h;
  }

private:
  unsigned char fold_[256];
};

void add_rc_extras(path_entry_list &entries, const path_hashes &hash) {
  std::vector<env_rc_extra> extras;
  env_plat_rc_path_extras(extras);
  if (extras.empty())
    return;
  std::vector<std::uint64_t> hashes;
  for (const path_entry &e : entries)
    hashes.push_back(hash(e.expanded));
  for (env_rc_extra &extra : extras) {
    std::uint64_t h = hash(extra.path);
    bool present = false;
    for (std::size_t j = 0; j < entries.size() && !present; ++j)
      present = hashes[j] == h && env_plat_path_eq(entries[j].expanded.c_str(), extra.path.c_str());
    if (present)
      continue;
    hashes.push_back(h);
    std::string expanded = extra.path;
    entries.push_back(
        path_entry{std::move(extra.path), 0, 0, std::move(extra.label), std::move(expanded), std::move(extra.file), 0});
  }
}

// An entry repeats an earlier one it is equal to; entries are sorted by hash so that each
// is compared with the earlier entries of its hash only.
void flag_duplicates(path_entry_list &entries, const path_hashes &hash) {
  std::vector<std::pair<std::uint64_t, std::size_t>> order;
  order.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    order.emplace_back(hash(entries[i].expanded), i);
  std::sort(order.begin(), order.end());
  for (std::size_t g = 0; g < order.size();) {
    std::size_t end = g + 1;
    while (end < order.size() && order[end].first == order[g].first)
      ++end;
    for (std::size_t k = g; k < end; ++k) {
      path_entry &e = entries[order[k].second];
      for (std::size_t j = g; j < k && !e.dup; ++j)
        e.dup = env_plat_path_eq(e.expanded.c_str(), entries[order[j].second].expanded.c_str()) ? 1 : 0;
    }
    g = end;
  }
}

void flag_entries(path_entry_list &entries, const path_hashes &hash) {
  for (path_entry &e : entries) {
    e.exists = !e.expanded.empty() && env_is_dir(e.expanded.c_str());
    e.dup = 0;
  }
  flag_duplicates(entries, hash);
}

void entry_warning(env_json_out &out, const char *code, const std::string &entry, const char *message) {
  out.begin_object();
  out.key("code");
  out.string(code);
  out.key("entry");
  out.string(entry);
  out.key("message");
  out.string(message);
  out.end_object();
}

void length_warning(env_json_out &out, const std::string &name, std::size_t length, const char *message) {
  out.begin_object();
  out.key("code");
  out.string("length");
  out.key("name");
  out.string(name);
  out.key("length");
  out.integer(static_cast<int32_t>(length));
  out.key("message");
  out.string(message);
  out.end_object();
}

void named_warning(env_json_out &out, const char *code, const std::string &name, std::string_view message) {
  out.begin_object();
  out.key("code");
  out.string(code);
  out.key("name");
  out.string(name);
  out.key("message");
  out.string(message);
  out.end_object();
}

void name_warning(env_json_out &out, const std::string &name) {
  named_warning(out, "name", name, "% in name: Windows expands %VAR% in values (REG_EXPAND_SZ), not names");
}

void variable_warnings(env_json_out &out, const env_kv *path, const env_kv_list &merged) {
  static const std::string path_name = "PATH";
  if (path && path->value.size() > 2047)
    length_warning(out, path_name, path->value.size(),
                   "PATH length exceeds Windows 2047-char CreateProcess caution");
  if (path && path->value.size() > 4095)
    length_warning(out, path_name, path->value.size(),
                   "PATH length exceeds Windows 4095-char registry caution");
  for (const env_kv &kv : merged) {
    if (kv.value.size() > 4095 && !env_name_is_path(kv.name.c_str()))
      length_warning(out, kv.name, kv.value.size(),
                     "value length exceeds Windows 4095-char registry caution");
    if (kv.name.find('%') != std::string::npos)
      name_warning(out, kv.name);
  }
}

} // namespace

namespace {

// The scope's own entries where the session has them, between the entries other files add
// (the entries the session inherits are not the scope's to show).
void place_own_entries(path_entry_list &own, const env_session &session, path_entry_list &out) {
  out.clear();
  out.reserve(own.size() + session.path.size());
  for (std::size_t i = 0; i <= session.path.size(); ++i) {
    if (i == std::min(session.own_at, session.path.size()))
      std::move(own.begin(), own.end(), std::back_inserter(out));
    if (i == session.path.size())
      break;
    const env_session_entry &e = session.path[i];
    if (!e.own && !e.file.empty())
      out.push_back(path_entry{e.text, 0, 0, "session", e.text, e.file, 0});
  }
}

} // namespace

void path_diag_entries(env_scope scope, const env_kv *path, const env_session &session,
                       const std::function<std::string(std::string_view)> &expand, path_entry_list &out) {
  path_entry_list own;
  path_split(path ? path->value.c_str() : "", env_plat_path_sep(), own);
  for (path_entry &e : own) {
    e.expanded = expand(e.text);
    e.origin = session.own_file;
  }
  place_own_entries(own, session, out);
  path_hashes hash;
  if (scope == env_scope::user)
    add_rc_extras(out, hash);
  flag_entries(out, hash);
}

void path_diag_write_entries(env_json_out &out, const path_entry_list &entries) {
  out.begin_array();
  for (const path_entry &e : entries) {
    out.begin_object();
    out.key("entry");
    out.string(e.text);
    out.key("exists");
    out.integer(e.exists);
    out.key("dup");
    out.integer(e.dup);
    out.key("source");
    out.string(e.source);
    out.key("expanded");
    out.string(e.expanded);
    out.key("origin");
    out.string(e.origin);
    out.key("editable");
    out.integer(e.editable);
    out.end_object();
  }
  out.end_array();
}

void path_diag_write_warnings(env_json_out &out, const path_entry_list &entries, const env_kv *path,
                              const env_kv_list &merged, const std::vector<env_warning> &state) {
  out.begin_array();
  for (const path_entry &e : entries) {
    if (!e.exists && !e.text.empty())
      entry_warning(out, "exists", e.text, "PATH entry does not exist (warn, not refused)");
    if (e.dup)
      entry_warning(out, "dup", e.text, "duplicate PATH entry");
  }
  variable_warnings(out, path, merged);
  for (const env_warning &w : state)
    named_warning(out, w.code, w.name, w.message);
  out.end_array();
}

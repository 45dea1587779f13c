#include "views.h"

#include "json_doc.h"
#include "platform.h"
#include "private_files.h"

#include <algorithm>

namespace {

std::string count_title(const std::string &title, std::size_t n) {
  return title + " (" + std::to_string(n) + ")";
}

std::string entry_state(const PathEntry &e) {
  if (!e.exists && !e.dup)
    return e.entry.empty() ? "empty" : "missing";
  if (e.dup)
    return e.exists || e.entry.empty() ? "duplicate" : "missing, duplicate";
  return "ok";
}

std::string paint_state(const Style &s, const std::string &state, std::size_t width) {
  std::string padded = pad(state, width);
  return state == "ok" ? s.good(padded) : s.warn(padded);
}

} // namespace

std::string warning_subject(const Warning &w) {
  if (w.entry)
    return entry_text(*w.entry);
  std::string subject = w.name ? visible(*w.name) : std::string();
  if (w.length)
    subject += " is " + std::to_string(*w.length) + " bytes";
  return subject;
}

std::vector<PathRow> path_rows(const Listing &l, const ProfileMarks &marks) {
  std::vector<PathRow> rows;
  std::vector<bool> placed(marks.off.size(), false);
  auto place = [&](std::size_t own, bool rest) {
    for (std::size_t i = 0; i < marks.off.size(); ++i)
      if (!placed[i] && (rest || marks.off[i].position == own)) {
        placed[i] = true;
        rows.push_back({nullptr, &marks.off[i]});
      }
  };
  std::size_t own = 0;
  for (const PathEntry &e : l.path) {
    if (e.editable && e.source == "path")
      place(own++, false);
    rows.push_back({&e, nullptr});
  }
  place(own, true);
  return rows;
}

namespace {

std::string profile_of(const std::map<std::string, std::string> &from, const std::string &key) {
  auto at = from.find(key);
  return at == from.end() ? std::string() : at->second;
}

bool file_exists(const std::string &path) {
  FileKind kind = file_kind(path);
  return kind == FileKind::directory || kind == FileKind::other;
}

} // namespace

std::string entry_text(const std::string &entry) {
  return entry.empty() ? "(empty)" : visible(entry);
}

std::string view_header(const Listing &l, const ViewOptions &opt) {
  std::string out = opt.style.bold("Scope " + l.scope);
  if (!l.platform.empty())
    out += " on " + l.platform;
  if (!l.write_policy.empty())
    out += ", written to " + l.write_policy;
  return out + "\n";
}

std::string view_variables(const Listing &l, const ViewOptions &opt) {
  std::string out = opt.style.bold(count_title("Variables", l.vars.size())) + "\n";
  std::size_t width = 0;
  for (const Variable &v : l.vars)
    width = std::max(width, width_of(visible(v.source)));
  for (const Variable &v : l.vars) {
    std::string from = v.source == "overlay" ? profile_of(opt.marks.vars, v.name) : "";
    out += "  " + opt.style.dim(pad(visible(v.source), width)) + "  " + opt.style.bold(visible(v.name)) +
           "=" + cut(visible(v.value), opt.max_width) +
           (from.empty() ? "" : opt.style.dim("  (profile " + from + ")")) + "\n";
    std::string indent = "  " + std::string(width, ' ') + "    ";
    if (v.expanded != v.value)
      out += indent + opt.style.dim("expands to: ") + cut(visible(v.expanded), opt.max_width) + "\n";
    if (v.value.empty() && v.source == "overlay" && l.write_policy == "environment.d")
      out += indent + opt.style.dim("empty: removed from environment.d, so new sessions do not define it") +
             "\n";
  }
  return out;
}

std::string view_path(const Listing &l, const ViewOptions &opt) {
  std::string count = std::to_string(l.path.size()) + (l.path.size() == 1 ? " entry" : " entries");
  std::string out = opt.style.bold("PATH (" + count + ", separator '" + visible(l.path_sep) + "')") + "\n";
  std::vector<PathRow> rows = path_rows(l, opt.marks);
  if (rows.empty())
    return out;
  std::size_t num_w = std::to_string(l.path.empty() ? 0 : l.path.size() - 1).size(), state_w = 5,
              source_w = 6;
  for (const PathEntry &e : l.path) {
    state_w = std::max(state_w, entry_state(e).size());
    source_w = std::max(source_w, width_of(visible(e.source)));
  }
  out += opt.style.dim("  " + pad("#", num_w) + "  " + pad("state", state_w) + "  " +
                       pad("source", source_w) + "  entry") +
         "\n";
  std::size_t i = 0;
  for (const PathRow &row : rows) {
    if (row.off) {
      out += "  " + pad("-", num_w) + "  " + opt.style.dim(pad("off", state_w)) + "  " +
             opt.style.dim(pad("path", source_w)) + "  " + opt.style.dim(entry_text(row.off->entry)) + "\n";
      continue;
    }
    const PathEntry &e = *row.entry;
    std::string num = std::to_string(i++);
    std::string from = e.editable ? profile_of(opt.marks.entries, e.entry) : "";
    out += "  " + std::string(num_w - num.size(), ' ') + num + "  " +
           paint_state(opt.style, entry_state(e), state_w) + "  " +
           opt.style.dim(pad(visible(e.source), source_w)) + "  " + entry_text(e.entry) +
           (from.empty() ? "" : opt.style.dim("  (profile " + from + ")")) + "\n";
  }
  return out;
}

std::string path_json(const Listing &l, const ProfileMarks &marks) {
  MutDoc doc(yyjson_mut_doc_new(nullptr));
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *arr = yyjson_mut_arr(d);
  for (const PathRow &row : path_rows(l, marks)) {
    yyjson_mut_val *o = yyjson_mut_obj(d);
    const PathEntry *e = row.entry;
    std::string entry = e ? e->entry : row.off->entry;
    std::string from = e && e->editable ? profile_of(marks.entries, entry) : "";
    json_add(d, o, "entry", json_text(d, entry));
    json_add(d, o, "exists", yyjson_mut_bool(d, e && e->exists));
    json_add(d, o, "dup", yyjson_mut_bool(d, e && e->dup));
    json_add(d, o, "source", json_text(d, e ? e->source : "path"));
    json_add(d, o, "editable", yyjson_mut_bool(d, !e || e->editable));
    json_add(d, o, "off", yyjson_mut_bool(d, row.off != nullptr));
    json_add(d, o, "profile", from.empty() ? yyjson_mut_null(d) : json_text(d, from));
    yyjson_mut_arr_append(arr, o);
  }
  return json_write(d, arr, 0);
}

std::string view_profiles(const ViewOptions &opt) {
  if (opt.marks.on.empty())
    return "";
  std::string out = opt.style.bold(count_title("Profiles on", opt.marks.on.size())) + "\n";
  for (const std::string &name : opt.marks.on)
    out += "  " + visible(name) + "\n";
  return out;
}

ProfileMarks marks_of(const std::string &scope, const Listing &listing) {
  ProfileMarks marks;
  try {
    ScopeSnapshot now = snapshot_of(scope, listing);
    ScopeRecords records = records_of(now);
    for (const ProfileRecord &r : records.on) {
      marks.on.push_back(r.profile);
      for (const StateVar &v : r.set)
        marks.vars[v.name] = r.profile;
      for (const std::string &e : r.path_added)
        marks.entries[e] = r.profile;
    }
    marks.off = records.off;
    forget_entries_in_path(marks.off, now.store, now.sep);
  } catch (const LibraryError &) {
    // The views stay useful without the marks when the data directory cannot be read.
  }
  return marks;
}

std::string view_warnings(const Listing &l, const ViewOptions &opt) {
  std::string out = opt.style.bold(count_title("Warnings", l.warnings.size())) + "\n";
  for (const Warning &w : l.warnings)
    out += "  " + opt.style.warn("!") + " " + visible(w.message) + ": " + warning_subject(w) + "\n";
  return out;
}

std::string view_session(const Listing &l, const ViewOptions &opt) {
  std::string out =
      opt.style.bold(count_title("New session of the " + l.scope + " scope", l.session.size())) + "\n";
  for (const SessionVariable &v : l.session) {
    out += "  " + opt.style.bold(visible(v.name)) + "=" + cut(visible(v.value), opt.max_width) + "\n";
    out += "      " + opt.style.dim("set by " + visible(v.file)) + "\n";
    if (v.differs)
      out += "      " +
             opt.style.warn(v.shell ? "a login shell gets " + cut(visible(*v.shell), opt.max_width)
                                    : std::string("a login shell does not get it")) +
             "\n";
  }
  return out;
}

std::string view_export(const Listing &l, const ViewOptions &opt) {
  std::string out = opt.style.bold("Export file") + "\n";
  if (!l.export_file)
    return out + "  unknown: the data directory cannot be located\n";
  bool windows = l.platform == "windows";
  out += "  " + visible(windows ? windows_path(*l.export_file) : *l.export_file);
  if (!file_exists(*l.export_file))
    out += opt.style.dim(" (not written yet: the first successful change of this scope writes it)");
  if (windows)
    out += "\n  New programs get the variables from the registry;\n"
           "  consoles already open keep their old values.\n"
           "  The export file is for POSIX shells on Windows (Git Bash, MSYS2, Cygwin).";
  out += "\n  source it:  . " +
         visible(sh_quote(windows ? posix_shell_path(*l.export_file) : *l.export_file)) + "\n";
  out += "  or load it at every shell start: add what `kenv shell-init` prints to your shell's\n"
         "  start-up file\n";
  const Variable *path = find_variable(l, "PATH");
  if (path && path->source == "overlay")
    out += opt.style.dim("  PATH entries are appended to the PATH the shell already has; the shell-init\n"
                         "  lines also skip entries it holds already\n");
  return out;
}

#include "views.h"

#include "platform.h"

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

// The subject a warning is about: the entry, the variable name and its length.
std::string warning_subject(const Warning &w) {
  if (w.entry)
    return entry_text(*w.entry);
  std::string subject = w.name ? visible(*w.name) : std::string();
  if (w.length)
    subject += " is " + std::to_string(*w.length) + " bytes";
  return subject;
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
    out += "  " + opt.style.dim(pad(visible(v.source), width)) + "  " + opt.style.bold(visible(v.name)) +
           "=" + cut(visible(v.value), opt.max_width) + "\n";
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
  if (l.path.empty())
    return out;
  std::size_t num_w = std::to_string(l.path.size() - 1).size(), state_w = 5, source_w = 6;
  for (const PathEntry &e : l.path) {
    state_w = std::max(state_w, entry_state(e).size());
    source_w = std::max(source_w, width_of(visible(e.source)));
  }
  out += opt.style.dim("  " + pad("#", num_w) + "  " + pad("state", state_w) + "  " +
                       pad("source", source_w) + "  entry") +
         "\n";
  for (std::size_t i = 0; i < l.path.size(); ++i) {
    const PathEntry &e = l.path[i];
    std::string num = std::to_string(i);
    out += "  " + std::string(num_w - num.size(), ' ') + num + "  " +
           paint_state(opt.style, entry_state(e), state_w) + "  " +
           opt.style.dim(pad(visible(e.source), source_w)) + "  " + entry_text(e.entry) + "\n";
  }
  return out;
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
  out += "  " + visible(*l.export_file);
  if (!file_exists(*l.export_file))
    out += opt.style.dim(" (not written yet: the first successful change of this scope writes it)");
  out += "\n  source it:  . " + visible(sh_quote(*l.export_file)) + "\n";
  out += "  or load it at every shell start: add what `kenv shell-init` prints to your shell's\n"
         "  start-up file\n";
  const Variable *path = find_variable(l, "PATH");
  if (path && path->source == "overlay")
    out += opt.style.dim("  PATH entries are appended to the PATH the shell already has; the shell-init\n"
                         "  lines also skip entries it holds already\n");
  return out;
}

// env_list: one scope's variables, PATH entries and warnings as a compact JSON document.
// A member is never silently left out: running out of memory fails the whole listing.
#include "kestrune_env.h"

#include "core/diag.h"
#include "core/env_size.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/order.h"
#include "core/own_files.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <string>

namespace {

void write_member(env_json_out &out, const char *name, std::string_view text) {
  out.key(name);
  out.string(text);
}

void write_header(env_json_out &out, env_scope scope, const env_layout &files) {
  write_member(out, "scope", env_scope_name(scope));
  if (const char *name = env_plat_name())
    write_member(out, "platform", name);
  char sep[2] = {env_plat_path_sep(), '\0'};
  write_member(out, "path_sep", sep);
  write_member(out, "write_policy", env_plat_write_policy());
  write_member(out, "rc_write", "never");
  // Named where it would be even before the first change writes it; null when the data
  // directory cannot be located.
  out.key("export_file");
  if (files.export_file.empty())
    out.null();
  else
    out.string(files.export_file);
}

void write_vars(env_json_out &out, const env_kv_list &merged, const std::vector<std::string> &expanded) {
  out.key("vars");
  out.begin_array();
  for (std::size_t i = 0; i < merged.size(); ++i) {
    const env_kv &kv = merged[i];
    out.begin_object();
    write_member(out, "name", kv.name);
    write_member(out, "value", kv.value);
    write_member(out, "expanded", expanded[i]);
    write_member(out, "source", kv.source);
    out.end_object();
  }
  out.end_array();
}

// Above three quarters of the limit (core/env_size.h), while there is still room to tidy up.
void size_warning(env_scope scope, const env_kv_list &stored, std::vector<env_warning> &warnings) {
  std::size_t size = env_size_beside(scope) + env_size_of(stored);
  if (size <= env_size_warn_at)
    return;
  warnings.push_back({"env_size", std::string(env_scope_name(scope)),
                      "the variables take " + std::to_string(size) + " bytes" +
                          (scope == env_scope::user ? " with the system scope's" : "") + ", " +
                          std::to_string(size * 100 / env_size_limit) +
                          "% of the 1 MiB limit; a change that grows them beyond it is refused"});
}

// The warnings about the library's own state that the merged view turned up, about values
// a new session cannot read, and about folders others may write.
std::vector<env_warning> state_warnings(env_scope scope, const env_layout &files, const merge_report &report,
                                        bool native_read, const env_session &session) {
  std::vector<env_warning> warnings;
  if (!report.store_problem.empty())
    warnings.push_back({"store", files.store,
                        "store cannot be used (" + report.store_problem +
                            "): it shows nothing, and changes are refused until it is repaired"});
  for (const store_skipped &record : report.skipped)
    warnings.push_back({"store_record", record.name, record.message});
  for (const std::string &name : report.not_utf8)
    warnings.push_back({"utf8", name, "not valid UTF-8: the listing shows U+FFFD in place of the bytes"});
  const char *native = env_plat_write_policy();
  for (const std::string &name : native_read ? report.disagree : std::vector<std::string>())
    warnings.push_back({"native", name,
                        std::string("store and ") + native +
                            " disagree; setting it again (or restoring the latest backup) repairs it"});
  for (const env_session_fault &f : session.not_utf8)
    warnings.push_back({"session_utf8", f.file,
                        "line " + std::to_string(f.line) + ": the value of " + f.name +
                            " is not valid UTF-8; systemd's environment.d generator stops at it, and systemd "
                            "252's fails: a new session then gets nothing from environment.d; fix or remove "
                            "the line"});
  std::vector<std::string> circle;
  (void)assignment_order(report.stored, &circle);
  for (const std::string &name : circle)
    warnings.push_back(
        {"reference_cycle", name,
         "refers back to itself through other variables of the scope: they are assigned in the "
         "store's order, so one of them gets the value another had before"});
  interrupted_warnings(files, scope, report.stored, warnings);
  size_warning(scope, report.stored, warnings);
  writable_dir_warnings(files, scope, warnings);
  return warnings;
}

// Each PATH entry is expanded as the PATH's value is, and checked as a session has it.
void write_path_and_warnings(env_json_out &out, env_scope scope, const env_kv_list &merged,
                             const env_kv_index &index, const std::vector<std::string> &expanded,
                             const env_session &session, const std::vector<env_warning> &state) {
  long at = index.find("PATH");
  const env_kv *path = at < 0 ? nullptr : &merged[static_cast<std::size_t>(at)];
  std::size_t position = at < 0 ? merged.size() : static_cast<std::size_t>(at);
  path_entry_list entries;
  path_diag_entries(
      scope, path, session,
      [&](std::string_view entry) { return expand_in_view(entry, position, merged, index, expanded); },
      entries);
  out.key("path");
  path_diag_write_entries(out, entries);
  out.key("warnings");
  path_diag_write_warnings(out, entries, path, merged, state);
}

void write_trailer(env_json_out &out) {
  out.key("protected_delete");
  out.begin_array();
  for (const char *name : env_protected_names)
    out.string(name);
  out.end_array();
  std::vector<env_rc_file> files;
  env_plat_rc_meta(files);
  out.key("rc_sources");
  out.begin_array();
  for (const env_rc_file &f : files) {
    out.begin_object();
    write_member(out, "file", f.path);
    out.key("parsed");
    out.integer(1);
    out.key("written");
    out.integer(f.written);
    out.end_object();
  }
  out.end_array();
}

// About the size of the text: each variable's object with its value twice (as it is and
// expanded), and the PATH's entries with their warnings.
std::size_t expected_size(const env_kv_list &merged, const env_kv *path, const env_session &session) {
  std::size_t size = 4096;
  for (const env_kv &kv : merged)
    size += 48 + kv.name.size() + 2 * kv.value.size() + kv.source.size();
  for (const env_session_var &v : session.vars)
    size += 64 + v.name.size() + 2 * v.value.size() + v.file.size();
  if (path)
    size += 3 * path->value.size() + 100 * static_cast<std::size_t>(std::count(
                                               path->value.begin(), path->value.end(), env_plat_path_sep()));
  return size;
}

char *list_scope(env_scope scope) {
  // Without a data directory the listing still shows the native store.
  env_layout files;
  if (env_layout_of(scope, files) != 0)
    files = env_layout();
  env_session session;
  env_native_view native;
  env_plat_session(scope, session, &native);
  env_kv_list merged;
  env_kv_index index;
  merge_report report;
  bool native_read = overlay_store(scope, files.store, native, merged, index, report) == 0;
  long at = index.find("PATH");
  env_json_out out(expected_size(merged, at < 0 ? nullptr : &merged[static_cast<std::size_t>(at)], session));
  out.begin_object();
  write_header(out, scope, files);
  std::vector<std::string> expanded = expand_view(merged, index, native.expanded);
  write_vars(out, merged, expanded);
  write_path_and_warnings(out, scope, merged, index, expanded, session,
                          state_warnings(scope, files, report, native_read, session));
  write_trailer(out);
  session_write(out, scope, session, report.stored);
  out.key("store_order");
  out.begin_array();
  for (const env_kv &kv : report.stored)
    out.string(kv.name);
  out.end_array();
  out.key("records");
  if (report.records)
    out.string(*report.records);
  else
    out.null();
  out.end_object();
  return out.release();
}

} // namespace

extern "C" KENV_API char *env_list(const char *scope) {
  return env_run_framed<char *>(nullptr, [&]() -> char * {
    env_scope s;
    return env_scope_arg(scope, s) ? list_scope(s) : nullptr;
  });
}

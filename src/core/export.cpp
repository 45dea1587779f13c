// The export file: a POSIX shell script that exports a scope's stored variables when
// sourced. It is regenerated whole after every change and must never run code: values are
// single-quoted, and a name that is not a shell identifier gets a comment instead of a line.
#include "core/order.h"
#include "core/state.h"

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"

#include <cstdio>
#include <iterator>
#include <string_view>
#include <unordered_set>

namespace {

// The platform's policy lines (env_plat_export_policy) come second.
const char banner_format[] = "# kestrune-envvar-editor \xE2\x80\x94 sourceable export block\n"
                             "%s"
                             "#   . \"%s\"\n"
                             "# Generated: %s  scope=%s\n"
                             "# Process PATH is not modified by the library.\n"
                             "\n";

bool is_shell_name(const std::string &name) {
  if (name.empty())
    return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!alpha && !(digit && i > 0))
      return false;
  }
  return true;
}

// 'text' with every single quote closed, escaped and reopened.
void append_quoted(std::string_view text, std::string &out) {
  out.push_back('\'');
  for (char c : text) {
    if (c == '\'')
      out.append("'\\''");
    else
      out.push_back(c);
  }
  out.push_back('\'');
}

bool name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// The length of the `$NAME` or `${NAME}` reference at the start of `s`, or 0: the `$`s that
// environment.d expands when a session starts, and no others.
std::size_t reference_length(std::string_view s, std::string_view &name) {
  std::size_t i = 1;
  bool braced = i < s.size() && s[i] == '{';
  i += braced ? 1 : 0;
  std::size_t start = i;
  if (i >= s.size() || !name_start(s[i]))
    return 0;
  while (i < s.size() && (name_start(s[i]) || (s[i] >= '0' && s[i] <= '9')))
    ++i;
  name = s.substr(start, i - start);
  if (!braced)
    return i;
  return i < s.size() && s[i] == '}' ? i + 1 : 0;
}

// The value as one shell word that gives a shell what environment.d gives a session: each
// reference becomes a double-quoted parameter expansion ("${HOME-}"), every other byte stays
// single-quoted, so a literal `$` stays literal and nothing else expands or runs. An unset
// name expands to nothing, as in a session, even in a shell running with `set -u`, which
// would otherwise stop sourcing the file there and lose every later line. Where the
// platform's sessions expand no `$` (Windows), the whole value is literal.
void append_word(std::string_view value, std::string &out) {
  bool references = env_plat_reference_style() == env_ref_style::dollar;
  std::size_t literal = 0, written = out.size();
  for (std::size_t i = 0; references && i < value.size(); ++i) {
    std::string_view name;
    std::size_t n = value[i] == '$' ? reference_length(value.substr(i), name) : 0;
    if (n == 0)
      continue;
    if (i > literal)
      append_quoted(value.substr(literal, i - literal), out);
    out.append("\"${").append(name).append("-}\"");
    literal = i + n;
    i += n - 1;
  }
  if (literal < value.size() || out.size() == written)
    append_quoted(value.substr(literal), out);
}

} // namespace

// Names whose assignment a shell refuses or that a shell keeps for itself: dash (OPTIND),
// bash (its read-only variables), zsh, whose special parameters end the sourcing of the
// whole file (tied arrays such as path, read-only ones, and those of its standard modules),
// and fish, which refuses its read-only variables.
bool export_name_is_reserved(const std::string &name) {
  static const char *const reserved[] = {
      "OPTIND", "UID", "EUID", "PPID", "BASHOPTS", "SHELLOPTS", "BASH_VERSINFO", "LINENO", "HISTCMD", "ARGC",
      "status", "pipestatus", "ZSH_SUBSHELL", "TTYIDLE", "ZSH_EVAL_CONTEXT", "aliases", "argv", "builtins",
      "cdpath", "commands", "dis_aliases", "dis_builtins", "dis_functions", "dis_functions_source",
      "dis_galiases", "dis_patchars", "dis_reswords", "dis_saliases", "fignore", "fpath", "funcfiletrace",
      "funcsourcetrace", "funcstack", "functions", "functions_source", "functrace", "galiases", "history",
      "historywords", "jobdirs", "jobstates", "jobtexts", "keymaps", "mailpath", "manpath", "module_path",
      "modules", "nameddirs", "options", "parameters", "patchars", "path", "psvar", "reswords", "saliases",
      "signals", "termcap", "terminfo", "userdirs", "usergroups", "widgets", "zsh_eval_context",
      "zsh_scheduled_events", "EPOCHSECONDS", "EPOCHREALTIME", "epochtime", "errnos", "sysparams", "mapfile",
      // fish's read-only variables, which its start-up would
      // complain of at every new shell
      "fish_pid", "hostname", "version", "FISH_VERSION", "fish_kill_signal", "fish_killring", "umask",
      "SHLVL", "PWD", "_"};
  static const std::unordered_set<std::string_view> names(std::begin(reserved), std::end(reserved));
  return names.count(name) != 0;
}

namespace {

void append_unexported(const char *why, const std::string &name, std::string &out) {
  out.append(why);
  for (unsigned char c : name) {
    if (c >= 0x20 && c <= 0x7E) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out.append(hex);
    }
  }
  out.push_back('\n');
}

// A scope's PATH holds only that scope's own entries. Sourced plainly, it would replace the
// shell's whole PATH and leave it without /usr/bin, so it is appended to the PATH the shell
// has, as environment.d does. The prefix is parameter expansion only: it runs nothing.
void append_path_prefix(std::string &out) {
  out.append("\"${PATH:+$PATH").push_back(env_plat_path_sep());
  out.append("}\"");
}

// A text the banner quotes, with every control character written as \xHH: a newline in a
// path (HOME may hold one) would end the comment, and the shell would run the rest.
std::string commentable(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out.append(hex);
  }
  return out;
}

std::string banner(const std::string &path, env_scope scope, long long now) {
  std::string shown = commentable(env_plat_shell_path(path));
  std::string ts = commentable(env_format_utc(now, "%Y-%m-%dT%H:%M:%SZ"));
  const char *scope_name = env_scope_name(scope);
  const char *policy = env_plat_export_policy();
  int n = std::snprintf(nullptr, 0, banner_format, policy, shown.c_str(), ts.c_str(), scope_name);
  std::string out(static_cast<std::size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, banner_format, policy, shown.c_str(), ts.c_str(), scope_name);
  return out;
}

} // namespace

bool export_writes(const env_kv &kv) {
  return is_shell_name(kv.name) && !export_name_is_reserved(kv.name) && !kv.value.empty();
}

std::string export_text(const std::string &path, env_scope scope, const env_kv_list &vars, long long now) {
  std::string out = banner(path, scope, now);
  for (std::size_t at : assignment_order(vars)) {
    const env_kv &kv = vars[at];
    if (!is_shell_name(kv.name)) {
      append_unexported("# not exported (not a shell variable name): ", kv.name, out);
      continue;
    }
    if (export_name_is_reserved(kv.name)) {
      append_unexported("# not exported (reserved by a shell): ", kv.name, out);
      continue;
    }
    bool is_path = kv.name == "PATH";
    // environment.d drops an empty value, so a shell must not define the name either; and
    // an empty PATH entry would be the current directory for every command the shell runs.
    if (kv.value.empty()) {
      append_unexported(is_path ? "# PATH adds no entries: "
                                : "# not exported (empty, as environment.d drops it): ",
                        kv.name, out);
      continue;
    }
    out.append("export ").append(kv.name).append("=");
    if (is_path)
      append_path_prefix(out);
    append_word(kv.value, out);
    out.push_back('\n');
  }
  return out;
}

int emit_export(const env_layout &files, env_scope scope, const env_kv_list &vars) {
  std::string text = export_text(files.export_file, scope, vars, env_now());
  if (env_mkdir_p(files.exports.c_str(), files.dir_mode) != 0 ||
      env_write_file(files.export_file.c_str(), text, files.file_mode) != 0) {
    env_set_error("failed to write export file %s", files.export_file.c_str());
    return -1;
  }
  return 0;
}

// The export file: a POSIX shell script that exports a scope's stored variables when
// sourced. It is regenerated whole after every change and must never run code: values are
// single-quoted, and a name that is not a shell identifier gets a comment instead of a line.
#include "core/order.h"
#include "core/state.h"

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"

#include <charconv>
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

// Names whose assignment in bash, dash, zsh or fish changes the shell rather than its
// environment. The export file is sourced by every new shell, root's included (zsh's and
// fish's lines load the system scope's file too), so it leaves them out with a comment.
const char *const shell_owned[] = {
    // User and group ids: zsh takes an assignment as an order to change them (as root, for
    // good: USERNAME=daemon makes it uid 1); bash holds UID and EUID read-only.
    "UID", "EUID", "GID", "EGID", "USERNAME",
    // How zsh reads the rest of the file: the third character of histchars is its comment
    // character, so with another one every comment line below would run as a command;
    // KEYBOARD_HACK takes one character and refuses more.
    "HISTCHARS", "histchars", "KEYBOARD_HACK",
    // Set by the shell itself: the position of getopts, the nesting, the directory, the
    // last argument.
    "OPTIND", "SHLVL", "PWD", "_",
    // Read-only in bash.
    "PPID", "BASHOPTS", "SHELLOPTS", "BASH_VERSINFO",
    // Read-only in zsh or its standard modules; an assignment ends the sourcing of the file.
    "ARGC", "HISTCMD", "LINENO", "TTYIDLE", "ZSH_EVAL_CONTEXT", "ZSH_SUBSHELL", "status", "builtins",
    "dis_builtins", "dis_functions_source", "dis_patchars", "dis_reswords", "funcfiletrace",
    "funcsourcetrace", "funcstack", "functions_source", "functrace", "history", "historywords", "jobdirs",
    "jobstates", "jobtexts", "keymaps", "modules", "parameters", "patchars", "reswords", "termcap",
    "terminfo", "userdirs", "usergroups", "widgets", "zsh_scheduled_events", "EPOCHSECONDS", "EPOCHREALTIME",
    "ZCURSES_COLORS", "ZCURSES_COLOR_PAIRS", "ZFTP_SESSION",
    // Arrays and associations of zsh and its standard modules (tied ones such as path
    // among them) that refuse a plain value; the refusal ends the sourcing of the file too.
    "aliases", "argv", "cdpath", "commands", "dirstack", "dis_aliases", "dis_functions", "dis_galiases",
    "dis_saliases", "fignore", "fpath", "functions", "galiases", "mailpath", "manpath", "module_path",
    "nameddirs", "options", "path", "pipestatus", "psvar", "saliases", "signals", "watch", "zsh_eval_context",
    "epochtime", "errnos", "langinfo", "mapfile", "sysparams", "zcurses_attrs", "zcurses_colors",
    "zcurses_keycodes", "zcurses_windows", "zgdbm_tied", "zle_bracketed_paste",
    // Read-only in fish, which would complain of them at every new shell.
    "fish_pid", "hostname", "version", "FISH_VERSION", "fish_kill_signal", "fish_killring", "umask",
    "status_generation"};

// Integer parameters of zsh, its standard modules and bash. zsh reads an assignment to one
// as arithmetic: a word is a variable name there, which stops a shell under nounset, and
// the subscript of an array there (`a[$(cmd)]`) runs cmd. Only a decimal integer is
// exported.
const char *const shell_integers[] = {
    "COLUMNS",    "LINES",   "FUNCNEST", "HISTSIZE",        "SAVEHIST",
    "KEYTIMEOUT", "LISTMAX", "LOGCHECK", "MAILCHECK",       "RANDOM",
    "SRANDOM",    "SECONDS", "BASHPID",  "TRY_BLOCK_ERROR", "TRY_BLOCK_INTERRUPT",
    "ZFTP_TMOUT"};

bool listed(const std::unordered_set<std::string_view> &names, const std::string &name) {
  return names.count(name) != 0;
}

bool is_shell_integer(const std::string &name) {
  static const std::unordered_set<std::string_view> names(std::begin(shell_integers),
                                                          std::end(shell_integers));
  return listed(names, name);
}

// A decimal integer that fits in 64 bits: zsh warns of a longer one and cuts it.
bool is_decimal_integer(const std::string &value) {
  long long n = 0;
  const char *end = value.data() + value.size();
  auto [at, error] = std::from_chars(value.data(), end, n);
  return !value.empty() && error == std::errc() && at == end;
}

} // namespace

bool export_name_is_reserved(const std::string &name) {
  static const std::unordered_set<std::string_view> names(std::begin(shell_owned), std::end(shell_owned));
  return listed(names, name);
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

const char *export_left_out(const env_kv &kv) {
  if (!is_shell_name(kv.name))
    return "# not exported (not a shell variable name): ";
  if (export_name_is_reserved(kv.name))
    return "# not exported (reserved by a shell): ";
  // environment.d drops an empty value, so a shell must not define the name either; and
  // an empty PATH entry would be the current directory for every command the shell runs.
  if (kv.value.empty())
    return kv.name == "PATH" ? "# PATH adds no entries: "
                             : "# not exported (empty, as environment.d drops it): ";
  if (is_shell_integer(kv.name) && !is_decimal_integer(kv.value))
    return "# not exported (a shell's integer parameter, and the value is not a decimal integer): ";
  return nullptr;
}

bool export_writes(const env_kv &kv) {
  return export_left_out(kv) == nullptr;
}

std::string export_text(const std::string &path, env_scope scope, const env_kv_list &vars, long long now) {
  std::string out = banner(path, scope, now);
  for (std::size_t at : assignment_order(vars)) {
    const env_kv &kv = vars[at];
    if (const char *why = export_left_out(kv)) {
      append_unexported(why, kv.name, out);
      continue;
    }
    bool is_path = kv.name == "PATH";
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

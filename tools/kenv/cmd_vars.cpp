// list, get, set and unset: one scope's variables.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "json_out.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "views.h"

#include <algorithm>
#include <cctype>

namespace {

const OptionSet scope_only{{}, {"scope"}};

std::size_t max_width_option(const Args &args) {
  std::optional<std::string> given = args.value("max-width");
  if (!given)
    return 0;
  std::int32_t n = index_word(args.command, "--max-width", *given);
  if (n < 1)
    throw UsageError(args.command, "--max-width must be at least 1");
  return static_cast<std::size_t>(n);
}

void print_readable(const Listing &listing, const ViewOptions &opt) {
  std::string profiles = view_profiles(opt);
  std::string out = view_header(listing, opt) + "\n" + (profiles.empty() ? "" : profiles + "\n") +
                    view_variables(listing, opt) + "\n" + view_path(listing, opt) + "\n" +
                    view_warnings(listing, opt) + "\n" + view_export(listing, opt);
  write_out(out);
}

// PATH is the search path; on Windows, where names ignore letter case, so is Path.
bool is_search_path(const std::string &name) {
#ifdef _WIN32
  return name.size() == 4 && std::equal(name.begin(), name.end(), "PATH", [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
#else
  return name == "PATH";
#endif
}

// The entries of the scope's own PATH variable, empty ones left out.
std::vector<std::string> path_entries_of(const std::string &scope) {
  Listing listing = parse_listing(lib_list(scope));
  const Variable *path = find_variable(listing, "PATH");
  std::vector<std::string> entries;
  if (!path || listing.path_sep.empty())
    return entries;
  std::size_t at = 0;
  for (std::size_t end; (end = path->value.find(listing.path_sep, at)) != std::string::npos; at = end + 1)
    entries.push_back(path->value.substr(at, end - at));
  entries.push_back(path->value.substr(at));
  std::erase(entries, "");
  return entries;
}

// "all 2 entries of the user scope's PATH: '/a', '/b'".
std::string entries_text(const std::string &scope, const std::vector<std::string> &entries) {
  std::string out =
      (entries.size() == 1 ? "the only entry" : "all " + std::to_string(entries.size()) + " entries") +
      " of the " + scope + " scope's PATH: ";
  for (std::size_t i = 0; i < entries.size(); ++i)
    out += (i ? ", '" : "'") + visible(entries[i]) + "'";
  return out;
}

} // namespace

int cmd_list(const Words &argv) {
  Args args = parse_args("list", argv, {{"json"}, {"scope", "max-width"}});
  if (args.help)
    return show_help("list");
  expect_words(args, 0, 0, "");
  std::string scope = scope_option(args);
  std::size_t max_width = max_width_option(args);
  std::string json = lib_list(scope);
  if (args.has("json")) {
    write_out(json + "\n");
    return 0;
  }
  Listing listing = parse_listing(json);
  ViewOptions opt{stdout_style(), max_width, {}};
  opt.marks = marks_of(scope, listing);
  print_readable(listing, opt);
  return 0;
}

int cmd_env(const Words &argv) {
  Args args = parse_args("env", argv, {{"json"}, {"scope"}});
  if (args.help)
    return show_help("env");
  expect_words(args, 0, 0, "");
  Listing listing = parse_listing(lib_list(scope_option(args)));
  if (args.has("json"))
    write_out(session_json(listing.session));
  else
    write_out(view_session(listing, ViewOptions{stdout_style(), 0, {}}));
  return 0;
}

int cmd_get(const Words &argv) {
  Args args = parse_args("get", argv, {{"expanded"}, {"scope"}});
  if (args.help)
    return show_help("get");
  expect_words(args, 1, 1, "NAME");
  std::string scope = scope_option(args);
  Listing listing = parse_listing(lib_list(scope));
  const Variable *v = find_variable(listing, args.words[0]);
  if (!v) {
    write_err("kenv: '" + args.words[0] + "' is not set in the " + scope + " scope\n");
    return 1;
  }
  write_out((args.has("expanded") ? v->expanded : v->value) + "\n");
  return 0;
}

int cmd_set(const Words &argv) {
  Args args = parse_args("set", argv, {{"force"}, {"scope"}});
  if (args.help)
    return show_help("set");
  expect_words(args, 2, 2, args.words.empty() ? "NAME and VALUE" : "VALUE");
  std::string scope = scope_option(args);
  const std::string &name = args.words[0], &value = args.words[1];
  std::vector<std::string> removed;
  if (value.empty() && is_search_path(name))
    removed = path_entries_of(scope);
  if (!removed.empty() && !args.has("force")) {
    write_err("kenv: refused: an empty PATH removes " + entries_text(scope, removed) +
              "; add --force to do that\n");
    return 1;
  }
  lib_set(scope, name, value);
  if (!removed.empty())
    write_err("kenv: note: removed " + entries_text(scope, removed) + "\n");
  return 0;
}

int cmd_unset(const Words &argv) {
  Args args = parse_args("unset", argv, scope_only);
  if (args.help)
    return show_help("unset");
  expect_words(args, 1, 1, "NAME");
  lib_del(scope_option(args), args.words[0]);
  return 0;
}

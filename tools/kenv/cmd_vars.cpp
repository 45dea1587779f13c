// list, get, set and unset: one scope's variables.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "views.h"

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
  std::string out = view_header(listing, opt) + "\n" + view_variables(listing, opt) + "\n" +
                    view_path(listing, opt) + "\n" + view_warnings(listing, opt) + "\n" +
                    view_export(listing, opt);
  write_out(out);
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
  print_readable(parse_listing(json), ViewOptions{stdout_style(), max_width});
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
  Args args = parse_args("set", argv, scope_only);
  if (args.help)
    return show_help("set");
  expect_words(args, 2, 2, args.words.empty() ? "NAME and VALUE" : "VALUE");
  lib_set(scope_option(args), args.words[0], args.words[1]);
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

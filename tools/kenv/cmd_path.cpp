// kenv path: list the scope's PATH entries, or add, remove and move one.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "platform.h"
#include "profiles.h"
#include "state.h"
#include "switches.h"
#include "views.h"

#include <algorithm>

namespace {

const OptionSet scope_only{{}, {"scope"}};

bool is_directory(const std::string &path) {
  return file_kind(path) == FileKind::directory;
}

void explain_rc_entry(const std::string &scope, const std::string &entry) {
  try {
    for (const PathEntry &e : parse_listing(lib_list(scope)).path) {
      if (e.entry == entry && e.source.rfind("rc:", 0) == 0) {
        write_err("kenv: note: '" + visible(entry) + "' comes from " + visible(e.source) +
                  "; kenv does not edit shell start-up files\n");
        return;
      }
    }
  } catch (const LibraryError &) {
    // The note is a courtesy; the failure being reported is what matters.
  }
}

void report_tolerated(const std::string &problem) {
  if (!problem.empty())
    write_err("kenv: warning: " + problem + "\n");
}

int path_list(const Words &argv) {
  Args args = parse_args("path list", argv, {{"json"}, {"scope"}});
  if (args.help)
    return show_help("path list");
  expect_words(args, 0, 0, "");
  std::string scope = scope_option(args);
  Listing listing = parse_listing(lib_list(scope));
  ViewOptions opt{stdout_style(), 0, {}};
  opt.marks = marks_of(scope, listing);
  write_out(args.has("json") ? path_json(listing, opt.marks) + "\n" : view_path(listing, opt));
  return 0;
}

int path_off(const Words &argv) {
  Args args = parse_args("path off", argv, scope_only);
  if (args.help)
    return show_help("path off");
  expect_words(args, 1, 1, "ENTRY");
  switch_entry_off(scope_option(args), args.words[0]);
  return 0;
}

int path_on(const Words &argv) {
  Args args = parse_args("path on", argv, scope_only);
  if (args.help)
    return show_help("path on");
  expect_words(args, 1, 1, "ENTRY");
  std::string scope = scope_option(args);
  const std::string &entry = args.words[0];
  if (!switch_entry_on(scope, entry))
    write_out("'" + visible(entry) + "' is in the " + scope + " scope's PATH already; nothing changed\n");
  return 0;
}

int path_add(const Words &argv) {
  Args args = parse_args("path add", argv, {{}, {"scope", "at"}});
  if (args.help)
    return show_help("path add");
  expect_words(args, 1, 1, "ENTRY");
  std::string scope = scope_option(args);
  std::optional<std::string> at = args.value("at");
  // Past the end appends; -1 is past every end there is.
  std::int32_t index = at ? index_word(args.command, "--at", *at) : -1;
  report_tolerated(lib_path_add(scope, args.words[0], index));
  if (!is_directory(args.words[0]))
    write_err("kenv: note: '" + visible(args.words[0]) +
              "' is not an existing directory; added all the same\n");
  return 0;
}

// Runs a removal or move; when it fails because the entry comes from a shell start-up
// file, which kenv never edits, says so after the library's message.
template <class Edit> int edit_explained(const std::string &scope, const std::string &entry, Edit edit) {
  try {
    edit();
    return 0;
  } catch (const LibraryError &e) {
    write_err("kenv: " + std::string(e.what()) + "\n");
    explain_rc_entry(scope, entry);
    return 1;
  }
}

int path_rm(const Words &argv) {
  Args args = parse_args("path rm", argv, scope_only);
  if (args.help)
    return show_help("path rm");
  expect_words(args, 1, 1, "ENTRY");
  std::string scope = scope_option(args);
  return edit_explained(scope, args.words[0], [&] { report_tolerated(lib_path_del(scope, args.words[0])); });
}

int path_mv(const Words &argv) {
  Args args = parse_args("path mv", argv, scope_only);
  if (args.help)
    return show_help("path mv");
  expect_words(args, 2, 2, args.words.empty() ? "ENTRY and N" : "N");
  std::string scope = scope_option(args);
  std::int32_t index = index_word(args.command, "N", args.words[1]);
  return edit_explained(scope, args.words[0],
                        [&] { report_tolerated(lib_path_move(scope, args.words[0], index)); });
}

} // namespace

int cmd_path(const Words &argv) {
  std::size_t at = find_subcommand(argv, {"--scope", "--at"});
  if (at == std::string::npos) {
    Args args = parse_args("path", argv, {{"json"}, {"scope"}});
    if (args.help)
      return show_help("path");
    return path_list(argv);
  }
  Words rest = argv;
  rest.erase(rest.begin() + static_cast<long>(at));
  const std::string &sub = argv[at];
  if (sub == "list")
    return path_list(rest);
  if (sub == "add")
    return path_add(rest);
  if (sub == "rm")
    return path_rm(rest);
  if (sub == "mv")
    return path_mv(rest);
  if (sub == "off")
    return path_off(rest);
  if (sub == "on")
    return path_on(rest);
  throw UsageError("path", "unknown path command '" + sub + "' (list, add, rm, mv, off or on)");
}

// kenv profile: named sets of variables that can be switched on and off, each switch one
// change of the scope.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "output.h"
#include "platform_rules.h"
#include "private_files.h"
#include "profiles.h"
#include "state.h"
#include "switches.h"

namespace {

const OptionSet scope_only{{}, {"scope"}};

// Runs a document error of a profile's name as a usage error of the command.
template <class Body> int named(const Args &args, Body body) {
  try {
    check_profile_name(args.words[0]);
  } catch (const DocumentError &e) {
    throw UsageError(args.command, e.what());
  }
  return body(args.words[0], scope_option(args));
}

std::string changes_count(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " change" : " changes");
}

int profile_new(const Words &argv) {
  Args args = parse_args("profile new", argv, {{"vars"}, {"scope", "from"}});
  if (args.help)
    return show_help("profile new");
  expect_words(args, 1, args.has("vars") ? SIZE_MAX : 1, "NAME");
  std::optional<std::string> from = args.value("from");
  if (from.has_value() == args.has("vars") || (args.has("vars") && args.words.size() < 2))
    throw UsageError("profile new", "give either --from FILE or --vars NAME...");
  return named(args, [&](const std::string &name, const std::string &scope) {
    ScopeState profile;
    if (from) {
      try {
        profile = parse_state(read_document_file(*from));
        check_document(profile);
      } catch (const DocumentError &e) {
        throw UsageError("profile new", *from + ": " + e.what());
      }
    } else {
      profile = profile_from_scope(scope, {args.words.begin() + 1, args.words.end()});
    }
    save_profile(scope, name, profile);
    write_out("Profile '" + name + "' saved in the " + scope + " scope\n");
    return 0;
  });
}

int profile_list(const Words &argv) {
  Args args = parse_args("profile list", argv, scope_only);
  if (args.help)
    return show_help("profile list");
  expect_words(args, 0, 0, "");
  std::string scope = scope_option(args);
  std::vector<ProfileRecord> active = active_profiles(scope);
  std::string out;
  for (const std::string &name : profile_names(scope))
    out += (find_active(active, name) ? "on   " : "off  ") + name + "\n";
  write_out(out);
  return 0;
}

int profile_show(const Words &argv) {
  Args args = parse_args("profile show", argv, scope_only);
  if (args.help)
    return show_help("profile show");
  expect_words(args, 1, 1, "NAME");
  return named(args, [&](const std::string &name, const std::string &scope) {
    std::string out = write_state(read_profile(scope, name), StateFormat::json);
    std::vector<ProfileRecord> active = active_profiles(scope);
    if (const ProfileRecord *on = find_active(active, name)) {
      out += "on; it replaced:\n";
      for (const auto &[var, value] : on->replaced)
        out += "  " + visible(var) + (value ? "=" + visible(*value) : std::string(" (unset)")) + "\n";
      for (const std::string &e : on->path_added)
        out += "  PATH entry " + visible(e) + " (added)\n";
    }
    write_out(out);
    return 0;
  });
}

int profile_rm(const Words &argv) {
  Args args = parse_args("profile rm", argv, scope_only);
  if (args.help)
    return show_help("profile rm");
  expect_words(args, 1, 1, "NAME");
  return named(args, [](const std::string &name, const std::string &scope) {
    remove_profile(scope, name);
    return 0;
  });
}

int profile_on(const Words &argv) {
  Args args = parse_args("profile on", argv, scope_only);
  if (args.help)
    return show_help("profile on");
  expect_words(args, 1, 1, "NAME");
  return named(args, [](const std::string &name, const std::string &scope) {
    std::optional<std::size_t> changes = switch_profile_on(scope, name);
    if (!changes) {
      write_out("Profile '" + name + "' is on already; nothing changed\n");
      return 0;
    }
    write_out("Profile '" + name + "' is on (" + changes_count(*changes) + ")\n");
    return 0;
  });
}

int profile_off(const Words &argv) {
  Args args = parse_args("profile off", argv, {{"force"}, {"scope"}});
  if (args.help)
    return show_help("profile off");
  expect_words(args, 1, 1, "NAME");
  return named(args, [&](const std::string &name, const std::string &scope) {
    std::size_t changes = switch_profile_off(scope, name, args.has("force"));
    write_out("Profile '" + name + "' is off (" + changes_count(changes) + ")\n");
    return 0;
  });
}

struct Sub {
  std::string_view name;
  int (*run)(const Words &);
};
constexpr Sub subs[] = {{"new", profile_new}, {"list", profile_list}, {"show", profile_show},
                        {"rm", profile_rm},   {"on", profile_on},     {"off", profile_off}};

} // namespace

int cmd_profile(const Words &argv) {
  std::size_t at = find_subcommand(argv, {"--scope", "--from"});
  if (at == std::string::npos) {
    Args args = parse_args("profile", argv, scope_only);
    if (args.help)
      return show_help("profile");
    return profile_list(argv);
  }
  Words rest = argv;
  rest.erase(rest.begin() + static_cast<long>(at));
  for (const Sub &s : subs)
    if (s.name == argv[at])
      return s.run(rest);
  throw UsageError("profile", "unknown profile command '" + argv[at] + "' (new, list, show, rm, on or off)");
}

// kenv __complete: the words the shell completions cannot know by themselves, one per
// line: the scope's variable names, its own PATH entries (what `path rm`, `path mv` and
// `path off` take), its switched-off entries (`path on`), its profiles and the user
// scope's backup files (what `restore` takes). Hidden from the help: it
// is for the completion scripts only, and prints nothing when the library fails, so that a
// completion never shows an error in the middle of a command line.
#include "args.h"
#include "commands.h"
#include "library.h"
#include "listing.h"
#include "output.h"
#include "profiles.h"

namespace {

std::string names(const Listing &listing) {
  std::string out;
  for (const Variable &v : listing.vars)
    out += v.name + "\n";
  return out;
}

std::string own_path_entries(const Listing &listing) {
  std::string out;
  for (const PathEntry &e : listing.path)
    if (e.source == "path" && !e.entry.empty())
      out += e.entry + "\n";
  return out;
}

std::string user_backups() {
  std::string out;
  for (const Backup &b : parse_backups(lib_backups()))
    if (!b.scope || *b.scope != "system")
      out += b.file + "\n";
  return out;
}

} // namespace

int cmd_complete(const Words &argv) {
  Args args = parse_args("__complete", argv, {{}, {"scope"}});
  expect_words(args, 1, 1, "names, entries, off, profiles or backups");
  const std::string &what = args.words[0];
  try {
    if (what == "backups") {
      write_out(user_backups());
      return 0;
    }
    if (what == "off" || what == "profiles") {
      std::string out;
      if (what == "off")
        for (const OffEntry &e : path_off_entries(scope_option(args)))
          out += e.entry + "\n";
      else
        for (const std::string &name : profile_names(scope_option(args)))
          out += name + "\n";
      write_out(out);
      return 0;
    }
    Listing listing = parse_listing(lib_list(scope_option(args)));
    if (what == "names")
      write_out(names(listing));
    else if (what == "entries")
      write_out(own_path_entries(listing));
    return 0;
  } catch (const LibraryError &) {
    return 1;
  }
}

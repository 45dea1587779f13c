// kenv shell-init: the lines a user adds to a shell's start-up file so that every new shell
// loads the export files. kenv prints them and never edits start-up files itself.
//
// The export files are POSIX sh (`export NAME='value'`), and a scope's PATH in them holds
// only that scope's own entries, so sourcing one plainly would replace the shell's PATH.
// The lines therefore source each file and then add its PATH entries after the PATH the
// shell had, skipping entries it already holds. fish cannot read sh, so for fish a child
// sh sources the file and hands the variables back NUL-separated, which keeps quotes,
// newlines and dollar signs intact.
#include "args.h"
#include "commands.h"
#include "help.h"
#include "library.h"
#include "listing.h"
#include "output.h"

#include <cstdlib>

namespace {

const char sh_body[] = R"(  [ -r "$kenv_file" ] || continue
  kenv_path=${PATH-}
  . "$kenv_file"
  if [ "${PATH-}" != "$kenv_path" ]; then
    kenv_rest=$PATH:
    PATH=$kenv_path
    while [ -n "$kenv_rest" ]; do
      kenv_entry=${kenv_rest%%:*}
      kenv_rest=${kenv_rest#*:}
      case :$PATH: in
        *:"$kenv_entry":*) ;;
        *) [ -z "$kenv_entry" ] || PATH=${PATH:+$PATH:}$kenv_entry ;;
      esac
    done
    export PATH
  fi
done
unset kenv_file kenv_path kenv_rest kenv_entry
)";

const char fish_body[] = R"(        test -r $kenv_file; or continue
        set -l kenv_name
        set -l kenv_value
        for kenv_var in (env -i /bin/sh -c '. "$1" && command -p env -0' sh $kenv_file | string split0)
            string match -rq '(?s)^(?<kenv_name>[^=]*)=(?<kenv_value>.*)\z' -- $kenv_var
            or continue
            switch $kenv_name
                case PWD OLDPWD SHLVL _
                    # set by sh itself, not by the file
                case PATH
                    for kenv_entry in (string split : -- $kenv_value)
                        if test -n "$kenv_entry"; and not contains -- $kenv_entry $PATH
                            set -gx PATH $PATH $kenv_entry
                        end
                    end
                case '*'
                    set -gx $kenv_name $kenv_value
            end
        end
    end
end
)";

// A single-quoted fish word: only backslash and single quote are special inside.
std::string fish_quote(const std::string &text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\\' || c == '\'')
      out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

std::string start_up_file(const std::string &shell) {
  if (shell == "bash")
    return "~/.bashrc";
  if (shell == "zsh")
    return "~/.zshenv (or $ZDOTDIR/.zshenv)";
  if (shell == "fish")
    return "~/.config/fish/conf.d/kenv.fish";
  return "~/.profile";
}

std::string banner(const std::string &shell) {
  std::string out = "# Load the environment variables kept by kenv: the system scope's export file, then\n"
                    "# the user's, so that user values win. PATH entries are added after the PATH the\n"
                    "# shell already has. Printed by `kenv shell-init --shell ";
  return out + shell + "`;\n# add it to " + start_up_file(shell) + ".\n";
}

std::string shell_from_environment() {
  const char *env = std::getenv("SHELL");
  std::string path = env ? env : "";
  std::string base = path.substr(path.find_last_of('/') + 1);
  return base == "bash" || base == "zsh" || base == "fish" ? base : "sh";
}

std::string chosen_shell(const Args &args) {
  std::optional<std::string> given = args.value("shell");
  if (!given)
    return shell_from_environment();
  if (*given == "sh" || *given == "dash" || *given == "bash" || *given == "zsh" || *given == "fish")
    return *given;
  throw UsageError(args.command, "--shell must be sh, dash, bash, zsh or fish, not '" + *given + "'");
}

std::string export_file_of(const std::string &scope) {
  std::string note;
  Listing listing = parse_listing(lib_list(scope, &note));
  if (!listing.export_file)
    throw LibraryError(note.empty() ? "cannot locate the " + scope + " scope's export file" : note);
  return *listing.export_file;
}

} // namespace

int cmd_shell_init(const Words &argv) {
  Args args = parse_args("shell-init", argv, {{}, {"shell"}});
  if (args.help)
    return show_help("shell-init");
  expect_words(args, 0, 0, "");
  std::string shell = chosen_shell(args);
  std::string system_file = export_file_of("system"), user_file = export_file_of("user");
  if (shell == "fish") {
    write_out(banner(shell) + "begin\n    for kenv_file in " + fish_quote(system_file) + " " +
              fish_quote(user_file) + "\n" + fish_body);
  } else {
    write_out(banner(shell) + "for kenv_file in " + sh_quote(system_file) + " " + sh_quote(user_file) +
              "; do\n" + sh_body);
  }
  return 0;
}

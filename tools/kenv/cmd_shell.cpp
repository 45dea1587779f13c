// kenv shell-init: the lines a user adds to a shell's start-up file so that every new shell
// loads the export files. kenv prints them, and edits a start-up file only when asked to
// with --install or --uninstall (shell_install.cpp); the library never edits one.
//
// The system scope's export file is a drop-in of profile.d, which /etc/profile sources for
// the login shells of sh, dash and bash; zsh and fish do not read /etc/profile, so their
// lines source it first, and the user's export file after it, so that user values win.
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
#include "shell_init.h"

#include <algorithm>
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
        for kenv_var in (/bin/sh -c '. "$1" && command -p env -0' sh $kenv_file | string split0)
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
                    # sh starts from this shell's environment, so references in the file
                    # expand as they do in a session; what the file left alone is skipped.
                    if not set -q $kenv_name; or test "$$kenv_name" != "$kenv_value"
                        set -gx $kenv_name $kenv_value
                    end
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
    return "~/.zshrc (or $ZDOTDIR/.zshrc)";
  if (shell == "fish")
    return "~/.config/fish/conf.d/kenv.fish";
  return "~/.profile";
}

// Login shells of these read /etc/profile, which sources the system scope's drop-in.
bool reads_etc_profile(const std::string &shell) {
  return shell == "sh" || shell == "dash" || shell == "bash";
}

// On Windows programs take the variables from the registry; the lines serve the POSIX shells
// there (Git Bash, MSYS2, Cygwin), which read no /etc/profile drop-in of kenv's.
bool on_windows() {
  return parse_listing(lib_list("user")).platform == "windows";
}

std::string windows_banner(const std::string &shell) {
  return "# Load the environment variables kept by kenv into a POSIX shell on Windows (Git Bash,\n"
         "# MSYS2, Cygwin): the system scope's export file, then the user's, so that user values\n"
         "# win. New Windows programs get the variables from the registry, and consoles already\n"
         "# open keep their old values; this shell needs the lines. Printed by\n"
         "# `kenv shell-init --shell " +
         shell + "`; add it to " + start_up_file(shell) + " in that shell.\n";
}

std::string banner(const std::string &shell) {
  if (on_windows())
    return windows_banner(shell);
  std::string out =
      reads_etc_profile(shell)
          ? "# Load the environment variables kept by kenv: the user's export file (the system\n"
            "# scope's comes from /etc/profile). PATH entries are added after the PATH the\n"
            "# shell already has. Printed by `kenv shell-init --shell "
          : "# Load the environment variables kept by kenv: the system scope's export file, then\n"
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

bool known_shell(const std::string &name) {
  return name == "sh" || name == "dash" || name == "bash" || name == "zsh" || name == "fish";
}

// The shells named with --shell, each once; repeated options and "bash,zsh" both count.
std::vector<std::string> named_shells(const Args &args) {
  std::vector<std::string> shells;
  for (const std::string &given : args.every_value("shell")) {
    std::size_t at = 0;
    for (std::size_t end = 0; end != std::string::npos; at = end + 1) {
      end = given.find(',', at);
      std::string name = given.substr(at, end == std::string::npos ? end : end - at);
      if (!known_shell(name))
        throw UsageError(args.command, "--shell must be sh, dash, bash, zsh or fish, not '" + name + "'");
      if (std::find(shells.begin(), shells.end(), name) == shells.end())
        shells.push_back(name);
    }
  }
  return shells;
}

// For --install and --uninstall: the shells named, else the login shell ($SHELL).
std::vector<std::string> shells_to_wire(const Args &args) {
  std::vector<std::string> shells = named_shells(args);
  if (!shells.empty())
    return shells;
  const char *env = std::getenv("SHELL");
  std::string path = env ? env : "";
  std::string base = path.substr(path.find_last_of('/') + 1);
  if (!known_shell(base))
    throw UsageError(args.command, "the login shell " +
                                       (path.empty() ? "($SHELL is unset)" : "'" + path + "'") +
                                       " is none of sh, dash, bash, zsh or fish; name shells with --shell");
  return {base};
}

// The file as the shell names it: Windows paths with '/', which the POSIX shells there read.
std::string export_file_of(const std::string &scope) {
  std::string note;
  Listing listing = parse_listing(lib_list(scope, &note));
  if (!listing.export_file)
    throw LibraryError(note.empty() ? "cannot locate the " + scope + " scope's export file" : note);
  return listing.platform == "windows" ? posix_shell_path(*listing.export_file) : *listing.export_file;
}

} // namespace

std::string shell_load_lines(const std::string &shell) {
  std::string user_file = export_file_of("user");
  if (reads_etc_profile(shell) && !on_windows())
    return "for kenv_file in " + sh_quote(user_file) + "; do\n" + sh_body;
  std::string system_file = export_file_of("system");
  if (shell == "fish")
    return "begin\n    for kenv_file in " + fish_quote(system_file) + " " + fish_quote(user_file) + "\n" +
           fish_body;
  return "for kenv_file in " + sh_quote(system_file) + " " + sh_quote(user_file) + "; do\n" + sh_body;
}

int cmd_shell_init(const Words &argv) {
  Args args = parse_args("shell-init", argv, {{"install", "uninstall"}, {"shell"}});
  if (args.help)
    return show_help("shell-init");
  expect_words(args, 0, 0, "");
  if (args.has("install") && args.has("uninstall"))
    throw UsageError(args.command, "give either --install or --uninstall, not both");
  if (args.has("install") || args.has("uninstall")) {
    bool install = args.has("install");
    for (const std::string &shell : shells_to_wire(args))
      write_out(install ? install_shell_init(shell) : uninstall_shell_init(shell));
    return 0;
  }
  std::vector<std::string> named = named_shells(args);
  if (named.size() > 1)
    throw UsageError(args.command, "name one shell to print its lines; --install takes several");
  std::string shell = named.empty() ? shell_from_environment() : named[0];
  write_out(banner(shell) + shell_load_lines(shell));
  return 0;
}

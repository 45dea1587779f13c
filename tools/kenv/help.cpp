#include "help.h"

#include "args.h"
#include "output.h"

namespace {

struct Topic {
  std::string_view name;
  const char *text;
};

const char kenv_help[] = R"(kenv - view and edit persistent environment variables

Usage: kenv [--scope user|system] COMMAND [OPTIONS] [ARGUMENTS]

Commands:
  list         show a scope's variables, PATH entries, warnings and export file
  env          show what a new login session gets, and the file that set each variable
  get          print one variable's value
  set          create or replace a variable
  unset        delete a variable
  path         list PATH, or add, remove, move, switch off and on one entry
  backups      list, show, compare and prune the backups taken before every change
  restore      make a backup's variables its scope's variables again
  export       write a scope's variables and PATH entries as one document
  apply        make a scope hold what a document says, as one change
  profile      named sets of variables, switched on and off as one change each
  shell-init   print the lines that load the variables into sh, bash, zsh or fish, or
               add them to the shells' start-up files (--install)
  doctor       look for problems across both scopes

Options:
  --scope user|system   the scope to read or change (default: user), given before the
                        command or among its options
  -h, --help            show help; `kenv COMMAND --help` shows a command's help
  --version             print kenv's version

Changes reach new sessions and the shells that load the export file (see
`kenv shell-init`); the shell you type in keeps its environment until it loads it again.
Results go to stdout, errors to stderr.

Exit status: 0 on success; 1 when the change or listing fails (the reason follows "kenv:"
on stderr), when `get` finds no such variable and when `doctor` finds something; 2 when
kenv was called wrongly (a document apply cannot read included); 3 when `apply --check`
finds something to change.

Examples:
  kenv list
  kenv set EDITOR vim
  kenv get EDITOR
  kenv path add "$HOME/.local/bin" --at 0
  kenv list --scope system --json
  kenv --scope system get JAVA_HOME
)";

const char list_help[] = R"(Usage: kenv list [--scope user|system] [--json] [--max-width N]

Shows one scope: every variable with its value, what it expands to when it refers to
other variables, and where it comes from ("overlay" for what kenv set, "envd-user" or
"envd-system" for environment.d files); the PATH entries numbered from 0 with missing
directories, duplicates and the start-up file an entry comes from; the warnings; and the
export file with how to load it. Values are shown whole; control characters appear as
\n, \t, \e or \xHH.

Options:
  --scope user|system   the scope to show (default: user)
  --json                print the listing document exactly as the library returns it
  --max-width N         cut values and expansions longer than N characters

Examples:
  kenv list
  kenv list --scope system
  kenv list --json | jq '.path[] | select(.exists == 0)'
)";

const char env_help[] = R"(Usage: kenv env [--scope user|system] [--json]

Shows the environment a new login session gets from environment.d, in the order the
session assigns the variables: each variable with its value as the session sees it
(references expanded) and the environment.d file that set it last. For the user scope that
covers every environment.d directory systemd reads, the user's and the system's; for the
system scope only the system's. Where a login shell that loads the export files would get
another value, or none, that is shown below the variable.

Options:
  --json   print the session view as JSON, an array of {"name","value","file","shell",
           "differs"} in the order the session assigns them; "differs" is true or false

Examples:
  kenv env
  kenv env --scope system
  kenv env --json | jq -r '.[] | select(.differs) | .name'
)";

const char get_help[] = R"(Usage: kenv get NAME [--scope user|system] [--expanded]

Prints the value of one variable, unchanged and followed by a newline. Names match
without regard to ASCII letter case when no name is spelled exactly so. Exits with
status 1 when the scope has no such variable.

Options:
  --scope user|system   the scope to read (default: user)
  --expanded            print the value with $NAME, ${NAME} and %NAME% resolved against
                        the same scope

Examples:
  kenv get EDITOR
  kenv get GOPATH --expanded
  kenv get PATH --scope system
)";

const char set_help[] = R"(Usage: kenv set NAME VALUE [--scope user|system] [--force]

Creates the variable or replaces its value. The value is stored exactly as given: quote
it for your shell, and write `--` before a value that starts with "-". An empty value is
allowed; on Linux it removes the variable from environment.d, so new sessions do not
define it. Emptying PATH, which removes every entry, needs --force. A backup of the scope
is taken first (see `kenv backups`).

Options:
  --scope user|system   the scope to change (default: user)
  --force               empty PATH all the same (kenv says which entries went)

Examples:
  kenv set EDITOR vim
  kenv set GOPATH '$HOME/go'
  kenv set LESS -- -R
  kenv set --scope system JAVA_HOME /usr/lib/jvm/default-java
)";

const char unset_help[] = R"(Usage: kenv unset NAME [--scope user|system]

Deletes a variable that kenv set. PATH, SystemRoot, WINDIR, TEMP and TMP cannot be
deleted; edit PATH with `kenv path`. A backup of the scope is taken first.

Options:
  --scope user|system   the scope to change (default: user)

Examples:
  kenv unset EDITOR
  kenv unset --scope system JAVA_HOME
)";

const char path_help[] = R"(Usage: kenv path [list] [--scope user|system]
       kenv path add ENTRY [--at N] [--scope user|system]
       kenv path rm ENTRY [--scope user|system]
       kenv path mv ENTRY N [--scope user|system]
       kenv path off ENTRY [--scope user|system]
       kenv path on ENTRY [--scope user|system]

Lists the scope's PATH entries numbered from 0, or changes PATH one entry at a time.
A scope's PATH holds that scope's own entries; sessions add them after the PATH they
start with. Entries are compared as written, except that trailing slashes do not count.

Commands:
  list          show the entries with their state and source (the default)
  add ENTRY     insert ENTRY at position N (--at), or append it; a duplicate is refused
  rm ENTRY      remove every entry equal to ENTRY
  mv ENTRY N    move the first entry equal to ENTRY to position N (past the end: last)
  off ENTRY     take ENTRY out of PATH, remembering its position
  on ENTRY      put a switched-off ENTRY back at its position

Options:
  --scope user|system   the scope to read or change (default: user)
  --at N                where `add` inserts the entry, counted from 0

Examples:
  kenv path
  kenv path add "$HOME/.local/bin" --at 0
  kenv path mv /opt/tools/bin 0
  kenv path rm /opt/old/bin --scope system
  kenv path off /opt/old/bin
)";

const char path_list_help[] = R"(Usage: kenv path list [--scope user|system] [--json]
       kenv path [--scope user|system] [--json]

Shows the scope's PATH entries numbered from 0: whether each names an existing directory
("missing" when not), whether it repeats an earlier entry ("duplicate"), and its source:
"path" for the scope's PATH variable, "rc:FILE" for an entry a shell start-up file adds.
Switched-off entries (`kenv path off`) appear at their places with the state "off", and
an entry an active profile added names that profile.

Options:
  --json   print the rows as a JSON array of {"entry","exists","dup","source","editable",
           "off","profile"}; flags are true or false, "profile" null when no profile

Examples:
  kenv path
  kenv path list --scope system
)";

const char path_add_help[] = R"(Usage: kenv path add ENTRY [--at N] [--scope user|system]

Inserts ENTRY into the scope's PATH at position N, counted from 0; without --at, or with
N past the end, it is appended. An entry the PATH already holds is refused. An entry that
is not an existing directory is added all the same, with a note on stderr.

Examples:
  kenv path add "$HOME/.local/bin"
  kenv path add "$HOME/bin" --at 0
  kenv path add /opt/tools/bin --scope system
)";

const char path_rm_help[] = R"(Usage: kenv path rm ENTRY [--scope user|system]

Removes every entry of the scope's PATH that is equal to ENTRY.

Examples:
  kenv path rm "$HOME/old/bin"
  kenv path rm /opt/tools/bin --scope system
)";

const char path_mv_help[] = R"(Usage: kenv path mv ENTRY N [--scope user|system]

Moves the first entry equal to ENTRY to position N, counted from 0; a position past the
end makes it the last entry.

Examples:
  kenv path mv "$HOME/.local/bin" 0
  kenv path mv /usr/local/go/bin 99
)";

const char path_off_help[] = R"(Usage: kenv path off ENTRY [--scope user|system]

Takes one of the scope's own PATH entries out of PATH, as one change, and remembers it
with its position in path-off.json in the scope's data directory. `kenv path` still lists
it, with the state "off", and `kenv path on` puts it back. A restore leaves the remembered
entries alone: when it brings an entry back into PATH, `kenv path on` says so and forgets
the entry.

Examples:
  kenv path off /opt/old/bin
  kenv path off /opt/tools/bin --scope system
)";

const char path_on_help[] = R"(Usage: kenv path on ENTRY [--scope user|system]

Puts a switched-off entry back into the scope's PATH at the position it had, or at the
end when PATH has become shorter, as one change. When PATH holds the entry already, it
says so and changes nothing.

Examples:
  kenv path on /opt/old/bin
)";

const char export_help[] = R"(Usage: kenv export [--scope user|system] [--format json|env] [-o FILE]

Writes the scope's own variables (what its store holds, in its order) and its own PATH
entries as one document, to stdout or to FILE (mode 0600; it may hold secrets). A new
FILE or a regular one is replaced atomically; a device or FIFO (/dev/stdout) is written
through and never replaced.
  json (the default): {"format": "kenv-state/1", "scope": "user", "vars": [{"name": ...,
       "value": ...}, ...], "path": ["entry", ...]}; PATH is not among "vars"
  env: a comment line naming the format and scope, then one NAME=value line per variable
       in the environment.d syntax kenv writes, and PATH as PATH=${PATH}:a:b, so the file
       is a valid environment.d file too
Both read back with `kenv apply` to exactly the state they were written from.

Options:
  --format json|env   the document's format (default: json)
  -o, --output FILE   write to FILE instead of stdout
  --scope SCOPE       user (the default) or system

Examples:
  kenv export -o my-setup.json
  kenv export --format env --scope system
)";

const char apply_help[] =
    R"(Usage: kenv apply FILE [--scope user|system] [--prune] [--check] [--diff] [--json]

Makes the scope hold what FILE says, as one change with one backup, whole or not at all.
FILE (`-` for stdin) is a kenv-state/1 document in either format of `kenv export`; the
scope is --scope, else the document's, else user. Every variable in FILE gets its value;
FILE's PATH entries that the scope lacks are added at the end, in FILE's order, and
entries already there stay where they are. When the scope holds what FILE says already,
nothing is written and no backup is taken: it prints "no changes". A change that another
process makes while apply runs is detected, and apply then changes nothing.

Options:
  --prune   afterwards the scope holds exactly FILE's variables (protected names such as
            PATH are never deleted: one missing from FILE is kept and named) and its own
            PATH is exactly FILE's list, in FILE's order
  --check   change nothing; list what would change; exit 0 when nothing would, 3 when
            something would
  --diff    list each change on its own line: + NAME=value, - NAME, ~ NAME: old -> new,
            + PATH entry, - PATH entry, ~ PATH order
  --json    print {"changed": true|false, "changes": [{"op": "set"|"delete"|"path_add"|
            "path_remove"|"path_order", "name", "old", "new"}], "backup": FILE|null}

FILE must be a regular file (a pipe or FIFO: use -); stdin is read up to 1 MiB. A UTF-8
byte order mark and CRLF line ends are accepted. A JSON document holds "format", "vars"
and "path", may hold "scope", and nothing else, each once. A document that is empty,
neither JSON nor environment.d lines (JSON: the line and column are named), of an unknown
"format", with a member of the wrong type, a NUL in a text, a name given twice or a scope
other than --scope is a usage error (exit 2) naming the member, line or name.

Examples:
  kenv apply my-setup.json
  kenv apply team.env --check --diff
  kenv export --scope system | ssh other-host kenv apply - --prune
)";

const char backups_help[] = R"(Usage: kenv backups [--json]
       kenv backups prune (--keep N | --older-than DAYS) [--dry-run] [--scope user|system]
       kenv backups show FILE|--latest [--scope user|system]
       kenv backups diff FILE|--latest [--scope user|system]

Lists the backups, newest first: when each was taken (UTC), its scope, how many variables
it holds and its file. Every change takes one before it writes anything, and the library
never removes one.

prune removes old backups of one scope (the user scope unless --scope says otherwise) and
prints each file it removed: all but the newest N, or those taken more than DAYS days ago.
The newest backup of the scope always stays, and backups of no known scope are never
removed. show prints a backup's variables. diff shows how a backup differs from its scope
now: what restoring it would add, remove or change. FILE is a backup's path, or its file
name as `kenv backups` shows it; --latest takes the newest backup of the scope.

Options:
  --json             print the backup list exactly as the library returns it
  --keep N           prune all but the newest N backups (N is 1 or more)
  --older-than DAYS  prune the backups taken more than DAYS days ago
  --dry-run          print what prune would remove, and remove nothing
  --latest           show or compare the newest backup of the scope
  --scope SCOPE      user (the default) or system

Examples:
  kenv backups
  kenv backups --json | jq -r '.[0].path'
  kenv backups prune --keep 100
  kenv backups prune --older-than 365 --dry-run
  kenv backups show --latest
  kenv backups diff 20250102-100000-00000001.json
)";

const char restore_help[] = R"(Usage: kenv restore FILE
       kenv restore --latest
       kenv restore --drop-invalid FILE

Makes the variables of a backup its scope's variables again, after taking a fresh backup
of the current state: variables set since are removed, from environment.d too. FILE is a
backup's path, or its file name as `kenv backups` shows it. --latest takes the newest
backup of the user scope. A system-scope backup is restored into the system scope, which
needs root. Profile records and switched-off PATH entries are left as they are. Variables that
other environment.d files define are left alone. A backup holding a variable that
environment.d cannot take is refused whole; --drop-invalid restores it without such
variables and lists them.

Options:
  --latest         restore the newest user-scope backup
  --drop-invalid   leave out the variables environment.d cannot take, and list them

Examples:
  kenv restore --latest
  kenv restore 20250102-100000-00000001.json
  kenv restore ~/.local/share/pellomar/backups/20250102-100000-00000001.json
)";

const char profile_help[] = R"(Usage: kenv profile [list] [--scope user|system]
       kenv profile new NAME (--from FILE | --vars NAME...) [--scope user|system]
       kenv profile show|rm|on NAME [--scope user|system]
       kenv profile off NAME [--force] [--scope user|system]

A profile is a named kenv-state/1 document kept in the scope's data directory
(profiles/NAME.json, mode 0600). Switching it on applies it on top of the scope as one
change and records what it replaced (each variable's earlier value, or that it was unset,
and the PATH entries it added); switching it off puts exactly that back as one change, so
the scope's files are as before when nothing else changed in between. Several profiles may
be on at once, but never two that set the same variable or add the same PATH entry.
`kenv list` shows which profiles are on and marks what came from one. Names are letters,
digits, '-', '_' and '.', not starting with '.'.

Commands:
  list            the profiles, each "on" or "off" (the default)
  new NAME        save a profile from FILE (--from) or from the scope's variables (--vars;
                  PATH stands for the scope's PATH entries)
  show NAME       print the profile and, while it is on, what it replaced
  rm NAME         delete a profile; refused while it is on
  on NAME         switch it on; refused when another active profile owns one of its
                  variables or PATH entries
  off NAME        switch it off; refused, naming each, when a variable it set was changed
                  since, unless --force

Options:
  --from FILE     the document a new profile is read from
  --vars          take the new profile's variables from the scope; the names follow NAME
  --force         switch off even what was changed since the profile went on
  --scope SCOPE   user (the default) or system

Examples:
  kenv profile new work --vars GOPATH GOBIN PATH
  kenv profile new home --from home.json
  kenv profile on work
  kenv profile off work
)";

const char shell_init_help[] = R"(Usage: kenv shell-init [--shell sh|dash|bash|zsh|fish]
       kenv shell-init --install [--shell NAME]...
       kenv shell-init --uninstall [--shell NAME]...

Prints the lines that load kenv's export files into a shell: for zsh and fish the system
scope's drop-in, then the user's file, so that user values win; for sh, dash and bash only
the user's, since their login shells get the drop-in from /etc/profile. PATH entries are
added after the PATH the shell already has, once each; references expand as in a session.
Without --shell, the shell named by $SHELL is used (sh when it is none of these).

--install puts these lines into the start-up file of your login shell ($SHELL), or of
each shell named, as a block between two marker lines, once: installing again changes
nothing. --uninstall removes exactly that block. A file that exists is first copied to
FILE.kenv-backup-<UTC time>, and kenv prints every file it changed. Nothing else ever
edits start-up files.

Start-up files (--install):
  sh, dash   ~/.profile
  bash       ~/.bashrc (Debian's ~/.profile reads it for login shells)
  zsh        ~/.zshrc (in $ZDOTDIR when it is set)
  fish       ~/.config/fish/conf.d/kenv.fish, a file of its own

Options:
  --shell NAME   sh, dash, bash, zsh or fish; with --install and --uninstall it may be
                 repeated, or name several shells separated by commas
  --install      add the lines to the shells' start-up files
  --uninstall    remove them again

Examples:
  kenv shell-init --install
  kenv shell-init --install --shell bash,zsh
  kenv shell-init --uninstall --shell fish
  kenv shell-init --shell bash >> ~/.bashrc
)";

const char doctor_help[] = R"(Usage: kenv doctor [--json]

Reads both scopes and reports:
  - PATH entries that both the user and the system PATH hold;
  - PATH entries that are empty or name no existing directory;
  - PATH lengths beyond 2047 characters (programs that build command lines with PATH may
    fail), 4095 (the registry's caution on Windows) and 8191 (cmd.exe ignores a longer
    PATH): for each scope and for both together;
  - variables whose value refers ($NAME, ${NAME}, %NAME%) to a name neither scope defines;
  - whether a shell start-up file loads the user export file;
  - stores that disagree with environment.d, and environment.d lines whose value is not
    UTF-8, at which systemd 252's generator fails (a new session then gets nothing from
    environment.d): the file and the line.
On Windows, which takes the environment from the registry rather than from start-up files,
it reports instead:
  - PATH entries whose %NAME% expansion names no existing directory;
  - the system PATH and the user PATH together, expanded, beyond 2047 characters (older
    programs cut it) and 8191 (cmd.exe cuts it);
  - REG_SZ values holding '%', whose references Windows does not expand (`kenv set` writes
    them again as REG_EXPAND_SZ);
and the shared entries and undefined references as above.
Exits with status 0 when it finds nothing, 1 when it finds something.

Options:
  --json   print the checks as JSON: {"ok":true|false,"found":N,"checks":[{"title",
           "ok","findings","notes"}]}; unlike the library's documents, which mark flags
           with 0 and 1, kenv's own JSON uses true and false

Examples:
  kenv doctor
  kenv doctor || echo "see above"
  kenv doctor --json | jq -r '.checks[] | select(.ok | not) | .findings[]'
)";

constexpr Topic topics[] = {
    {"", kenv_help},
    {"list", list_help},
    {"env", env_help},
    {"get", get_help},
    {"set", set_help},
    {"unset", unset_help},
    {"path", path_help},
    {"path list", path_list_help},
    {"path add", path_add_help},
    {"path rm", path_rm_help},
    {"path mv", path_mv_help},
    {"path off", path_off_help},
    {"path on", path_on_help},
    {"export", export_help},
    {"apply", apply_help},
    {"profile", profile_help},
    {"profile new", profile_help},
    {"profile list", profile_help},
    {"profile show", profile_help},
    {"profile rm", profile_help},
    {"profile on", profile_help},
    {"profile off", profile_help},
    {"backups", backups_help},
    {"restore", restore_help},
    {"shell-init", shell_init_help},
    {"doctor", doctor_help},
};

} // namespace

int show_help(std::string_view topic) {
  for (const Topic &t : topics) {
    if (t.name == topic) {
      write_out(t.text);
      return 0;
    }
  }
  throw UsageError("", "no help for '" + std::string(topic) + "'");
}

int show_help_for(const std::vector<std::string> &words) {
  std::string topic;
  for (const std::string &w : words)
    topic += (topic.empty() ? "" : " ") + w;
  return show_help(topic);
}

std::string help_summary() {
  return "kenv: missing command\n"
         "Usage: kenv [--scope user|system] COMMAND [OPTIONS] [ARGUMENTS]\n"
         "Commands: list, env, get, set, unset, path, backups, restore, export, apply,\n"
         "          profile, shell-init, doctor\n"
         "Try 'kenv --help'.\n";
}

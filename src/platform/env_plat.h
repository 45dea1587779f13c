// The platform interface: everything the core asks of the operating system. Each platform
// has one backend implementing all of it (src/posix, src/win); both are compiled in every
// build and exactly one yields code. Results are 0 for success and -1 for failure with the
// message already recorded through env_set_error.
#pragma once

#include "core/names.h"

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A PATH entry that a shell start-up file adds, with the label the listing shows for it.
struct env_rc_extra {
  std::string path;
  std::string label;
  std::string file; // the start-up file that adds it
};

// A shell start-up file that was read, and whether the library wrote it (never, so far).
struct env_rc_file {
  std::string path;
  int written = 0;
};

// "linux", "windows", ...: a static text.
const char *env_plat_name();
// The PATH separator character.
char env_plat_path_sep();
// Whether the platform takes variable names that differ only in ASCII letter case for one
// name: Windows does, POSIX systems (and systemd's environment.d) compare bytes.
bool env_plat_names_fold_case();
// The references a new session expands in values: $NAME and ${NAME} on POSIX systems
// (systemd's environment.d), %NAME% on Windows (REG_EXPAND_SZ).
enum class env_ref_style { dollar, percent };
env_ref_style env_plat_reference_style();
// 1 when two PATH entries denote the same entry, 0 otherwise or when either is NULL.
int env_plat_path_eq(const char *a, const char *b);
// "environment.d" or "registry": where changes are written natively.
const char *env_plat_write_policy();
// The export file's header lines (each a comment ending in a newline) that say where new
// sessions take the variables from and who sources the file.
const char *env_plat_export_policy();
// A path as the platform's POSIX shells read it: unchanged on POSIX systems, with '/' for
// every '\' on Windows, where Git Bash and MSYS2 take "C:/..." as it is.
std::string env_plat_shell_path(const std::string &path);

// A variable of this process's environment in UTF-8; nullopt when it is unset. A reference
// to a name that neither the store nor the native store holds expands to it. Windows keeps
// the environment in UTF-16, and the C library's copy (getenv) has '?' for every character
// the ANSI code page lacks, so the backend reads it wide.
std::optional<std::string> env_plat_process_variable(std::string_view name);

// The folder of the scope's own files: its store, its backups and its lock. The user
// scope's is the data directory the process environment names; the system scope's belongs
// to the machine, the same for everyone who changes it. Nothing is created: the writers
// create what they write into, so that reading never leaves a trace.
int env_plat_data_dir(env_scope scope, std::string &out);
// The scope's export file, given the scope's folder: the user's lies in that folder, the
// system's where the platform's shells find it for every user.
int env_plat_export_file(env_scope scope, const std::string &data_dir, std::string &out);

// The native store's variables of the scope, unexpanded, in the store's order. `out` is
// emptied first, so it is valid whatever the result.
int env_plat_native_vars(env_scope scope, env_kv_list &out);

// Whether the native store can take the pair as it is, asked before a change writes
// anything: -1 with the reason when it cannot (a name or value it cannot hold, a scope this
// process may not write). A change that the backend refuses here writes nothing at all.
int env_plat_native_check(env_scope scope, const char *name, const char *value);

// One native change: the name set to the value, or removed when there is none.
struct env_native_change {
  std::string name;
  std::optional<std::string> value;
};

// Puts back what a native write replaced; 0, or -1 with the message recorded.
using env_native_undo = std::function<int()>;

// Writes the changes into the scope's native store and hands back how to undo them. `store`
// is the scope's store as the change leaves it: a backend whose native store mirrors the
// store writes every pair of it too, so that a change interrupted earlier is healed by the
// next one. A name the native store does not hold is removed without complaint. On failure
// nothing the call changed is left changed, as far as the backend can put it back.
int env_plat_native_write(env_scope scope, const std::vector<env_native_change> &changes,
                          const env_kv_list &store, env_native_undo &undo);

// The environment a new login session of the scope gets from the native store: on POSIX
// systems what systemd's environment.d generator makes of every directory it reads (for the
// user scope the user's and the system's, for the system scope the system's), on Windows the
// machine's variables and then the user's.
struct env_session_var {
  std::string name;
  std::string value; // references expanded, as the session gets it
  std::string file;  // the file (or registry key) that set it last
};
// One PATH entry of the session's PATH with the file that added it ("" when the session
// inherits it) and whether it is one of the scope's own entries, which the PATH editors edit.
struct env_session_entry {
  std::string text;
  std::string file;
  bool own = false;
};
// A value the session's start cannot read as UTF-8: the file and the line its assignment
// starts on (1 for the first).
struct env_session_fault {
  std::string file;
  std::size_t line = 0;
  std::string name;
};
struct env_session {
  std::vector<env_session_var> vars; // in the order the session assigns them
  std::vector<env_session_entry> path;
  std::size_t own_at = 0; // where the scope's own entries stand (or would) in `path`
  std::string own_file;   // the file (or key) the scope's own entries are written to
  // Values that are not UTF-8, in the order they were met. systemd's generator stops reading
  // a file at one, and the generator of systemd 252 then aborts: the session gets nothing
  // from environment.d at all.
  std::vector<env_session_fault> not_utf8;
};
// The scope's native store as env_plat_native_vars reads it, with each value as a new
// session has it right after its assignment where the backend expands values as the
// session's start does (systemd's generator); nullopt where the core expands the value
// instead: every value on Windows, and PATH, of which the scope holds only its own entries.
struct env_native_view {
  int rc = 0; // what env_plat_native_vars returned, its message recorded
  env_kv_list vars;
  std::vector<std::optional<std::string>> expanded; // by position in `vars`; may be shorter
};
// Always succeeds: what cannot be read adds nothing, as a new session skips it. With
// `native`, the native store is read in the same pass.
int env_plat_session(env_scope scope, env_session &out, env_native_view *native = nullptr);

// True when removing a protected name from the native store would take it from every
// program (the registry holds the whole PATH); false when the native store holds only the
// library's own additions to it.
bool env_plat_native_owns_protected();

// Tells running programs the environment changed; the outcome is never read.
void env_plat_broadcast();

// Reports about the user's shell start-up files; both always succeed.
int env_plat_rc_path_extras(std::vector<env_rc_extra> &out);
int env_plat_rc_meta(std::vector<env_rc_file> &out);

// An advisory lock on a file, held for as long as the handle lives, so that two processes
// never interleave their read-modify-write cycles. Waits for the lock; the file and its
// directory are created when missing. -1 with the file and the reason when it cannot be
// taken.
struct env_plat_lock;
struct env_plat_lock_release {
  void operator()(env_plat_lock *lock) const;
};
using env_plat_lock_handle = std::unique_ptr<env_plat_lock, env_plat_lock_release>;
int env_plat_lock_file(const std::string &path, env_plat_lock_handle &out);

// Whether a process of that number is running (one this process may not signal counts).
bool env_plat_process_alive(long long pid);

// Each backend also defines env_file_ops_default (core/file_ops.h), the system calls behind
// the whole-file helpers, and the UTC conversion of a clock reading.
bool env_plat_gmtime(long long seconds, std::tm &out);

// What a path names, a final symbolic link not followed.
enum class env_file_kind { missing, regular, directory, link, other };
// The kind of `path`. For a link, `target` (when given) receives the path the link finally
// leads to, each link's relative text taken against its own directory; "" when the chain
// of links does not end. The target itself may be missing.
env_file_kind env_plat_file_kind(const std::string &path, std::string *target = nullptr);
// Hands every entry of the folder to `take`: its name, its serial number (0 where the
// platform has none) and whether it may be a file (false for what the folder's listing
// already tells is something else: a FIFO, a folder). -1 (errno set, no message) when the
// folder cannot be read.
int env_plat_list_dir(
    const std::string &dir,
    const std::function<void(const char *name, unsigned long long serial, bool maybe_file)> &take);
// True when others than the directory's owner may create files in it (any local user
// could plant files there); its permission bits are left in `mode`. False where the
// platform has no such bits.
bool env_plat_dir_open_to_others(const std::string &dir, unsigned &mode);

// The native store's own files, as the change pipeline and the listing meet them:
// whether a change may write them, asked before it takes the scope's lock (-1 with the
// reason when one is not a regular file, is a link the scope does not follow, or is one
// this process may not replace), the removal of the temporary files a killed change left
// beside them (under the scope's lock), and the directories they live in.
int env_plat_native_ready(env_scope scope);
void env_plat_native_tidy(env_scope scope);
void env_plat_native_dirs(env_scope scope, std::vector<std::string> &out);
// Where the native store's own file assigns the name: its path and the line the assignment
// starts on (1 for the first). False when it does not, or where the native store has no
// lines (the registry).
bool env_plat_native_line(env_scope scope, const std::string &name, std::string &file, std::size_t &line);

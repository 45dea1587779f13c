/*
 * kestrune-envvar-editor: view and edit persistent environment variables.
 *
 * Two scopes: "user" (the current user's variables) and "system" (the machine's), accepted
 * in any ASCII letter case. Every string crossing this interface is a NUL-terminated byte
 * string; the library converts no character set. A NULL may be passed for any string: the
 * call fails with a message and never reads through it.
 *
 * Ownership:
 *  - Input strings are only read during the call; the library never keeps or frees them.
 *  - The texts returned by env_list and env_backups belong to the caller, who releases them
 *    with env_free_string (and with nothing else).
 *  - env_last_error returns a pointer into the library's own buffer: never NULL, never to be
 *    freed or written through. Its text changes with the next call of any other export.
 *
 * Results: the changing functions return 1 on success and 0 on failure; the listing
 * functions return a new JSON text or NULL. After a failure, env_last_error says why. A call
 * that succeeds may leave a message of a problem it tolerated, so read the message only
 * after a failure. The message buffer is shared by all threads: a caller with several
 * threads reads the message of its own failed call before another of its threads calls in.
 *
 * Every call except env_last_error and env_free_string runs under one process-wide lock and,
 * for changes, under an advisory lock on the data directory, so calls never interleave.
 *
 * Changes are whole or not at all. The six changing calls check everything before they
 * write anything, and when a later step fails they put back what they wrote, so that after
 * a failure the store, the native store and the export file are as they were (the backup
 * a change took stays). Besides the messages of each step they may fail with:
 *  - "store <file> cannot be used (<reason>): nothing was changed; ..." (all but env_restore,
 *    which keeps such a store as "<file>.unreadable-<UTC time>" and replaces it);
 *  - "cannot lock <file> (<reason>)";
 *  - "<message>; putting it back failed too: <message>";
 *  - "refused: <file> is not a regular file" (a FIFO or the like in place of one of the
 *    library's files), "refused: <file> is a symbolic link, which the system scope never
 *    follows", "refused: <file> is a symbolic link that leads nowhere".
 * env_path_add also refuses "refused: PATH entry '<entry>' holds the separator '<c>'".
 * env_restore refuses "cannot read backup: <path> (not a regular file)".
 * env_restore may succeed leaving "restored; left in the registry (protected): ..." on
 * Windows, where it never removes a protected name the backup lacks.
 */
#ifndef KESTRUNE_ENV_H
#define KESTRUNE_ENV_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(KENV_BUILDING)
#define KENV_API __declspec(dllexport)
#else
#define KENV_API __declspec(dllimport)
#endif
#else
#define KENV_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The listing of one scope as a compact JSON object: variables with raw and expanded
 * values and their source, PATH entries with existence and duplicate flags, warnings, the
 * export file, the protected names and the shell start-up files read. NULL on failure.
 *
 * Members, in this order: "scope", "platform", "path_sep", "write_policy", "rc_write",
 * "export_file", "vars", "path", "warnings", "protected_delete", "rc_sources", "session",
 * "store_order", "records".
 * Each object of "path" holds "entry", "exists", "dup", "source", "expanded" (the entry as a
 * new session gets it), "origin" (the file, registry key or shell start-up file that adds
 * it) and "editable" (1 for the scope's own entries, which the PATH calls edit; 0 for those
 * that other files add, listed where the session has them). On Linux a scope's PATH is the
 * library's own entries only: PATH lines of other environment.d files are never copied.
 * "session" is the environment a new login session gets (what systemd's environment.d
 * generator makes of all its directories on Linux; the machine's and then the user's
 * registry variables on Windows), in the order it is assigned: objects with "name", "value"
 * (references expanded), "file" (the file or key that set it last), "shell" (what a login
 * shell that starts from the inherited environment and sources the export files gets, or
 * null when it gets nothing) and "differs" (1 when "shell" is not "value"). "store_order" is
 * the names of the store's variables in the store's own order ("vars" lists the native
 * variables first). "records" is the front ends' text that the store keeps beside its
 * variables (see env_restore), or null. */
KENV_API char *env_list(const char *scope);

/* Creates or replaces one variable. An empty value is allowed; NULL is not. */
KENV_API int env_set(const char *scope, const char *name, const char *value);

/* Deletes one variable that the library's store holds. PATH, SystemRoot, WINDIR, TEMP and
 * TMP are refused. */
KENV_API int env_del(const char *scope, const char *name);

/* Inserts a PATH entry at index (0-based; out of range appends). Duplicates are refused. */
KENV_API int env_path_add(const char *scope, const char *entry, int32_t index);

/* Removes every PATH entry equal to entry. */
KENV_API int env_path_del(const char *scope, const char *entry);

/* Moves the first PATH entry equal to entry to new_index (past the end: last). */
KENV_API int env_path_move(const char *scope, const char *entry, int32_t new_index);

/* The backups on disk as a compact JSON array, newest first. NULL on failure. What it shows
 * of each backup comes from an index beside the backups folder that it keeps up to date, so
 * it reads only backups the index does not know. */
KENV_API char *env_backups(void);

/* Makes a backup file's variables the scope's variables again, after taking a fresh backup
 * of the current state: the system scope when the document's "scope" says system (with the
 * rights every system change needs), else the user scope. A document may carry "based_on",
 * the store's variables as its author read them before composing "vars": when the store
 * holds anything else by the time the change takes the scope's lock, the restore fails with
 * "the <scope> scope changed while applying; nothing was changed; run it again".
 *
 * A document may also carry "records", a text that the store keeps beside the variables for
 * the front ends (the profiles they switched on, the PATH entries they switched off). The
 * library never reads it; it changes in the same write as the variables, a backup keeps it,
 * and restoring a backup brings it back (a backup without one leaves the store none). Every
 * other change keeps the store's records as they are. With "based_on", "based_on_records" is
 * the records as read then, compared as "based_on" is.
 *
 * A front end that writes such a document into the scope's folder names it
 * "restore.json.tmp-<pid>-<n>": the next change of the scope removes what a killed front end
 * left there, never the file of a process that is still running. */
KENV_API int env_restore(const char *backup_path);

/* The words of the last failure, or "". Never NULL. */
KENV_API const char *env_last_error(void);

/* Releases a text returned by env_list or env_backups. NULL is accepted. */
KENV_API void env_free_string(char *p);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUNE_ENV_H */

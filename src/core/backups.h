// Backups on disk: the names make_backup gives them, and the index beside them that keeps
// what the listing shows of each, so that neither the listing nor a change has to read
// every backup again.
//
// Each scope has a backups folder of its own. Its index is ".backup-index" beside the
// folder (so that the folder holds nothing but backups), a text file derived from the
// backups and never the only copy of anything:
//
//   pellomar backup index 1
//   <file name> TAB <serial> TAB <vars> TAB <ts> TAB <scope> LF      (one line per backup)
//
// <serial> is the file's serial (inode) number, so that a file replaced under the same name
// is told apart; <vars> the number of elements of its "vars" array (0 when there is none);
// <ts> and <scope> are "-" when the backup has no such text member, else "=" and the text
// with '\' and control bytes written as \xHH. Lines are in name order. A change appends the
// line of the backup it takes, under the data lock; the listing rewrites the whole file
// whenever it finds it missing, damaged or stale (a backup it does not know, one that is
// gone, a serial that changed), reading only the backups it did not know.
#pragma once

#include "core/files.h"

#include <cstdint>
#include <string>
#include <string_view>

// A backup's name, "%Y%m%d-%H%M%S-%08u.json" (the counter may be longer), as its time
// stamp read as one number (yyyymmddhhmmss) and its counter; false for any other name.
// Name order is time order: (stamp, counter) ascending.
bool backup_name_parse(std::string_view name, std::uint64_t &stamp, std::uint64_t &counter);

std::string backup_index_path(const std::string &backups_dir);

// Appends the field "-" (no text) or "=" and the escaped text.
void backup_index_field(std::string &out, const char *text, std::size_t len);
// The text of a field, or false for "-" (and for a field that is not well formed).
bool backup_index_text(std::string_view field, std::string &out);

// The line of one backup, with its newline.
std::string backup_index_line(std::string_view file, std::uint64_t serial, std::int64_t vars,
                              std::string_view ts, std::string_view scope);
// Appends the line of a backup just taken, with the index's first line when the file is
// new. Failures are ignored: the listing rebuilds what is missing.
void backup_index_append(const std::string &backups_dir, const std::string &line);
// The file name on the index's last complete line, read from the end of the file only;
// "" when there is none.
std::string backup_index_last(const std::string &backups_dir);

// The listing of env_backups: every backup of the user scope's folder and, where this
// process may read it, of the system scope's, newest first. Never fails for a folder that
// is missing or cannot be read: it then adds nothing.
char *list_backups();

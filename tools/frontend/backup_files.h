// Backups as files, for what the library leaves to its front end: reading one backup (never
// waiting on something that is not a file), finding the newest backup of the user scope
// without the whole listing, and the time a backup's name carries. kenv changes backups
// only by removing files whose paths env_backups listed (`kenv backups prune`).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct BackupFile {
  std::string path;
  std::optional<std::string> ts;
  std::optional<std::string> scope;
  std::vector<std::pair<std::string, std::string>> vars; // elements with a text name and value
};

// The file's bytes. A FIFO or anything else that is not a regular file is refused ("cannot
// read backup: PATH (not a regular file)") without waiting on it; LibraryError otherwise too.
std::string read_backup_text(const std::string &path);
// The backup read and parsed as the library reads it; LibraryError "invalid backup JSON"
// when it is not a JSON object.
BackupFile read_backup_file(const std::string &path);

// True when a backup's "scope" member says system (in any letter case).
bool is_system_scope(const std::optional<std::string> &scope);

// The path of the newest backup of the user scope, read from the backups folder itself: the
// listing of tens of thousands of backups would cost far more time and memory than the
// folder's names and the few newest files. nullopt when there is none.
std::optional<std::string> newest_user_backup();
// The same in a given backups folder, of the system scope or of the user scope.
std::optional<std::string> newest_backup_in(const std::string &dir, bool system);

// The UTC time in a backup's name ("20250102-100000-00000001.json"), or nullopt.
std::optional<std::time_t> backup_name_time(const std::string &file);

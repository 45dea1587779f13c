// Stale temporary files and folders open to others.
#include "core/own_files.h"

#include "core/backups.h"
#include "core/journal.h"
#include "core/state.h"
#include "core/views.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cstdio>

// Each folder is read once, for all the files of the scope that live in it.
void tidy_scope(const env_layout &files, env_scope scope) {
  // A listing rewrites the backup index without the lock; removing its temporary file
  // while it writes only makes that rewrite fail, which costs it nothing.
  const std::string files_with_temps[] = {files.store, backup_temp_base(files, scope),
                                          backup_index_path(files.backups), files.export_file,
                                          journal_path(files)};
  std::vector<std::pair<std::string, std::vector<std::string>>> dirs;
  for (const std::string &file : files_with_temps) {
    std::string dir = env_dir_of(file);
    auto at = std::find_if(dirs.begin(), dirs.end(), [&](const auto &d) { return d.first == dir; });
    if (at == dirs.end())
      at = dirs.insert(dirs.end(), {dir, {}});
    at->second.push_back(env_base_of(file));
  }
  for (const auto &[dir, owns] : dirs)
    env_remove_stale_temps(dir, owns);
  env_plat_native_tidy(scope);
  // Front ends write these without the lock, so a running one may still be writing.
  env_remove_dead_temps(files.data_dir, "restore.json");
  env_remove_dead_temps(files.data_dir + "/profiles", "");
}

void writable_dir_warnings(const env_layout &files, env_scope scope, std::vector<env_warning> &out) {
  std::vector<std::string> dirs;
  if (!files.data_dir.empty())
    dirs = {files.data_dir, files.backups, files.exports};
  env_plat_native_dirs(scope, dirs);
  for (const std::string &dir : dirs) {
    unsigned mode = 0;
    if (!env_plat_dir_open_to_others(dir, mode))
      continue;
    char message[160];
    std::snprintf(message, sizeof message,
                  "directory is writable by other users than its owner (mode %04o): any of them could "
                  "plant files there",
                  mode);
    out.push_back({"writable", dir, message});
  }
}

void interrupted_warnings(const env_layout &files, env_scope scope, const env_kv_list &stored,
                          std::vector<env_warning> &out) {
  change_journal j;
  bool readable = false;
  if (files.data_dir.empty() || !journal_read(files, j, readable) || !readable)
    return;
  env_kv_index in_store(stored);
  for (const std::string &name : j.removed) {
    std::string file;
    std::size_t line = 0;
    if (in_store.find(name) >= 0 || !env_plat_native_line(scope, name, file, line))
      continue;
    out.push_back({"interrupted", file,
                   "line " + std::to_string(line) + ": '" + name +
                       "' was left by a change that was killed part-way; the next change of the " +
                       env_scope_name(scope) + " scope removes it"});
  }
}

// Stale temporary files and folders open to others.
#include "core/own_files.h"

#include "core/backups.h"
#include "core/state.h"
#include "platform/env_plat.h"

#include <cstdio>

void tidy_scope(const env_layout &files, env_scope scope) {
  env_remove_stale_temps(env_dir_of(files.store), env_base_of(files.store));
  std::string backup_temp = backup_temp_base(files, scope);
  env_remove_stale_temps(env_dir_of(backup_temp), env_base_of(backup_temp));
  env_remove_stale_temps(env_dir_of(files.export_file), env_base_of(files.export_file));
  // A listing rewrites the backup index without the lock; removing its temporary file
  // while it writes only makes that rewrite fail, which costs it nothing.
  std::string index = backup_index_path(files.backups);
  env_remove_stale_temps(env_dir_of(index), env_base_of(index));
  env_plat_native_tidy(scope);
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

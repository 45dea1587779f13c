// Backups: a new, timestamped JSON file of a scope's store before every change.
#include "core/state.h"

#include "core/backups.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

// The counter of the last backup this process took; never read back from the files.
std::uint32_t g_backup_seq = 0;

namespace {

std::string backup_text(env_scope scope, const store_file &store, const std::string &ts) {
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(d));
  yy_must(yyjson_mut_obj_add_strcpy(d, root, "ts", ts.c_str()));
  yy_must(yyjson_mut_obj_add_str(d, root, "scope", env_scope_name(scope)));
  yy_must(yyjson_mut_obj_add_str(d, root, "platform", env_plat_name()));
  yy_must(yyjson_mut_obj_add_val(d, root, "vars", env_json_vars_array(d, store.vars)));
  if (store.records)
    yy_must(yyjson_mut_obj_add_strncpy(d, root, "records", store.records->data(), store.records->size()));
  yyjson_mut_doc_set_root(d, root);
  std::size_t len = 0;
  yy_text text = env_json_write(d, env_json_file_flags, &len);
  return text ? std::string(text.get(), len) : std::string();
}

std::string backup_name(const std::string &stamp, std::uint64_t counter) {
  char name[80];
  std::snprintf(name, sizeof name, "%s-%08llu.json", stamp.c_str(), static_cast<unsigned long long>(counter));
  return name;
}

// The counter of `name` when it is a backup of the second `stamp`, else 0.
std::uint64_t counter_in_second(std::string_view name, const std::string &stamp) {
  std::uint64_t s = 0, counter = 0;
  if (name.substr(0, stamp.size()) != stamp || !backup_name_parse(name, s, counter))
    return 0;
  return counter;
}

// The highest counter taken in the second, as the folder itself says: read only when the
// index's last line proved out of date.
std::uint64_t highest_counter(const std::string &dir, const std::string &stamp) {
  std::uint64_t highest = 0;
  (void)env_plat_list_dir(dir, [&](const char *name, unsigned long long, bool) {
    highest = std::max(highest, counter_in_second(name, stamp));
  });
  return highest;
}

int write_failed(const std::string &path) {
  env_set_error("failed to write backup %s", path.c_str());
  return -1;
}

int backup_path(std::string &path, const std::string &dir, const std::string &stamp, std::uint64_t counter) {
  if (env_join_path(path, dir, backup_name(stamp, counter), 4096) == 0)
    return 0;
  env_set_error("path too long");
  return -1;
}

// Gives the written backup the name of the second `stamp` with the next free counter,
// starting from `counter`. The index's last line names the newest backup, so its counter
// plus one is nearly always free; a name found taken (the index is out of date) sends the
// search to the folder once. A taken name costs a link, never a new write.
int link_backup(env_temp_file &tmp, const std::string &text, const std::string &dir, const std::string &stamp,
                std::uint64_t &counter) {
  bool searched = false, moved = false;
  std::string path;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (backup_path(path, dir, stamp, counter) != 0)
      return -1;
    int rc = tmp.link_as(path);
    if (rc == 0)
      return 0;
    // The backups folder may lie on another file system (a link): write beside it instead.
    if (rc < 0 && errno == EXDEV && !moved) {
      moved = true;
      if (tmp.write(path, text, 0600) != 0)
        return write_failed(path);
      continue;
    }
    if (rc < 0)
      return write_failed(path);
    counter = searched ? counter + 1 : highest_counter(dir, stamp) + 1;
    searched = true;
  }
  env_set_error("failed to write backup %s/%s-*", dir.c_str(), stamp.c_str());
  return -1;
}

} // namespace

std::string backup_temp_base(const env_layout &files, env_scope scope) {
  return files.data_dir + "/" + env_scope_name(scope) + "-backup";
}

int backup_prepare(const env_layout &files, env_scope scope, const store_file &store, pending_backup &out) {
  const std::string &dir = files.backups;
  if (env_mkdir_p(files.data_dir.c_str(), files.dir_mode) != 0 || env_mkdir_p(dir.c_str(), 0700) != 0) {
    env_set_error("cannot create backup directory");
    return -1;
  }
  long long now = env_now();
  out.ts = env_format_utc(now, "%Y-%m-%dT%H:%M:%SZ");
  out.stamp = env_format_utc(now, "%Y%m%d-%H%M%S");
  out.text = backup_text(scope, store, out.ts);
  out.vars = static_cast<std::int64_t>(store.vars.size());
  if (out.text.empty()) {
    env_set_error("failed to serialize backup");
    return -1;
  }
  out.counter = counter_in_second(backup_index_last(dir), out.stamp) + 1;
  std::string first;
  if (backup_path(first, dir, out.stamp, out.counter) != 0)
    return -1;
  if (out.tmp.write(backup_temp_base(files, scope), out.text, 0600) != 0)
    return write_failed(first);
  return 0;
}

int backup_commit(const env_layout &files, env_scope scope, pending_backup &b) {
  const std::string &dir = files.backups;
  if (link_backup(b.tmp, b.text, dir, b.stamp, b.counter) != 0)
    return -1;
  g_backup_seq = static_cast<std::uint32_t>(b.counter);
  backup_index_append(dir, backup_index_line(backup_name(b.stamp, b.counter), b.tmp.serial(), b.vars, b.ts,
                                             env_scope_name(scope)));
  return 0;
}

int make_backup(const env_layout &files, env_scope scope, const store_file &store) {
  pending_backup b;
  return backup_prepare(files, scope, store, b) == 0 ? backup_commit(files, scope, b) : -1;
}

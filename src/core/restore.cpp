// Backups on disk: env_backups lists them, env_restore brings one back into the user scope.
#include "kestrune_env.h"

#include "core/change.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/json.h"
#include "core/json_out.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <memory>

namespace {

bool all_digits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// "%Y%m%d-%H%M%S-%08u.json": the names make_backup gives.
bool is_backup_name(std::string_view name) {
  if (name.size() < 29 || name.substr(name.size() - 5) != ".json")
    return false;
  return all_digits(name.substr(0, 8)) && name[8] == '-' && all_digits(name.substr(9, 6)) &&
         name[15] == '-' && all_digits(name.substr(16, name.size() - 21));
}

struct dir_closer {
  void operator()(DIR *d) const { closedir(d); }
};

// Read with readdir rather than std::filesystem: libstdc++'s directory iterator allocates
// inside a noexcept function, so running out of memory there ends the process, and with an
// error_code it reports a directory it had no memory to open as an empty one.
std::vector<std::string> backup_names(const std::string &dir) {
  std::vector<std::string> names;
  errno = 0;
  std::unique_ptr<DIR, dir_closer> d(opendir(dir.c_str()));
  if (!d && errno == ENOMEM)
    throw std::bad_alloc();
  if (!d)
    return names;
  while (const dirent *e = readdir(d.get()))
    if (is_backup_name(e->d_name))
      names.emplace_back(e->d_name);
  std::sort(names.begin(), names.end(), std::greater<>());
  return names;
}

void write_member_or_null(env_json_out &out, const char *key, yyjson_val *v) {
  out.key(key);
  if (yyjson_is_str(v))
    out.string(std::string_view(yyjson_get_str(v), yyjson_get_len(v)));
  else
    out.null();
}

// One object of the listing. `text` and `reader` carry their memory from file to file.
void describe_backup(env_json_out &out, const std::string &dir, const std::string &name, std::string &text,
                     env_json_reader &reader) {
  std::string path = dir + "/" + name;
  yy_doc backup;
  if (env_read_file(path.c_str(), text) == 0)
    backup = reader.read(text);
  yyjson_val *root = backup ? yyjson_doc_get_root(backup.get()) : nullptr;
  out.begin_object();
  out.key("file");
  out.string(name);
  out.key("path");
  out.string(path);
  write_member_or_null(out, "ts", env_json_member(root, "ts"));
  write_member_or_null(out, "scope", env_json_member(root, "scope"));
  out.key("vars");
  out.integer(static_cast<int64_t>(yyjson_arr_size(env_json_member(root, "vars"))));
  out.end_object();
}

char *list_backups() {
  env_layout files;
  if (env_layout_of(env_scope::user, files) != 0) {
    env_set_error("cannot resolve backup directory");
    return nullptr;
  }
  const std::string &dir = files.backups;
  std::vector<std::string> names = backup_names(dir);
  env_json_out out(names.size() * (dir.size() + 2 * 29 + 80) + 2);
  std::string text;
  env_json_reader reader;
  out.begin_array();
  for (const std::string &name : names)
    describe_backup(out, dir, name, text, reader);
  out.end_array();
  return out.release();
}

// Reads and checks the backup file; the restore list holds its variables in order.
int read_backup(const char *backup_path, env_kv_list &vars) {
  std::string text;
  if (env_read_file(backup_path, text) != 0) {
    env_set_error("cannot read backup: %s", backup_path);
    return -1;
  }
  yy_doc doc = env_json_read(text);
  if (!doc) {
    env_set_error("invalid backup JSON");
    return -1;
  }
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root) || yyjson_obj_size(root) == 0) {
    env_set_error("backup missing vars array");
    return -1;
  }
  yyjson_val *scope = env_json_member(root, "scope");
  if (yyjson_is_str(scope) && env_name_casecmp(yyjson_get_str(scope), "system") == 0) {
    env_set_error("restore is user-scope only");
    return -1;
  }
  yyjson_val *list = env_json_member(root, "vars");
  if (!yyjson_is_arr(list)) {
    env_set_error("backup missing vars array");
    return -1;
  }
  env_json_take_vars(list, "overlay", vars);
  return 0;
}

// Makes the user scope equal to the backup: its pairs are set, and every name the store
// held that the backup lacks is removed from the native store too, except a protected name
// where the native store holds the whole of it (the registry's PATH, which installers
// write): that one is left, and the note says so.
plan_verdict plan_restore(const env_kv_list &backup, const scope_state &st, change_plan &plan) {
  plan.store = backup;
  for (const env_kv &kv : backup)
    plan.native.push_back({kv.name, kv.value});
  std::string kept;
  for (const env_kv &kv : st.store.vars) {
    if (env_kv_find(backup, kv.name.c_str()))
      continue;
    if (env_name_is_protected(kv.name.c_str()) && env_plat_native_owns_protected()) {
      kept += (kept.empty() ? "'" : ", '") + kv.name + "'";
      continue;
    }
    plan.native.push_back({kv.name, std::nullopt});
  }
  if (!kept.empty())
    plan.note = "restored; left in the " + std::string(env_plat_write_policy()) + " (protected): " + kept;
  return plan_verdict::go;
}

int restore(const char *backup_path) {
  if (!backup_path || !*backup_path) {
    env_set_error("NULL or empty backup_path");
    return 0;
  }
  env_kv_list backup;
  if (read_backup(backup_path, backup) != 0)
    return 0;
  // Every pair is checked before anything is read or written: the first one refused
  // refuses the whole file.
  for (const env_kv &kv : backup)
    if (env_plat_native_check(env_scope::user, kv.name.c_str(), kv.value.c_str()) != 0)
      return 0;
  return run_change(env_scope::user, store_policy::may_be_replaced,
                    [&](const scope_state &st, change_plan &plan) { return plan_restore(backup, st, plan); });
}

} // namespace

extern "C" KENV_API char *env_backups(void) {
  return env_run_framed<char *>(nullptr, [] { return list_backups(); });
}

extern "C" KENV_API int env_restore(const char *backup_path) {
  return env_run_framed(0, [&] { return restore(backup_path); });
}

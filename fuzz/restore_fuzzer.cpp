// A backup file's bytes through env_restore. A restore that succeeds leaves the store
// holding exactly the backup's variables, and the environment.d file giving each of them its
// value as systemd's parser reads it back; a backup holding a pair environment.d cannot hold
// is refused whole and changes nothing; a restore that fails says why.
#include "fuzz_home.h"

#include "core/json.h"
#include "core/state.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"
#include "posix/posix.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

namespace {

void check(bool ok, const char *what) {
  if (!ok)
    fuzz_home::fail("restore_fuzzer", std::string(what) + " (last error: " + env_last_error() + ")");
}

// What a file is to a restore, read independently of it: no backup at all, a backup of the
// user scope (its variables in `out`), or one this target does not model: a system-scope
// document, which restores the system scope, or one carrying "based_on", which a restore
// takes only while the store still holds that state.
enum class backup_kind { none, user, unmodelled };

backup_kind backup_vars(const std::string &bytes, env_kv_list &out) {
  yy_doc doc = env_json_read(bytes);
  yyjson_val *root = doc ? yyjson_doc_get_root(doc.get()) : nullptr;
  if (!yyjson_is_obj(root) || yyjson_obj_size(root) == 0)
    return backup_kind::none;
  yyjson_val *vars = env_json_member(root, "vars");
  if (!yyjson_is_arr(vars))
    return backup_kind::none;
  yyjson_val *scope = env_json_member(root, "scope");
  if ((yyjson_is_str(scope) && env_name_casecmp(yyjson_get_str(scope), "system") == 0) ||
      env_json_member(root, "based_on"))
    return backup_kind::unmodelled;
  env_json_take_vars(vars, "overlay", out);
  return backup_kind::user;
}

bool writable(const env_kv &kv) {
  return envd_name_valid(kv.name) && envd_utf8_valid(kv.value) &&
         (kv.value.empty() || envd_unpassable_byte(kv.value) < 0);
}

// What the library's environment.d file holds after the variables were written in order: a
// later name replaces an earlier one of any letter case in its place, an empty value removes
// it, and PATH is always spelt so. One pair environment.d cannot hold refuses them all.
env_kv_list envd_model(const env_kv_list &vars, bool &refused) {
  env_kv_list out;
  refused = std::any_of(vars.begin(), vars.end(), [](const env_kv &kv) { return !writable(kv); });
  if (refused)
    return out;
  for (const env_kv &kv : vars) {
    env_kv *old = env_kv_find(out, kv.name.c_str());
    if (kv.value.empty() && old)
      out.erase(out.begin() + (old - out.data()));
    else if (old)
      old->value = kv.value;
    else if (!kv.value.empty())
      env_kv_push(out, kv.name.c_str(), kv.value.c_str(), "");
    if (!kv.value.empty() && env_name_is_path(kv.name.c_str()))
      env_kv_find(out, "PATH")->name = "PATH";
  }
  return out;
}

void check_store(const env_kv_list &vars) {
  env_layout files;
  store_file store;
  if (env_layout_of(env_scope::user, files) == 0)
    store_read(files.store, store);
  const env_kv_list &stored = store.vars;
  check(stored.size() == vars.size(), "the store does not hold the backup's variables");
  for (std::size_t i = 0; i < vars.size(); ++i)
    check(stored[i].name == vars[i].name && stored[i].value == vars[i].value, "a restored variable changed");
}

void check_envd(const env_kv_list &expected) {
  env_kv_list native;
  check(env_plat_native_vars(env_scope::user, native) == 0, "environment.d cannot be read back");
  check(native.size() == expected.size(), "environment.d holds other variables than were restored");
  for (const env_kv &kv : expected) {
    const env_kv *got = env_kv_find(native, kv.name.c_str());
    check(got && got->name == kv.name && got->value == kv.value, "environment.d reads back another value");
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_home::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz_home::reset();
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  const std::string path = fuzz_home::home() + "/backup.json";
  fuzz_home::write(path, bytes);
  env_kv_list vars;
  const backup_kind kind = backup_vars(bytes, vars);
  bool refused = false;
  env_kv_list envd = envd_model(vars, refused);
  // A name given twice, or a NUL the reader cannot see in a C string, refuses the whole file.
  std::set<std::string> names;
  for (const env_kv &kv : vars)
    refused = !names.insert(kv.name).second || refused;
  if (bytes.find("\\u0000") != std::string::npos)
    return 0;
  if (refused)
    envd.clear();

  int rc = env_restore(path.c_str());
  check(rc == 1 || *env_last_error() != '\0', "a failed restore gave no reason");
  check(kind != backup_kind::none || rc == 0, "a restore took a file that is no backup");
  if (kind != backup_kind::user)
    return 0;
  check(refused ? rc == 0 : rc == 1,
        refused ? "a restore wrote what environment.d cannot hold" : "a restore of a valid backup failed");
  check_store(refused ? env_kv_list{} : vars);
  check_envd(envd);
  return 0;
}

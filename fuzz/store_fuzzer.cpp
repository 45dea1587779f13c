// The store file's bytes through a listing and a set. Whatever the file holds, the listing
// is a JSON document, and the set keeps every record a readable store had (replacing the
// first of the name, or appending it) or, for an unreadable one, keeps the bytes beside it.
#include "fuzz_home.h"

#include "core/names.h"
#include "core/state.h"
#include "kestrune_env.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <yyjson.h>

namespace {

void check(bool ok, const char *what) {
  if (!ok)
    fuzz_home::fail("store_fuzzer", std::string(what) + " (last error: " + env_last_error() + ")");
}

bool same(const env_kv_list &a, const env_kv_list &b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || a[i].value != b[i].value)
      return false;
  return true;
}

void check_listing() {
  char *text = env_list("user");
  check(text != nullptr, "the listing failed");
  yyjson_doc *doc = yyjson_read(text, std::strlen(text), YYJSON_READ_ALLOW_INVALID_UNICODE);
  check(doc && yyjson_is_arr(yyjson_obj_get(yyjson_doc_get_root(doc), "vars")), "the listing is no document");
  yyjson_doc_free(doc);
  env_free_string(text);
}

bool unreadable_copy_holds(const std::string &bytes) {
  for (auto &e : std::filesystem::directory_iterator(fuzz_home::data_dir()))
    if (e.path().filename().string().rfind("user-env.json.unreadable-", 0) == 0)
      return fuzz_home::read(e.path().string()) == bytes;
  return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_home::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz_home::reset();
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  const std::string store = fuzz_home::data_dir() + "/user-env.json";
  fuzz_home::write(store, bytes);
  env_kv_list before;
  const bool readable = store_parse(bytes, before);

  check_listing();
  int rc = env_set("user", "FUZZ_SET", "x");
  // The export file cannot quote a value of more than 8188 bytes; nothing else may fail.
  check(rc == 1 || std::strcmp(env_last_error(), "value too long to quote for export") == 0,
        "the set failed");

  env_kv_list expected = readable ? before : env_kv_list{};
  if (env_kv *kv = env_kv_find(expected, "FUZZ_SET"))
    kv->value = "x";
  else
    env_kv_push(expected, "FUZZ_SET", "x", "overlay");
  env_kv_list after;
  store_load("user", after);
  check(same(after, expected), "the store lost or changed a record");
  if (!readable && !bytes.empty())
    check(unreadable_copy_holds(bytes), "the unreadable store was not kept");
  check_listing();
  return 0;
}

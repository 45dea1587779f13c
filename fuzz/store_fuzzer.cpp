// The store file's bytes through a listing and a set. Whatever the file holds, the listing
// is a JSON document, and the set keeps every record a readable store had (replacing the
// first of the name, or appending it); a store that is not a store document stops the set,
// which then changes nothing.
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
  const bool usable = readable || bytes.empty();
  check(rc == (usable ? 1 : 0), usable ? "the set failed" : "the set saved over an unusable store");
  if (!usable) {
    check(fuzz_home::read(store) == bytes, "the unusable store changed");
    check_listing();
    return 0;
  }
  env_kv_list expected = before;
  if (env_kv *kv = env_kv_find(expected, "FUZZ_SET"))
    kv->value = "x";
  else
    env_kv_push(expected, "FUZZ_SET", "x", "overlay");
  store_file after;
  store_read(store, after);
  check(same(after.vars, expected), "the store lost or changed a record");
  check_listing();
  return 0;
}

// A random sequence of PATH edits through the exported functions, checked after every step
// against a plain list of entries: add refuses an entry equal to one present and otherwise
// inserts it (an index out of range appends), delete removes every equal entry, move takes
// the first equal one to its new place (past the end: last). Entries are equal when they
// differ only in trailing slashes. Three bytes make one edit: operation, entry, index.
#include "fuzz_home.h"

#include "core/files.h"
#include "core/state.h"
#include "kestrune_env.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Entries that meet the rules' corners: trailing slashes, the root, blanks, quotes, '$',
// backslashes, non-ASCII bytes and the empty entry (refused).
const char *const pool[] = {"/a",   "/a/",    "/a//", "/b",   "/B",    "/",         "//",   "rel",
                            "/c d", "/$HOME", "/x'y", "/q\"", "/u\\v", "/\xC3\xA9", "/%P%", ""};
constexpr std::size_t pool_size = sizeof pool / sizeof pool[0];
constexpr std::size_t max_edits = 12;

std::string_view trimmed(std::string_view s) {
  while (s.size() > 1 && s.back() == '/')
    s.remove_suffix(1);
  return s;
}

bool equal(const std::string &a, const std::string &b) {
  return trimmed(a) == trimmed(b);
}

struct model {
  std::vector<std::string> entries;

  int add(const std::string &e, int index) {
    if (e.empty() || std::any_of(entries.begin(), entries.end(), [&](auto &x) { return equal(x, e); }))
      return 0;
    bool in_range = index >= 0 && static_cast<std::size_t>(index) <= entries.size();
    std::size_t pos = in_range ? static_cast<std::size_t>(index) : entries.size();
    entries.insert(entries.begin() + static_cast<long>(pos), e);
    return 1;
  }
  int del(const std::string &e) {
    std::size_t before = entries.size();
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](auto &x) { return equal(x, e); }),
                  entries.end());
    return !e.empty() && entries.size() != before;
  }
  int move(const std::string &e, int index) {
    auto found = std::find_if(entries.begin(), entries.end(), [&](auto &x) { return equal(x, e); });
    if (e.empty() || index < 0 || found == entries.end())
      return 0;
    std::string moved = *found;
    entries.erase(found);
    std::size_t pos = std::min(static_cast<std::size_t>(index), entries.size());
    entries.insert(entries.begin() + static_cast<long>(pos), moved);
    return 1;
  }
  std::string joined() const {
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i)
      out += (i ? ":" : "") + entries[i];
    return out;
  }
};

void check(bool ok, const char *what, const std::string &detail) {
  if (!ok)
    fuzz_home::fail("path_edit_fuzzer",
                    std::string(what) + ": " + detail + " (last error: " + env_last_error() + ")");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_home::set_up();
  return 0;
}

// The PATH the store holds: no environment.d file sets one in the fuzzer's home.
std::string stored_path() {
  env_layout files;
  store_file store;
  if (env_layout_of(env_scope::user, files) == 0)
    store_read(files.store, store);
  const env_kv *path = env_kv_find(store.vars, "PATH");
  return path ? path->value : "";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz_home::reset();
  model m;
  for (std::size_t i = 0; i + 3 <= size && i / 3 < max_edits; i += 3) {
    const std::string entry = pool[data[i + 1] % pool_size];
    const int index = static_cast<std::int8_t>(data[i + 2]);
    int got = 0, want = 0;
    switch (data[i] % 3) {
    case 0:
      got = env_path_add("user", entry.c_str(), index);
      want = m.add(entry, index);
      break;
    case 1:
      got = env_path_del("user", entry.c_str());
      want = m.del(entry);
      break;
    default:
      got = env_path_move("user", entry.c_str(), index);
      want = m.move(entry, index);
      break;
    }
    check(got == want, "the result differs", entry);
    std::string path = stored_path();
    check(path == m.joined(), "PATH differs", path + " instead of " + m.joined());
  }
  return 0;
}

// Where the library's own files live inside the data directory, and the clock that names
// backups.
#include "core/files.h"

#include "core/frame.h"
#include "platform/env_plat.h"

int env_join_path(std::string &out, std::string_view parent, std::string_view child, std::size_t limit) {
  if (parent.size() + 1 + child.size() >= limit)
    return -1;
  out.assign(parent).append("/").append(child);
  return 0;
}

namespace {

int join(std::string &out, std::string_view parent, std::string_view child) {
  if (env_join_path(out, parent, child) == 0)
    return 0;
  env_set_error("path too long");
  return -1;
}

} // namespace

int env_layout_of(env_scope scope, env_layout &out) {
  bool system = scope == env_scope::system;
  if (env_plat_data_dir(out.data_dir) != 0)
    return -1;
  const std::string &dir = out.data_dir;
  if (join(out.store, dir, system ? "system-env.json" : "user-env.json") != 0 ||
      join(out.backups, dir, "backups") != 0 || join(out.exports, dir, "exports") != 0 ||
      join(out.export_file, out.exports, system ? "system-env.sh" : "user-env.sh") != 0 ||
      join(out.lock, dir, ".lock") != 0)
    return -1;
  return 0;
}

long long env_now() {
  return static_cast<long long>(std::time(nullptr));
}

std::string env_format_utc(long long seconds, const char *format) {
  std::tm tm{};
  if (!env_plat_gmtime(seconds, tm))
    return std::string();
  char buf[64];
  std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

// Where the library's own files live inside the data directory.
#include "core/files.h"

#include "core/frame.h"
#include "core/names.h"
#include "platform/env_plat.h"

#include <ctime>

namespace {

const char *scope_file(const char *scope, const char *system_name, const char *user_name) {
  return env_name_casecmp(scope, "system") == 0 ? system_name : user_name;
}

} // namespace

int env_join_path(std::string &out, std::string_view parent, std::string_view child, std::size_t limit) {
  if (parent.size() + 1 + child.size() >= limit)
    return -1;
  out.assign(parent).append("/").append(child);
  return 0;
}

int store_path(const char *scope, std::string &out) {
  std::string dir;
  if (env_plat_data_dir(dir) != 0)
    return -1;
  if (env_join_path(out, dir, scope_file(scope, "system-env.json", "user-env.json")) != 0) {
    env_set_error("path too long");
    return -1;
  }
  return 0;
}

int backup_dir(std::string &out, std::size_t limit) {
  std::string dir;
  if (env_plat_data_dir(dir) != 0)
    return -1;
  if (env_join_path(out, dir, "backups", limit) != 0) {
    env_set_error("path too long");
    return -1;
  }
  return env_mkdir_p(out.c_str()) == 0 ? 0 : -1;
}

int export_path(const char *scope, std::string &out) {
  std::string dir, exports;
  if (env_plat_data_dir(dir) != 0)
    return -1;
  if (env_join_path(exports, dir, "exports") != 0) {
    env_set_error("path too long");
    return -1;
  }
  if (env_mkdir_p(exports.c_str()) != 0)
    return -1;
  if (env_join_path(out, exports, scope_file(scope, "system-env.sh", "user-env.sh")) != 0) {
    env_set_error("path too long");
    return -1;
  }
  return 0;
}

long long env_now() {
  return static_cast<long long>(std::time(nullptr));
}

std::string env_format_utc(long long seconds, const char *format) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#if defined(_WIN32)
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char buf[64];
  std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

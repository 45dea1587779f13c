// Where the library's own files live in each scope's folder, and the clock that names
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
  out.follow_links = !system;
  out.dir_mode = system ? 0755 : 0700;
  out.file_mode = system ? 0644 : 0600;
  if (env_plat_data_dir(scope, out.data_dir) != 0)
    return -1;
  const std::string &dir = out.data_dir;
  if (join(out.store, dir, system ? "system-env.json" : "user-env.json") != 0 ||
      join(out.backups, dir, "backups") != 0 || join(out.lock, dir, ".lock") != 0 ||
      env_plat_export_file(scope, dir, out.export_file) != 0)
    return -1;
  out.exports = env_dir_of(out.export_file);
  return 0;
}

// A directory in place of a file is let through: nothing can block on it, and the write
// that cannot replace it fails with its own message (EISDIR), as a read-only file would.
std::string env_resolve_own_file(std::string &path, bool follow_links) {
  std::string target;
  switch (env_plat_file_kind(path, &target)) {
  case env_file_kind::missing:
  case env_file_kind::regular:
  case env_file_kind::directory:
    return std::string();
  case env_file_kind::other:
    return "not a regular file";
  case env_file_kind::link:
    break;
  }
  if (!follow_links)
    return "a symbolic link, which the system scope never follows";
  if (target.empty())
    return "a symbolic link that leads nowhere";
  if (env_plat_file_kind(target) == env_file_kind::other)
    return "not a regular file";
  path = target;
  return std::string();
}

namespace {

int refuse_file(const std::string &path, const std::string &problem) {
  env_set_error("refused: %s is %s", path.c_str(), problem.c_str());
  return -1;
}

// Resolves one file; `any_kind` lets something else than a regular file through for the
// caller to report in its own words.
int resolve(std::string &path, bool follow_links, bool any_kind) {
  std::string original = path;
  std::string problem = env_resolve_own_file(path, follow_links);
  if (problem.empty() || (any_kind && problem == "not a regular file"))
    return 0;
  return refuse_file(original, problem);
}

} // namespace

int env_resolve_own_files(env_layout &files) {
  bool follow = files.follow_links;
  if (resolve(files.lock, follow, true) != 0 || resolve(files.store, follow, true) != 0 ||
      resolve(files.export_file, follow, false) != 0)
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

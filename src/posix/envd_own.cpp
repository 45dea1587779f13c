// The library's own environment.d file as others may have left it: a link a dotfile manager
// put in its place, something that is not a file at all, or the temporary files of a change
// that was killed while it wrote.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/files.h"
#include "core/frame.h"
#include "platform/env_plat.h"
#include "posix/posix.h"

namespace {

constexpr int system_scope = 2;

int scope_of(env_scope scope) {
  return scope == env_scope::system ? system_scope : 1;
}

} // namespace

int envd_resolve_own(int scope, std::string &dir, std::string &path) {
  std::string original = path;
  std::string problem = env_resolve_own_file(path, scope != system_scope);
  if (!problem.empty()) {
    env_set_error("refused: %s is %s", original.c_str(), problem.c_str());
    return -1;
  }
  if (path != original)
    dir = env_dir_of(path);
  return 0;
}

bool envd_may_read_own(int scope, const std::string &path) {
  return scope != system_scope || env_plat_file_kind(path) != env_file_kind::link;
}

// Only root may write the system scope's file: a change of others is refused before it
// takes the lock, which lies in a folder only root may create.
int env_plat_native_ready(env_scope scope) {
  std::string dir, path;
  int s = scope_of(scope);
  if (envd_own_path(s, dir, path) != 0)
    return -1;
  return s == system_scope ? envd_may_replace_own(s) : 0;
}

void env_plat_native_tidy(env_scope scope) {
  std::string dir, path;
  if (envd_own_path(scope_of(scope), dir, path) == 0)
    env_remove_stale_temps(dir, {env_base_of(path)});
}

namespace {

// The line of the first assignment of one name.
struct line_finder final : envd_sink {
  line_finder(std::string_view text, const std::string &name) : text(text), name(name) {}
  std::string_view text;
  const std::string &name;
  std::size_t line = 0;
  void take(envd_entry &e) override {
    if (line == 0 && e.has_value && e.name == name)
      line = envd_lines(text.substr(0, e.begin));
  }
};

} // namespace

bool env_plat_native_line(env_scope scope, const std::string &name, std::string &file, std::size_t &line) {
  std::string dir, text;
  if (envd_own_path(scope_of(scope), dir, file) != 0 || env_read_file(file.c_str(), text) != 0) {
    env_clear_error();
    return false;
  }
  line_finder finder(text, name);
  envd_parse(text, finder);
  line = finder.line;
  return line != 0;
}

void env_plat_native_dirs(env_scope scope, std::vector<std::string> &out) {
  std::string dir;
  if (envd_dir(scope_of(scope), dir) == 0)
    out.push_back(dir);
}

#endif

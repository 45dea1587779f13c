// The environment a new login session gets, computed as systemd's environment.d generator
// computes it: the *.conf files of all its directories (the user's first, then the
// system's, then those systemd ships) sorted together by file name, a file masking any
// same-named file of a directory after its own, assignments applied in that order, each
// value expanded against what was assigned before it and else the inherited environment.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/files.h"
#include "platform/env_plat.h"
#include "posix/posix.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_map>

namespace {

constexpr int system_scope = 2;

// A file a session reads, with its text.
struct session_file {
  std::string path;
  bool scope_dir = false; // one of the scope's own directory, which its native view holds
  bool own = false;       // the library's own file
  std::string text;
};

// The files a session reads, by name; the first directory holding a name wins. Files that
// cannot be read are left out, as the session skips them.
std::vector<session_file> session_files(int scope, const std::string &scope_dir,
                                        const std::string &own_file) {
  std::vector<std::string> dirs;
  std::string dir;
  if (scope != system_scope && envd_dir(1, dir) == 0)
    dirs.push_back(dir);
  if (envd_dir(system_scope, dir) == 0)
    dirs.push_back(dir);
  for (std::string &vendor : envd_vendor_dirs())
    dirs.push_back(std::move(vendor));
  std::map<std::string, session_file> by_name;
  for (const std::string &d : dirs) {
    std::vector<std::string> names;
    (void)envd_conf_files(d, names);
    for (const std::string &name : names)
      by_name.emplace(name, session_file{d + "/" + name, d == scope_dir, false, {}});
  }
  std::vector<session_file> files;
  for (auto &[name, file] : by_name) {
    file.own = file.path == own_file;
    if (file.own && !envd_may_read_own(scope, file.path))
      continue;
    if (envd_read_conf(file.path, file.text))
      files.push_back(std::move(file));
  }
  return files;
}

std::optional<std::string_view> inherited(std::string_view name) {
  const char *value = std::getenv(std::string(name).c_str());
  return value ? std::optional<std::string_view>(value) : std::nullopt;
}

// The session's variables as they are assigned, and the PATH's entries with their files.
struct session_builder {
  env_session &out;
  std::string own_file;
  bool path_set = false;
  std::unordered_map<std::string, std::size_t> index; // name -> place in out.vars

  env_session_var *find(std::string_view name) {
    auto at = index.find(std::string(name));
    return at == index.end() ? nullptr : &out.vars[at->second];
  }
  std::optional<std::string_view> lookup(std::string_view name) {
    if (const env_session_var *v = find(name))
      return v->value;
    return inherited(name);
  }
  // The entries of a new PATH: where the value refers to the PATH before, that PATH's
  // entries keep their files; every other entry comes from `file`. The value is expanded
  // once more with a marker standing for the PATH before, to tell the two apart.
  void assign_path(std::string_view raw, const std::string &value, const std::string &file) {
    if (!path_set) {
      std::optional<std::string_view> start = inherited("PATH");
      split_path(start ? std::string(*start) : std::string(), "", out.path);
      path_set = true;
    }
    std::optional<std::string_view> before_value = lookup("PATH");
    constexpr std::string_view marker = "\x1E\x1D";
    envd_lookup marked = [&](std::string_view name) {
      return name == "PATH" && before_value && !before_value->empty() ? std::optional(marker) : lookup(name);
    };
    std::string shape = envd_expand(raw, marked);
    std::vector<env_session_entry> before = std::move(out.path), pieces, after;
    split_path(shape, file, pieces);
    bool glued = false; // the PATH before is part of a longer entry ($PATH/x): all is the file's
    for (env_session_entry &piece : pieces) {
      if (piece.text == marker)
        after.insert(after.end(), before.begin(), before.end());
      else if (piece.text.find(marker) != std::string::npos)
        glued = true;
      else
        after.push_back(std::move(piece));
    }
    if (glued) {
      after.clear();
      split_path(value, file, after);
    }
    for (env_session_entry &entry : after)
      entry.own = entry.file == own_file;
    out.path = std::move(after);
  }
  static void split_path(const std::string &value, const std::string &file,
                         std::vector<env_session_entry> &to) {
    for (std::size_t start = 0; !value.empty() && start <= value.size();) {
      std::size_t end = std::min(value.find(':', start), value.size());
      to.push_back({value.substr(start, end - start), file, false});
      start = end + 1;
    }
  }
  // One assignment of a file: the entry as read, and its value expanded.
  void assign(const envd_entry &e, std::string value, const std::string &file) {
    if (e.name == "PATH")
      assign_path(e.value, value, file);
    if (env_session_var *v = find(e.name)) {
      v->value = std::move(value);
      v->file = file;
      return;
    }
    index.emplace(e.name, out.vars.size());
    out.vars.push_back({e.name, std::move(value), file});
  }
};

// Applies one file's assignments, and gathers those of the scope's own directory into its
// native view; a value that is not UTF-8 ends the file there, as it ends systemd's reading
// of it.
struct file_sink final : envd_sink {
  file_sink(session_builder &to, const session_file &read, envd_merger *view)
      : b(to), file(read), native(view) {}
  session_builder &b;
  const session_file &file;
  envd_merger *native;
  bool stopped = false;
  void take(envd_entry &e) override {
    bool read_on = !stopped;
    if (!envd_takes(e, stopped)) {
      if (stopped && read_on)
        b.out.not_utf8.push_back(
            {file.path, envd_lines(std::string_view(file.text).substr(0, e.begin)), e.name});
      return;
    }
    envd_lookup get = [this](std::string_view name) { return b.lookup(name); };
    std::string value = envd_expand(e.value, get);
    std::optional<std::string> expanded = native ? std::optional(value) : std::nullopt;
    b.assign(e, std::move(value), file.path);
    if (native)
      envd_merge(*native, e, file.own, std::move(expanded));
  }
};

// Where the scope's own entries stand in the PATH: where its own file put them, else after
// the entries of every file whose name sorts before the own file's.
std::size_t own_position(const env_session &s, const std::string &own) {
  for (std::size_t i = 0; i < s.path.size(); ++i)
    if (s.path[i].own)
      return i;
  auto base = [](const std::string &p) { return p.substr(p.find_last_of('/') + 1); };
  auto before_own = [&](const std::string &file) { return file.empty() || base(file) < base(own); };
  std::size_t at = 0;
  for (std::size_t i = 0; i < s.path.size(); ++i)
    if (before_own(s.path[i].file))
      at = i + 1;
  return at;
}

} // namespace

int env_plat_session(env_scope scope, env_session &out, env_native_view *native) {
  out = env_session();
  int s = scope == env_scope::system ? system_scope : 1;
  std::string dir;
  session_builder builder{out, {}, false, {}};
  if (envd_dir(s, dir) == 0)
    builder.own_file = dir + "/" + envd_own_name(s);
  std::optional<envd_merger> view;
  if (native) {
    *native = env_native_view();
    std::vector<std::string> names;
    native->rc = envd_native_names(s, dir, names);
    view.emplace(envd_merger{native->vars, envd_native_source(s), &native->expanded});
  }
  std::vector<session_file> files = session_files(s, native && native->rc == 0 ? dir : "", builder.own_file);
  std::size_t native_lines = 0;
  for (const session_file &file : files)
    native_lines += file.scope_dir ? envd_lines(file.text) : 0;
  if (view)
    envd_merge_reserve(*view, native_lines);
  for (const session_file &file : files) {
    file_sink sink(builder, file, file.scope_dir && view ? &*view : nullptr);
    envd_parse(file.text, sink);
  }
  out.own_at = own_position(out, builder.own_file);
  out.own_file = std::move(builder.own_file);
  return 0;
}

#endif

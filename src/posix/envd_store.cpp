// The native store of a POSIX system: the *.conf files of systemd's environment.d, read as
// systemd merges them, and the one file of each scope that the library writes.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "core/files.h"
#include "core/frame.h"
#include "core/kv_table.h"
#include "core/order.h"
#include "platform/env_plat.h"
#include "posix/posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr int system_scope = 2;

// The kernel refuses to start a program whose environment holds a string ("NAME=value"
// with its NUL) longer than this, so one such variable breaks every command of a session.
constexpr std::size_t max_env_string = 128 * 1024;

int scope_of(env_scope scope) {
  return scope == env_scope::system ? system_scope : 1;
}

// Takes the assignments of one file as the parser completes them.
struct merge_sink final : envd_sink {
  merge_sink(envd_merger &to, bool own_file) : m(to), own(own_file) {}
  envd_merger &m;
  bool own;
  bool stopped = false;
  void take(envd_entry &e) override {
    if (envd_takes(e, stopped))
      envd_merge(m, e, own, std::nullopt);
  }
};

// A file of the scope's directory as read: unreadable files are skipped, as systemd skips
// them.
struct conf_text {
  bool own;
  std::string text;
};

// The files one call read, by path: a listing reads the scope's files for its view and again
// for the session's. Whatever the call writes drops them.
struct conf_texts : env_call_memo {
  std::unordered_map<std::string, std::optional<std::string>> texts;
  std::unordered_map<std::string, std::pair<int, std::vector<std::string>>> dirs; // errno, names
};

void forget_conf_texts() {
  if (conf_texts *memo = env_memo<conf_texts>()) {
    memo->texts.clear();
    memo->dirs.clear();
  }
}

} // namespace

bool envd_read_conf(const std::string &path, std::string &text) {
  conf_texts *memo = env_memo<conf_texts>();
  if (memo) {
    auto at = memo->texts.find(path);
    if (at != memo->texts.end() && at->second)
      text = *at->second;
    if (at != memo->texts.end())
      return at->second.has_value();
  }
  bool read = env_read_file(path.c_str(), text) == 0; // what is not a regular file is not read
  if (memo)
    memo->texts.emplace(path, read ? std::optional<std::string>(text) : std::nullopt);
  return read;
}

bool envd_takes(const envd_entry &e, bool &stopped) {
  if (stopped || !e.has_value || !envd_name_valid(e.name))
    return false;
  stopped = !envd_utf8_valid(e.value);
  return !stopped;
}

std::size_t envd_lines(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

void envd_merge_reserve(envd_merger &m, std::size_t lines) {
  m.out.reserve(m.out.size() + lines);
  m.index.reserve(m.out, m.out.size() + lines);
  if (m.expanded)
    m.expanded->reserve(m.out.capacity());
}

// systemd's merge: a later assignment replaces the value but keeps the first position, and
// names match exactly. The PATH lines of other files add to the session's PATH; the scope's
// PATH is the library's own entries, and the listing shows the others apart (see
// env_plat_session).
void envd_merge(envd_merger &m, envd_entry &e, bool own, std::optional<std::string> expanded) {
  bool is_path = e.name == "PATH";
  if (!own && is_path)
    return;
  std::string value = own ? envd_own_value(e.value, is_path) : std::move(e.value);
  m.out.push_back(env_kv{std::move(e.name), std::move(value), m.source});
  std::size_t at = m.index.add(m.out, m.out.size() - 1);
  if (at != env_kv_table::npos) {
    m.out[at].value = std::move(m.out.back().value);
    m.out.pop_back();
  } else {
    at = m.out.size() - 1;
  }
  if (!m.expanded)
    return;
  m.expanded->resize(m.out.size());
  (*m.expanded)[at] = is_path ? std::nullopt : std::move(expanded);
}

namespace {

// Applies the files in order. An assignment whose value is not UTF-8 ends its file there:
// systemd's parser stops at it (and the generator of systemd 252 then aborts, which the
// session's reading of the files reports). Room for all their lines is made at once, so that the list is
// never copied to grow.
void merge_files(const std::vector<conf_text> &files, envd_merger &m) {
  std::size_t lines = 0;
  for (const conf_text &f : files)
    lines += envd_lines(f.text);
  envd_merge_reserve(m, lines);
  for (const conf_text &f : files) {
    merge_sink sink(m, f.own);
    envd_parse(f.text, sink);
  }
}

int join_or_fail(std::string &out, const std::string &dir, const char *name) {
  if (env_join_path(out, dir, name) == 0)
    return 0;
  env_set_error("environment.d path too long");
  return -1;
}

int write_failure(int scope, const std::string &path, int err) {
  env_set_error("cannot write environment file %s (%d)%s", path.c_str(), err,
                scope == system_scope ? " \xE2\x80\x94 root required for system scope" : "");
  return -1;
}

// The own file's text; a missing file reads as empty. 0 or an errno.
int read_own(const std::string &path, std::string &text, bool &exists) {
  struct stat st {};
  exists = stat(path.c_str(), &st) == 0;
  if (!exists)
    return errno == ENOENT ? 0 : errno;
  if (env_read_file(path.c_str(), text) == 0)
    return 0;
  return errno ? errno : EIO;
}

// Creates the scope's directory when missing, with its mode exactly (the umask would take
// the read bits of the system directory away from other users' sessions). 0 or an errno.
int make_dir(const std::string &dir, int mode) {
  if (env_is_dir(dir.c_str()))
    return 0;
  errno = 0;
  if (env_mkdir_p(dir.c_str(), mode) != 0 || chmod(dir.c_str(), mode) != 0)
    return errno ? errno : EIO;
  return 0;
}

int store_file(int scope, const std::string &dir, const std::string &path, const std::string &text) {
  forget_conf_texts();
  bool system = scope == system_scope;
  int mode = system ? 0644 : 0600;
  int err = make_dir(dir, system ? 0755 : 0700);
  if (err != 0)
    return write_failure(scope, path, err);
  errno = 0;
  if (env_write_file(path.c_str(), text, mode) != 0)
    return write_failure(scope, path, errno ? errno : EIO);
  return 0;
}

// One change of the own file: the name set to the value, or removed without one.
struct change {
  std::string_view name;
  std::optional<std::string_view> value;
  bool is_path;
};

// Where the scope's own file lives, and the file a change reads and writes (envd_own.cpp).
int own_path(int scope, std::string &dir, std::string &path) {
  if (envd_dir(scope, dir) != 0 || join_or_fail(path, dir, envd_own_name(scope)) != 0)
    return -1;
  return envd_resolve_own(scope, dir, path);
}

// Rewrites the scope's own file with the changes applied in order (see envd_splice), in one
// write, so that the file holds all of them or, when the write fails, none. `undo` puts the
// file back as it was read.
int rewrite(int scope, const std::vector<change> &changes, const std::vector<std::string> &order,
            env_native_undo &undo) {
  std::string dir;
  std::string path;
  if (own_path(scope, dir, path) != 0)
    return -1;
  std::string text;
  bool exists = false;
  int err = read_own(path, text, exists);
  if (err != 0)
    return write_failure(scope, path, err);
  envd_editor editor(text);
  for (const change &c : changes)
    editor.apply(c.name, c.value, c.is_path);
  editor.order(order);
  std::string next = editor.text();
  if (next == text && (exists || next.empty()))
    return 0;
  if (store_file(scope, dir, path, next) != 0)
    return -1;
  undo = [scope, dir, path, exists, old = std::move(text)]() {
    if (exists)
      return store_file(scope, dir, path, old);
    if (unlink(path.c_str()) == 0 || errno == ENOENT)
      return 0;
    return write_failure(scope, path, errno);
  };
  return 0;
}

int refuse(std::string_view name, const char *why) {
  std::string n(name);
  env_set_error("cannot write '%s' to environment.d: %s", n.c_str(), why);
  return -1;
}

// The change that gives the name the value, or -1 with the message when environment.d
// cannot hold the pair. systemd cannot hold an empty value, so that removes the name.
int change_for(std::string_view n, std::string_view v, change &out) {
  if (!envd_name_valid(n))
    return refuse(n, "not a valid variable name");
  if (!envd_utf8_valid(v))
    return refuse(n, "not valid UTF-8");
  int byte = v.empty() ? -1 : envd_unpassable_byte(v);
  if (byte >= 0) {
    char why[128];
    snprintf(why, sizeof why,
             "value holds control character 0x%02X, which systemd passes on as an escape "
             "sequence",
             static_cast<unsigned>(byte));
    return refuse(n, why);
  }
  if (n.size() + 1 + v.size() + 1 > max_env_string)
    return refuse(n, "NAME=value is 128 KiB or more, which the kernel refuses to pass to any program");
  out = {n, v.empty() ? std::nullopt : std::optional<std::string_view>(v), env_name_eq(n, "PATH")};
  return 0;
}

// Whether this process may replace the scope's own file: a new file is written beside it
// and renamed over it, so its directory (or the nearest one that exists) must be writable.
int may_replace_own_file(int scope) {
  std::string dir, path;
  if (own_path(scope, dir, path) != 0)
    return -1;
  std::string existing = dir;
  while (!env_is_dir(existing.c_str()) && existing.find('/') != std::string::npos && existing != "/")
    existing = existing.substr(0, std::max<std::size_t>(existing.find_last_of('/'), 1));
  if (faccessat(AT_FDCWD, existing.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return write_failure(scope, path, errno);
  return 0;
}

} // namespace

// Both names sort after Debian's 99-environment.conf, and system before user, so user values
// are applied last.
const char *envd_own_name(int scope) {
  return scope == system_scope ? "99-pellomar-system.conf" : "99-pellomar-user.conf";
}

namespace {

struct dir_closer {
  void operator()(DIR *d) const { closedir(d); }
};

bool conf_name(const char *name) {
  std::string_view n(name);
  constexpr std::string_view suffix = ".conf";
  return n[0] != '.' && n.size() > suffix.size() && n.substr(n.size() - suffix.size()) == suffix;
}

int read_conf_dir(const std::string &dir, std::vector<std::string> &names) {
  std::unique_ptr<DIR, dir_closer> d(opendir(dir.c_str()));
  if (!d && errno == ENOMEM)
    throw std::bad_alloc();
  if (!d)
    return errno;
  errno = 0;
  while (const dirent *e = readdir(d.get())) {
    bool maybe_file = e->d_type == DT_REG || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN;
    if (maybe_file && conf_name(e->d_name))
      names.emplace_back(e->d_name);
    errno = 0;
  }
  if (errno != 0)
    return errno;
  std::sort(names.begin(), names.end());
  return 0;
}

} // namespace

// The names of the directory's *.conf files in byte order, as systemd picks them: hidden
// names are skipped, and so are entries known not to be files or links. 0 or an errno; a
// directory there was no memory to open is out of memory, not unreadable.
int envd_conf_files(const std::string &dir, std::vector<std::string> &names) {
  conf_texts *memo = env_memo<conf_texts>();
  if (memo) {
    auto at = memo->dirs.find(dir);
    if (at != memo->dirs.end()) {
      names = at->second.second;
      return at->second.first;
    }
  }
  int err = read_conf_dir(dir, names);
  if (memo)
    memo->dirs.emplace(dir, std::make_pair(err, names));
  return err;
}

int envd_own_path(int scope, std::string &dir, std::string &path) {
  return own_path(scope, dir, path);
}

int envd_may_replace_own(int scope) {
  return may_replace_own_file(scope);
}

int envd_native_names(int scope, std::string &dir, std::vector<std::string> &names) {
  names.clear();
  if (envd_dir(scope, dir) != 0)
    return -1;
  int err = envd_conf_files(dir, names);
  if (err == 0)
    return 0;
  names.clear();
  if (err == ENOENT || scope == system_scope)
    return 0;
  env_set_error("cannot read environment directory %s (%d)", dir.c_str(), err);
  return -1;
}

const char *envd_native_source(int scope) {
  return scope == system_scope ? "envd-system" : "envd-user";
}

int env_plat_native_vars(env_scope scope, env_kv_list &out) {
  out.clear();
  int s = scope_of(scope);
  std::string dir;
  std::vector<std::string> names;
  if (envd_native_names(s, dir, names) != 0)
    return -1;
  std::vector<conf_text> files;
  std::string path;
  for (const std::string &name : names) {
    conf_text file{name == envd_own_name(s), {}};
    if (env_join_path(path, dir, name) != 0 || (file.own && !envd_may_read_own(s, path)))
      continue;
    if (envd_read_conf(path, file.text))
      files.push_back(std::move(file));
  }
  envd_merger m{out, envd_native_source(s)};
  merge_files(files, m);
  return 0;
}

int env_plat_native_check(env_scope scope, const char *name, const char *value) {
  change c{};
  if (change_for(name ? name : "", value ? value : "", c) != 0)
    return -1;
  return scope == env_scope::system ? may_replace_own_file(system_scope) : 0;
}

// The own file is rewritten once with every pair of the store and then the changes: a
// change that was interrupted before it reached environment.d is healed by the next one.
// Pairs environment.d cannot hold (from a store edited by hand) are left out. The store's
// assignments then take the order a session needs (core/order.h).
int env_plat_native_write(env_scope scope, const std::vector<env_native_change> &changes,
                          const env_kv_list &store, env_native_undo &undo) {
  std::vector<change> all;
  all.reserve(store.size() + changes.size());
  for (const env_kv &kv : store) {
    change c{};
    if (change_for(kv.name, kv.value, c) == 0)
      all.push_back(c);
  }
  env_clear_error();
  for (const env_native_change &nc : changes) {
    change c{nc.name, std::nullopt, env_name_eq(nc.name, "PATH")};
    if (nc.value && change_for(nc.name, *nc.value, c) != 0)
      return -1;
    all.push_back(c);
  }
  std::vector<std::string> order;
  order.reserve(store.size());
  for (std::size_t at : assignment_order(store))
    order.push_back(store[at].name);
  return rewrite(scope_of(scope), all, order, undo);
}

bool env_plat_native_owns_protected() {
  return false;
}

#endif

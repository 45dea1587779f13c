// Lays out the files of a workload. Files are written plainly (no flushing): their setup
// is not measured.
#include "workload.h"

#include <yyjson.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {

namespace {

std::string numbered(const char *format, int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, i);
  return buf;
}

void write_text(const std::string &path, const std::string &text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

// Every tenth value refers to a foreign variable, so that expansion has work to do.
std::string value_for(int i, const std::string &tag) {
  if (i % 10 == 3)
    return numbered("${BENCH_E_00000}/lib-%05d", i) + tag;
  return numbered("value-%05d", i) + tag;
}

// Short names relative to the working directory (see enter), so that 1,000 entries stay
// within the 8 KiB the export file takes per value; every tenth one does not exist.
std::vector<std::string> path_list(int count) {
  std::vector<std::string> entries;
  for (int i = 0; i < count; ++i)
    entries.push_back(numbered(i % 10 == 9 ? "g%04d" : "d%04d", i));
  return entries;
}

std::string joined(const std::vector<std::string> &entries) {
  std::string out;
  for (const std::string &e : entries)
    out.append(out.empty() ? "" : ":").append(e);
  return out;
}

var_list store_list(int count, const std::vector<std::string> &path, const std::string &tag) {
  var_list vars{{"PATH", joined(path)}};
  for (int i = 0; i + 1 < count; ++i)
    vars.emplace_back(numbered("BENCH_S_%05d", i), value_for(i, tag));
  return vars;
}

// A store or backup document as the library writes it: pretty JSON.
std::string json_text(const var_list &vars, bool backup, int stamp) {
  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  if (backup) {
    yyjson_mut_obj_add_strcpy(doc, root, "ts", numbered("2024-01-01T00:00:%02dZ", stamp % 60).c_str());
    yyjson_mut_obj_add_str(doc, root, "scope", "user");
    yyjson_mut_obj_add_str(doc, root, "platform", "linux");
  }
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  for (const auto &[name, value] : vars) {
    yyjson_mut_val *obj = yyjson_mut_arr_add_obj(doc, arr);
    yyjson_mut_obj_add_strncpy(doc, obj, "name", name.data(), name.size());
    yyjson_mut_obj_add_strncpy(doc, obj, "value", value.data(), value.size());
  }
  yyjson_mut_obj_add_val(doc, root, "vars", arr);
  std::size_t len = 0;
  char *text = yyjson_mut_write(doc, YYJSON_WRITE_PRETTY, &len);
  std::string out = text ? std::string(text, len) : std::string();
  std::free(text);
  yyjson_mut_doc_free(doc);
  return out;
}

std::string own_conf(const var_list &vars) {
  std::string out;
  for (const auto &[name, value] : vars)
    out.append(name).append(name == "PATH" ? "=${PATH}:" : "=").append(value).append("\n");
  return out;
}

std::string foreign_conf(int count) {
  std::string out = "# laid out by the benchmark\n";
  for (int i = 0; i < count; ++i)
    out.append(numbered("BENCH_E_%05d=", i)).append(numbered("value-%05d", i)).append("\n");
  return out;
}

} // namespace

workload::workload(const std::string &root, const std::string &path_dirs, workload_size size)
    : root_(root), path_dirs_(path_dirs), size_(size), path_(path_list(size.path)) {
  int native = size.vars / 2;
  store_vars_ = store_list(size.vars - native, path_, "");
  fs::create_directories(home());
  fs::create_directories(floor_dir() + "/backups");
  write_text(foreign_file(), foreign_conf(native));
  write_text(own_file(), own_conf(store_vars_));
  write_text(store_file(), json_text(store_vars_, false, 0));
  for (int which = 0; which < 2; ++which)
    write_text(restore_file(which),
               json_text(store_list(size.vars - native, path_, which ? "-B" : "-A"), true, 0));
  lay_out_backups();
}

std::vector<std::string> workload::session_dirs() const {
  std::vector<std::string> out{KENV_SYSCONFDIR "/environment.d"};
  for (const char *dir : {"/run", "/usr/local/lib", "/usr/lib"})
    out.push_back(std::string(KENV_VENDOR_ROOT) + dir + "/environment.d");
  out.push_back(KENV_LOCALSTATEDIR "/lib/pellomar/system-env.json");
  return out;
}

workload::~workload() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

// Years of use: every backup holds the store. They are hard links to one file, so that
// 50,000 of them cost neither minutes nor gigabytes to lay out; the listing reads the
// folder and its index, and a backup it has not seen is read like any other file.
void workload::lay_out_backups() const {
  fs::create_directories(backup_dir());
  if (size_.backups == 0)
    return;
  std::string first = backup_dir() + numbered("/20240101-000000-%08d.json", 1);
  write_text(first, json_text(store_vars_, true, 0));
  for (int i = 1; i < size_.backups; ++i)
    if (link(first.c_str(), (backup_dir() + numbered("/20240101-000000-%08d.json", i + 1)).c_str()) != 0)
      throw std::runtime_error("cannot lay out the backups in " + backup_dir());
}

void workload::enter() const {
  setenv("HOME", home().c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home() + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home() + "/.local/share").c_str(), 1);
  unsetenv("ZDOTDIR");
  if (chdir(path_dirs_.c_str()) != 0)
    throw std::runtime_error("cannot enter " + path_dirs_);
}

void workload::drop_new_backups() const {
  std::error_code ec;
  for (const fs::path &dir : {fs::path(backup_dir()), fs::path(floor_dir()) / "backups"})
    for (const auto &e : fs::directory_iterator(dir, ec))
      if (e.path().filename().string() > numbered("20240101-000000-%08d.json", size_.backups))
        fs::remove(e.path(), ec);
}

std::string workload::restore_file(int which) const {
  return root_ + (which ? "/restore-b.json" : "/restore-a.json");
}

std::vector<std::string> workload::rc_candidates() const {
  std::vector<std::string> out;
  for (const char *name :
       {".profile", ".bash_profile", ".bash_login", ".bashrc", ".zshenv", ".zprofile", ".zshrc"})
    out.push_back(home() + "/" + name);
  return out;
}

std::string workload::newest_backup() const {
  std::string newest;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(backup_dir(), ec))
    newest = std::max(newest, e.path().string());
  return newest;
}

namespace {

using workload_key = std::tuple<int, int, int>;

struct registry {
  std::string root;
  std::map<workload_key, std::unique_ptr<workload>> items;

  ~registry() { clear(); }
  void clear() {
    items.clear();
    std::error_code ec;
    if (!root.empty())
      fs::remove_all(root, ec);
    root.clear();
  }
  const std::string &ensure_root() {
    if (!root.empty())
      return root;
    std::string pattern = (fs::temp_directory_path() / "kenv-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot create a temporary folder");
    root = pattern;
    for (int i = 0; i < 1000; ++i)
      fs::create_directories(root + numbered("/pathdirs/d%04d", i));
    // The entry env_path_add inserts.
    fs::create_directories(root + "/pathdirs/extra");
    return root;
  }
};

registry &the_registry() {
  static registry r;
  return r;
}

} // namespace

workload &workload_for(workload_size size) {
  registry &r = the_registry();
  workload_key key{size.vars, size.path, size.backups};
  auto found = r.items.find(key);
  if (found != r.items.end())
    return *found->second;
  std::string root = r.ensure_root();
  std::string dir = root + "/w" + std::to_string(r.items.size());
  auto made = std::make_unique<workload>(dir, root + "/pathdirs", size);
  return *r.items.emplace(key, std::move(made)).first->second;
}

void drop_workloads() {
  the_registry().clear();
}

} // namespace bench

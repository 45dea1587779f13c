#include "kenv_changes.h"
#include "support/generator.h"

#include <yyjson.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Profile {
  std::string name;
  std::vector<std::pair<std::string, std::string>> vars;
  std::string entry;
  bool on; // switched on in the prepared scope
};

const std::vector<Profile> profiles{
    {"kt-on", {{"KT_P", "p"}}, "/kt/p", true},
    {"kt-on2", {{"KT_P2", "p2"}}, "/kt/p2", true},
    {"kt-off", {{"KT_Q", "q"}, {"KT_A", "profile"}}, "/kt/q", false},
    {"kt-off2", {{"KT_R", "r"}}, "/kt/r", false},
};

// Two documents to apply: each sets, adds and removes a variable (a null value), and keeps
// the active profiles' variables and entries, so that --prune leaves those profiles whole.
const char *const documents[][2] = {
    {"a.json", R"({"format": "kenv-state/1", "vars": [{"name": "KT_A", "value": "applied"},
      {"name": "KT_D", "value": "4"}, {"name": "KT_B", "value": null}, {"name": "KT_P", "value": "p"},
      {"name": "KT_P2", "value": "p2"}], "path": ["/kt/e1", "/kt/new", "/kt/p", "/kt/p2"]})"},
    {"b.json", R"({"format": "kenv-state/1", "vars": [{"name": "KT_F", "value": "6"},
      {"name": "KT_C", "value": null}, {"name": "KT_P", "value": "p"}, {"name": "KT_P2", "value": "p2"}],
      "path": ["/kt/e2", "/kt/f", "/kt/p", "/kt/p2"]})"},
};

using json_doc = std::unique_ptr<yyjson_doc, decltype(&yyjson_doc_free)>;

json_doc parse(const std::string &text) {
  return json_doc(yyjson_read(text.data(), text.size(), 0), yyjson_doc_free);
}

std::string text_of(yyjson_val *object, const char *key) {
  const char *text = yyjson_get_str(yyjson_obj_get(object, key));
  return text ? text : "";
}

std::string joined(const std::vector<std::string> &words, const char *between) {
  std::string out;
  for (const std::string &w : words)
    out += (out.empty() ? "" : between) + w;
  return out;
}

std::string joined(const std::map<std::string, std::string> &vars) {
  std::vector<std::string> words;
  for (const auto &[name, value] : vars)
    words.push_back(name + "=" + value);
  return "{" + joined(words, " ") + "}";
}

// The test's variables (KT_*) and PATH entries (/kt/...) among what a peer gives.
std::map<std::string, std::string> ours(const std::map<std::string, std::string> &vars) {
  std::map<std::string, std::string> out;
  for (const auto &[name, value] : vars)
    if (name.rfind("KT_", 0) == 0)
      out[name] = value;
  return out;
}

std::vector<std::string> our_entries(const std::string &path) {
  std::vector<std::string> out;
  for (std::size_t at = 0, end; at <= path.size(); at = end + 1) {
    end = std::min(path.find(':', at), path.size());
    if (path.compare(at, 4, "/kt/") == 0)
      out.push_back(path.substr(at, end - at));
  }
  return out;
}

bool contains(const std::vector<std::string> &list, const std::string &word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

} // namespace

const std::vector<ChangeKind> &change_kinds() {
  static const std::vector<ChangeKind> kinds{
      {"set", {"set", "KT_A", "changed"}, {"set", "KT_E", "e"}},
      {"unset", {"unset", "KT_B"}, {"unset", "KT_C"}},
      {"path_add", {"path", "add", "/kt/new"}, {"path", "add", "/kt/new2"}},
      {"path_rm", {"path", "rm", "/kt/e1"}, {"path", "rm", "/kt/e2"}},
      {"path_mv", {"path", "mv", "/kt/e3", "0"}, {"path", "mv", "/kt/e1", "4"}},
      {"restore", {"restore", "@backup"}, {"restore", "@backup"}},
      {"apply", {"apply", "@a.json"}, {"apply", "@b.json"}},
      {"apply_prune", {"apply", "@a.json", "--prune"}, {"apply", "@b.json", "--prune"}},
      {"profile_on", {"profile", "on", "kt-off"}, {"profile", "on", "kt-off2"}},
      {"profile_off", {"profile", "off", "kt-on"}, {"profile", "off", "kt-on2"}},
      {"path_off", {"path", "off", "/kt/e2"}, {"path", "off", "/kt/e3"}},
      {"path_on", {"path", "on", "/kt/e4"}, {"path", "on", "/kt/e5"}},
  };
  return kinds;
}

std::vector<std::string> ScopeView::lines() const {
  std::vector<std::string> out;
  for (const auto &[name, value] : vars)
    out.push_back(name + "=" + value);
  out.push_back("PATH " + joined(path, ":"));
  for (const std::string &e : off)
    out.push_back("off " + e);
  for (const std::string &p : profiles_on)
    out.push_back("on " + p);
  return out;
}

std::string difference(const ScopeView &got, const ScopeView &want) {
  std::vector<std::string> a = got.lines(), b = want.lines(), extra, missing;
  for (const std::string &line : a)
    if (!contains(b, line))
      extra.push_back(line);
  for (const std::string &line : b)
    if (!contains(a, line))
      missing.push_back(line);
  if (extra.empty() && missing.empty())
    return "the same lines in another order";
  return "has " + (extra.empty() ? "nothing more" : joined(extra, ", ")) + "; lacks " +
         (missing.empty() ? "nothing" : joined(missing, ", "));
}

void ChangeTest::SetUp() {
  KenvTest::SetUp();
  ASSERT_EQ(access(envd_generator, X_OK), 0) << "systemd's environment.d generator is not installed";
  ASSERT_EQ(access("/bin/dash", X_OK), 0) << "dash is not installed";
  for (const auto &[name, text] : documents)
    write(root() + "/" + name, text);
}

void ChangeTest::prepare() {
  std::vector<std::vector<std::string>> steps{
      {"set", "KT_A", "1"}, {"set", "KT_B", "2"}, {"set", "KT_C", "3"}};
  for (const char *e : {"/kt/e1", "/kt/e2", "/kt/e3", "/kt/e4", "/kt/e5"})
    steps.push_back({"path", "add", e});
  steps.push_back({"path", "off", "/kt/e4"});
  steps.push_back({"path", "off", "/kt/e5"});
  for (const Profile &p : profiles) {
    std::string text;
    for (const auto &[name, value] : p.vars)
      text += name + "=" + value + "\n";
    write(root() + "/" + p.name + ".env", text + "PATH=${PATH}:" + p.entry + "\n");
    steps.push_back({"profile", "new", p.name, "--from", "@" + p.name + ".env"});
  }
  for (const Profile &p : profiles)
    if (p.on)
      steps.push_back({"profile", "on", p.name});
  steps.push_back({"set", "KT_G", "g"}); // what a restore of the newest backup takes away again
  for (const auto &step : steps) {
    Outcome r = run_kenv(step);
    ASSERT_EQ(r.status, 0) << step[0] << " " << step[1] << ": " << r.err;
  }
  json_doc listed = parse(run_kenv({"backups", "--json"}).out);
  backup_ = text_of(yyjson_arr_get_first(yyjson_doc_get_root(listed.get())), "path");
  ASSERT_NE(backup_, "");
  fs::copy(home(), root() + "/prepared", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

void ChangeTest::reset() {
  fs::remove_all(home());
  fs::remove_all(tmp_dir());
  fs::copy(root() + "/prepared", home(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::create_directory(tmp_dir());
}

Outcome ChangeTest::run_kenv(const std::vector<std::string> &args, const std::vector<std::string> &prefix) {
  std::vector<std::string> argv = prefix;
  argv.push_back(KENV_BIN);
  for (const std::string &a : args)
    argv.push_back(a == "@backup" ? backup_ : a[0] == '@' ? root() + "/" + a.substr(1) : a);
  fs::create_directories(tmp_dir());
  return run_process(argv, {{"NO_COLOR", std::nullopt}, {"SHELL", "/bin/sh"}, {"TMPDIR", tmp_dir()}});
}

ScopeView ChangeTest::observe() {
  auto out_of = [&](const std::vector<std::string> &args) {
    Outcome r = run_kenv(args);
    EXPECT_EQ(r.status, 0) << "kenv " << joined(args, " ") << ": " << r.err;
    return r.out;
  };
  ScopeView view;
  json_doc state = parse(out_of({"export", "--format", "json"}));
  yyjson_val *root = yyjson_doc_get_root(state.get()), *v;
  std::size_t i, n;
  yyjson_arr_foreach(yyjson_obj_get(root, "vars"), i, n, v)
      view.vars.emplace_back(text_of(v, "name"), text_of(v, "value"));
  yyjson_arr_foreach(yyjson_obj_get(root, "path"), i, n, v) view.path.push_back(yyjson_get_str(v));
  json_doc entries = parse(out_of({"path", "list", "--json"}));
  yyjson_arr_foreach(yyjson_doc_get_root(entries.get()), i, n, v) {
    if (yyjson_get_bool(yyjson_obj_get(v, "off")))
      view.off.push_back(text_of(v, "entry"));
  }
  std::string listed = out_of({"profile", "list"});
  for (std::size_t at = 0; (at = listed.find("on   ", at)) != std::string::npos; at += 5)
    if (at == 0 || listed[at - 1] == '\n')
      view.profiles_on.push_back(listed.substr(at + 5, listed.find('\n', at) - at - 5));
  json_doc backups = parse(out_of({"backups", "--json"}));
  view.backups = yyjson_arr_size(yyjson_doc_get_root(backups.get()));
  return view;
}

std::map<std::string, std::string> ChangeTest::generated() {
  Outcome r = run_process({"/usr/bin/env", "-i", "HOME=" + home(), "XDG_CONFIG_HOME=" + home() + "/.config",
                           "PATH=/usr/bin:/bin", envd_generator});
  EXPECT_EQ(r.status, 0) << "the generator: " << r.err;
  std::map<std::string, std::string> vars;
  for (std::size_t at = 0, end; at < r.out.size(); at = end + 1) {
    end = std::min(r.out.find('\n', at), r.out.size());
    std::string line = r.out.substr(at, end - at);
    std::size_t eq = line.find('=');
    if (eq != std::string::npos)
      vars[line.substr(0, eq)] = generator_unquote(line.substr(eq + 1));
  }
  return vars;
}

std::map<std::string, std::string> ChangeTest::sourced_by_dash() {
  Outcome r = run_process({"/usr/bin/env", "-i", "HOME=" + home(), "PATH=/usr/bin:/bin", "/bin/dash", "-c",
                           ". \"$1\" && env -0", "sh", user_export()});
  EXPECT_EQ(r.status, 0) << "dash: " << r.err;
  return parse_env0(r.out);
}

std::vector<std::string> ChangeTest::disagreements(const ScopeView &scope) {
  std::vector<std::string> found;
  std::map<std::string, std::string> stored;
  for (const auto &[name, value] : scope.vars)
    if (!value.empty())
      stored[name] = value;
  stored = ours(stored);
  for (const auto &[peer, vars] :
       {std::pair<std::string, std::map<std::string, std::string>>{"the generator", generated()},
        {"dash sourcing the export file", sourced_by_dash()}}) {
    if (ours(vars) != stored)
      found.push_back(peer + " gives " + joined(ours(vars)) + ", the store holds " + joined(stored));
    std::string path = vars.count("PATH") ? vars.at("PATH") : "";
    if (our_entries(path) != scope.path)
      found.push_back(peer + " gives PATH entries " + joined(our_entries(path), ":") + ", the store holds " +
                      joined(scope.path, ":"));
  }
  for (const Profile &p : profiles) {
    if (!contains(scope.profiles_on, p.name))
      continue;
    for (const auto &[name, value] : p.vars)
      if (std::find(scope.vars.begin(), scope.vars.end(), std::pair(name, value)) == scope.vars.end())
        found.push_back("profile " + p.name + " is listed on, but the store lacks " + name + "=" + value);
    if (!contains(scope.path, p.entry))
      found.push_back("profile " + p.name + " is listed on, but its entry " + p.entry + " is not in PATH");
  }
  for (const std::string &e : scope.off)
    if (contains(scope.path, e))
      found.push_back("PATH entry " + e + " is listed off, but it is in PATH");
  return found;
}

std::vector<std::string> ChangeTest::leftovers() const {
  std::vector<std::string> found;
  std::error_code ec;
  for (const std::string &dir : {data_dir(), user_envd()})
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->path().filename().string().find(".tmp-") != std::string::npos)
        found.push_back(it->path().string());
  for (const auto &entry : fs::directory_iterator(tmp_dir(), ec)) {
    std::vector<std::string> inside;
    for (const auto &file : fs::directory_iterator(entry.path(), ec))
      inside.push_back(file.path().filename().string());
    found.push_back(entry.path().string() + (inside.empty() ? "" : " holding " + joined(inside, ", ")));
  }
  return found;
}

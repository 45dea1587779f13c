// Each kind of change killed with SIGKILL at every write, link, rename and unlink it makes,
// then healed by the next change (`kenv set KT_NEXT n`): the generator and dash then give
// the store's values, every record agrees with the store, the scope is wholly as before or
// wholly as after the killed change with one backup per change that landed, and no
// temporary file is left. strace finds the points (a first run traces the calls) and kills
// there (`inject=CALL:signal=KILL:when=N`, whose count is per call name). Every point runs
// unless KENV_KILL_SEED is set: then a sample of KENV_KILL_SAMPLE points per kind (30 when
// unset) drawn with that seed.
#include "kenv_changes.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <unistd.h>

namespace {

constexpr const char *strace = "/usr/bin/strace";
constexpr const char *traced = "write,link,linkat,rename,renameat,renameat2,unlink,unlinkat";

// strace with these arguments. LeakSanitizer cannot work in a traced process (it traces the
// process itself), so a sanitizer build runs without it here.
std::vector<std::string> traced_by(std::vector<std::string> args) {
  args.insert(args.begin(), {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0", strace, "-f", "-qq"});
  return args;
}

// The point before the nth call of that name (counted from 1, as strace's `when` counts).
struct Point {
  std::string call;
  int nth;
};

class KenvKill : public ChangeTest, public ::testing::WithParamInterface<ChangeKind> {
protected:
  void SetUp() override {
    ChangeTest::SetUp();
    ASSERT_EQ(run_process({strace, "-o", "/dev/null", "/bin/true"}).status, 0)
        << "strace cannot trace here (scripts/install-deps.sh installs it)";
  }
  // The scope with KT_NEXT set, after the change or without it, checked as a kill's is.
  ScopeView reference(const std::vector<std::string> &change) {
    reset();
    if (!change.empty()) {
      EXPECT_EQ(run_kenv(change).status, 0) << GetParam().name << " without a kill";
    }
    EXPECT_EQ(run_kenv({"set", "KT_NEXT", "n"}).status, 0);
    ScopeView view = observe();
    std::vector<std::string> found = disagreements(view);
    for (const std::string &file : leftovers())
      found.push_back("left behind: " + file);
    for (const std::string &d : found)
      ADD_FAILURE() << GetParam().name << (change.empty() ? " not run" : " without a kill") << ": " << d;
    return view;
  }
  // Every write (but those to stdout and stderr), link, rename and unlink of one run.
  std::vector<Point> points() {
    reset();
    std::string trace = root() + "/trace";
    Outcome r = run_kenv(GetParam().args, traced_by({"-o", trace, "-e", std::string("trace=") + traced}));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Point> found;
    std::map<std::string, int> seen;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
      line.erase(0, line.find_first_not_of("0123456789 "));
      std::size_t paren = line.find('(');
      std::string call = line.substr(0, paren);
      if (paren == std::string::npos ||
          call.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos)
        continue; // a signal or another note of strace's
      int nth = ++seen[call];
      if (line.rfind("write(1,", 0) != 0 && line.rfind("write(2,", 0) != 0)
        found.push_back({call, nth});
    }
    return found;
  }
  void kill_at(const Point &p, const ScopeView &before, const ScopeView &after) {
    std::string where = GetParam().name + " killed at " + p.call + " #" + std::to_string(p.nth) + ": ";
    reset();
    std::string when = std::to_string(p.nth);
    Outcome killed = run_kenv(GetParam().args, traced_by({"-o", "/dev/null", "-e", "trace=" + p.call, "-e",
                                                          "inject=" + p.call + ":signal=KILL:when=" + when}));
    if (killed.status != -1) {
      ADD_FAILURE() << where << "kenv was not killed there (exit " << killed.status << ")";
      return;
    }
    Outcome next = run_kenv({"set", "KT_NEXT", "n"});
    if (next.status != 0)
      ADD_FAILURE() << where << "the next change failed: " << next.err;
    ScopeView now = observe();
    for (const std::string &d : disagreements(now))
      ADD_FAILURE() << where << d;
    for (const std::string &file : leftovers())
      ADD_FAILURE() << where << "left behind by the next change: " << file;
    bool as_before = now.lines() == before.lines();
    if (!as_before && now.lines() != after.lines())
      ADD_FAILURE() << where
                    << "neither before nor after the change; against before: " << difference(now, before)
                    << "; against after: " << difference(now, after);
    else if (const ScopeView &same = as_before ? before : after; now.backups != same.backups)
      ADD_FAILURE() << where << now.backups << " backups, where one per change that landed makes "
                    << same.backups << " (the scope is as " << (as_before ? "before" : "after")
                    << " the change)";
  }
};

// All points, or with KENV_KILL_SEED set a sample of them.
std::vector<Point> chosen(std::vector<Point> all) {
  const char *seed = std::getenv("KENV_KILL_SEED");
  const char *size = std::getenv("KENV_KILL_SAMPLE");
  std::size_t keep = size ? std::strtoul(size, nullptr, 10) : 30;
  if (!seed || all.size() <= keep)
    return all;
  std::mt19937 draw(static_cast<unsigned>(std::strtoul(seed, nullptr, 10)));
  std::shuffle(all.begin(), all.end(), draw);
  all.resize(keep);
  return all;
}

TEST_P(KenvKill, TheNextChangeHealsAKillAtAnyPointOfIt) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  ScopeView before = reference({}), after = reference(GetParam().args);
  std::vector<Point> all = points();
  std::vector<Point> run = chosen(all);
  auto started = std::chrono::steady_clock::now();
  for (const Point &p : run)
    kill_at(p, before, after);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  std::map<std::string, int> per_call;
  for (const Point &p : all)
    ++per_call[p.call];
  std::string calls;
  for (const auto &[call, count] : per_call)
    calls += (calls.empty() ? "" : ", ") + call + " " + std::to_string(count);
  std::cout << "kill points of " << GetParam().name << ": " << all.size() << " (" << calls << "); ran "
            << run.size() << " in " << took.count() << " s";
  if (const char *seed = std::getenv("KENV_KILL_SEED"))
    std::cout << " (KENV_KILL_SEED=" << seed << ")";
  std::cout << "\n";
  EXPECT_GT(all.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, KenvKill, ::testing::ValuesIn(change_kinds()),
                         [](const auto &info) { return info.param.name; });

} // namespace

// kenv_bench: every operation of the library against its I/O floor, per workload size.
//
//   kenv_bench [--smoke] [--all] [--allocator-defaults] [benchmark flags]
//
// Each benchmark "NAME/vars:V/path:P/backups:B" alternates, call by call, the library's
// operation and its floor, the file work the operation cannot avoid (floor_plan.cpp): the
// two see the same machine at the same moment, so a neighbour's burst of disk work weighs on
// both alike. Every repetition reports the time per call of each (counters "library_us" and
// "floor_us"); bench/table.py takes medians and spreads over the repetitions and checks the
// targets. Changes start from a data directory that holds 1,000 backups.
//
// `kenv restore --latest` is measured as a user runs it, in a data directory of 50,000
// backups, against the bare listing of that folder plus the same command at 10 backups;
// the peak memory of both runs is reported too ("library_kib", "floor_kib").
//
// `kenv apply` of a document of as many variables as the workload has ("vars"), one of
// whose values differs each time, is measured as a whole process against `kenv set` of one
// variable in the same scope: both are one change with one backup.
//
// --smoke runs the smallest workloads once per benchmark, to check that everything builds
// and runs; --all adds the grid of 10 to 10,000 variables and 10 to 1,000 PATH entries.
// The exit status is 1 when any call failed.
//
// Memory: glibc hands freed memory back to the system once the free space at the top of
// its heap passes a threshold that it adjusts to the largest blocks freed so far, so
// whether a call finds its memory still mapped depends on what ran before it. Each
// benchmark should measure the steady state of a caller that calls again and again, the
// same whatever order the benchmarks run in, so the process keeps freed memory (the
// thresholds are fixed high). --allocator-defaults leaves glibc's adaptive thresholds
// alone: a call that needs megabytes then pays for faulting them in again.
#include "floor_io.h"
#include "floor_plan.h"
#include "ops.h"
#include "workload.h"

#include "kestrune_env.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>
#include <vector>

namespace bench {

namespace {

using steady = std::chrono::steady_clock;

bool g_failed = false;

void fail(benchmark::State &state, const char *what) {
  g_failed = true;
  state.SkipWithError(what);
}

double seconds_between(steady::time_point a, steady::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// The two sides of one benchmark, summed over its calls.
struct pair_times {
  double library = 0;
  double floor = 0;
  long calls = 0;

  void add(benchmark::State &state, double lib, double flo) {
    library += lib;
    floor += flo;
    ++calls;
    state.SetIterationTime(lib + flo);
  }
  void report(benchmark::State &state) const {
    if (calls == 0)
      return;
    state.counters["library_us"] = library / static_cast<double>(calls) * 1e6;
    state.counters["floor_us"] = floor / static_cast<double>(calls) * 1e6;
  }
};

// The library's call with its untimed preparation and reset; its time in `took`.
bool timed_call(op o, workload &w, long iteration, double &took) {
  if (op_has_prepare(o) && !op_prepare(o, w))
    return false;
  steady::time_point start = steady::now();
  bool ok = op_call(o, w, iteration);
  took = seconds_between(start, steady::now());
  return ok && (!op_has_reset(o) || op_reset(o, w));
}

bool timed_floor(const floor_plan &plan, double &took) {
  steady::time_point start = steady::now();
  bool ok = replay(plan);
  took = seconds_between(start, steady::now());
  return ok;
}

// Brings the workload to the state the timed calls start from, with every file in place,
// and takes the floor's plan from one call of the operation.
bool warm_up(op o, workload &w, floor_plan &plan) {
  w.enter();
  if (!op_prepare(o, w) || !op_call(o, w, 0))
    return false;
  plan = plan_for(o, w);
  return op_reset(o, w);
}

void paired_run(benchmark::State &state, op o, workload_size size) {
  workload &w = workload_for(size);
  floor_plan plan;
  if (!warm_up(o, w, plan))
    return fail(state, env_last_error());
  pair_times times;
  long iteration = 1;
  for (auto _ : state) {
    double lib = 0, flo = 0;
    if (!timed_call(o, w, iteration++, lib))
      return fail(state, env_last_error());
    if (!timed_floor(plan, flo))
      return fail(state, "a floor call failed");
    times.add(state, lib, flo);
  }
  times.report(state);
  w.drop_new_backups();
}

// kenv restore --latest at `size.backups` backups against the bare listing of that folder
// plus the same command at 10 backups.
void kenv_run(benchmark::State &state, op, workload_size size) {
  workload &w = workload_for(size);
  workload &few = workload_for({size.vars, size.path, 10});
  std::vector<std::string> names;
  pair_times times;
  auto timed_kenv = [](workload &at, double &took) {
    at.enter();
    steady::time_point start = steady::now();
    bool ok = run_kenv_restore_latest();
    took = seconds_between(start, steady::now());
    return ok;
  };
  double unused = 0;
  if (!timed_kenv(few, unused) || !timed_kenv(w, unused))
    return fail(state, "kenv restore --latest failed");
  for (auto _ : state) {
    double lib = 0, listing = 0, flo = 0;
    if (!timed_kenv(w, lib))
      return fail(state, "kenv restore --latest failed");
    steady::time_point start = steady::now();
    bool listed = floor_list(w.backup_dir(), names);
    listing = seconds_between(start, steady::now());
    if (!listed || !timed_kenv(few, flo))
      return fail(state, "the floor of kenv restore --latest failed");
    times.add(state, lib, listing + flo);
  }
  times.report(state);
  w.enter();
  state.counters["library_kib"] = static_cast<double>(kenv_restore_latest_peak_kib());
  few.enter();
  state.counters["floor_kib"] = static_cast<double>(kenv_restore_latest_peak_kib());
  w.drop_new_backups();
  few.drop_new_backups();
}

// Two documents of `vars` variables that differ in the first value only.
std::string apply_document(const workload &w, int vars, int which) {
  std::string path = w.home() + "/apply-" + std::to_string(which) + ".json";
  std::string text = R"({"format": "kenv-state/1", "scope": "user", "vars": [)";
  for (int i = 0; i < vars; ++i)
    text += std::string(i ? "," : "") + "\n" + R"({"name": "BENCH_APPLY_)" + std::to_string(i) +
            R"(", "value": ")" +
            (i       ? "value-" + std::to_string(i)
             : which ? "x"
                     : "y") +
            R"("})";
  text += "], \"path\": []}\n";
  std::FILE *f = std::fopen(path.c_str(), "w");
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f)
    ok = std::fclose(f) == 0 && ok;
  return ok ? path : "";
}

// kenv apply of a document of size.vars variables against kenv set of one variable.
void kenv_apply_run(benchmark::State &state, op, workload_size size) {
  workload &w = workload_for(size);
  w.enter();
  std::string docs[2] = {apply_document(w, size.vars, 0), apply_document(w, size.vars, 1)};
  if (docs[0].empty() || docs[1].empty() || !run_kenv_apply(docs[0]) || !run_kenv_set("BENCH_SET", "y"))
    return fail(state, "kenv apply or kenv set failed");
  pair_times times;
  long iteration = 1;
  for (auto _ : state) {
    int which = static_cast<int>(iteration++ % 2);
    steady::time_point start = steady::now();
    bool applied = run_kenv_apply(docs[which]);
    steady::time_point middle = steady::now();
    bool set = run_kenv_set("BENCH_SET", which ? "x" : "y");
    steady::time_point end = steady::now();
    if (!applied || !set)
      return fail(state, "kenv apply or kenv set failed");
    times.add(state, seconds_between(start, middle), seconds_between(middle, end));
  }
  times.report(state);
  w.drop_new_backups();
}

void add(void (*run)(benchmark::State &, op, workload_size), op o, workload_size size, bool smoke) {
  std::string name = std::string(op_name(o)) + "/vars:" + std::to_string(size.vars) +
                     "/path:" + std::to_string(size.path) + "/backups:" + std::to_string(size.backups);
  auto *b = benchmark::RegisterBenchmark(name.c_str(), run, o, size);
  b->UseManualTime()->Unit(benchmark::kMicrosecond);
  if (smoke)
    b->Iterations(1)->Repetitions(1);
}

struct plan_sizes {
  std::vector<std::pair<int, int>> vars_and_path;
  int change_backups;
  std::vector<int> listing_backups;
  int kenv_backups;
};

plan_sizes sizes_for(bool smoke, bool all) {
  if (smoke)
    return {{{10, 10}}, 10, {10}, 10};
  plan_sizes s{{{200, 100}, {10000, 100}}, 1000, {1000, 50000}, 50000};
  if (all)
    for (int vars : {10, 200, 1000, 10000})
      for (int path : {10, 100, 1000})
        if (std::find(s.vars_and_path.begin(), s.vars_and_path.end(), std::make_pair(vars, path)) ==
            s.vars_and_path.end())
          s.vars_and_path.emplace_back(vars, path);
  return s;
}

void register_all(const plan_sizes &s, bool smoke) {
  const op ops[] = {op::list,     op::set_new,   op::set_existing, op::del,
                    op::path_add, op::path_move, op::restore};
  for (auto [vars, path] : s.vars_and_path)
    for (op o : ops)
      add(paired_run, o, {vars, path, s.change_backups}, smoke);
  auto [vars, path] = s.vars_and_path.front();
  for (int backups : s.listing_backups)
    add(paired_run, op::backups, {vars, path, backups}, smoke);
  if (*KENV_BIN) {
    add(kenv_run, op::kenv_restore_latest, {vars, path, s.kenv_backups}, smoke);
    for (auto [apply_vars, apply_path] : s.vars_and_path)
      add(kenv_apply_run, op::kenv_apply, {apply_vars, apply_path, s.change_backups}, smoke);
  }
}

bool take_flag(int &argc, char **argv, const char *flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) != 0)
      continue;
    for (int j = i; j + 1 < argc; ++j)
      argv[j] = argv[j + 1];
    --argc;
    return true;
  }
  return false;
}

} // namespace

} // namespace bench

int main(int argc, char **argv) {
  using namespace bench;
  bool smoke = take_flag(argc, argv, "--smoke");
  bool all = take_flag(argc, argv, "--all");
  if (!take_flag(argc, argv, "--allocator-defaults")) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
  }
  register_all(sizes_for(smoke, all), smoke);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  drop_workloads();
  return g_failed ? 1 : 0;
}

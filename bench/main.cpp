// kenv_bench: every operation of the library against its I/O floor, per workload size.
//
//   kenv_bench [--smoke] [--allocator-defaults] [benchmark flags]
//
// Each operation "NAME/vars:V/path:P" has a twin "floor:NAME/vars:V/path:P" that does only
// the file work the operation cannot avoid (see floor_plan.cpp). --smoke runs the smallest
// workload once per benchmark, to check that everything builds and runs. The exit status
// is 1 when any library call failed.
//
// Memory: glibc hands freed memory back to the system once the free space at the top of
// its heap passes a threshold that it adjusts to the largest blocks freed so far, so
// whether a call finds its memory still mapped depends on what ran before it. Each
// benchmark should measure the steady state of a caller that calls again and again, the
// same whatever order the benchmarks run in, so the process keeps freed memory (the
// thresholds are fixed high). --allocator-defaults leaves glibc's adaptive thresholds
// alone: a call that needs megabytes then pays for faulting them in again.
#include "floor_plan.h"
#include "ops.h"
#include "workload.h"

#include "kestrune_env.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <malloc.h>
#include <string>
#include <vector>

namespace bench {

namespace {

bool g_failed = false;

void fail(benchmark::State &state, const char *what) {
  g_failed = true;
  state.SkipWithError(what);
}

bool untimed(benchmark::State &state, bool (*step)(op, workload &), op o, workload &w) {
  state.PauseTiming();
  bool ok = step(o, w);
  state.ResumeTiming();
  return ok;
}

// Brings the workload to the state the timed calls start from, with every file in place.
bool warm_up(op o, workload &w) {
  w.enter();
  return op_prepare(o, w) && op_call(o, w, 0) && op_reset(o, w);
}

void library_run(benchmark::State &state, op o, workload_size size) {
  workload &w = workload_for(size);
  if (!warm_up(o, w))
    return fail(state, env_last_error());
  long iteration = 1;
  for (auto _ : state) {
    bool ok = !op_has_prepare(o) || untimed(state, op_prepare, o, w);
    ok = ok && op_call(o, w, iteration++);
    ok = ok && (!op_has_reset(o) || untimed(state, op_reset, o, w));
    if (!ok) {
      fail(state, env_last_error());
      break;
    }
  }
  w.drop_new_backups();
}

void floor_run(benchmark::State &state, op o, workload_size size) {
  workload &w = workload_for(size);
  w.enter();
  bool ok = op_prepare(o, w) && op_call(o, w, 0);
  floor_plan plan = plan_for(o, w);
  if (!ok || !op_reset(o, w))
    return fail(state, env_last_error());
  for (auto _ : state) {
    if (!replay(plan)) {
      fail(state, "a floor call failed");
      break;
    }
  }
  w.drop_new_backups();
}

struct plan_sizes {
  std::vector<int> vars;
  std::vector<int> paths;
  int backups;
};

void add(const std::string &name, void (*run)(benchmark::State &, op, workload_size), op o,
         workload_size size, bool smoke) {
  auto *b = benchmark::RegisterBenchmark(name.c_str(), run, o, size);
  b->UseRealTime()->Unit(benchmark::kMicrosecond);
  if (smoke)
    b->Iterations(1)->Repetitions(1);
}

void register_all(const plan_sizes &sizes, bool smoke) {
  const op ops[] = {op::list,     op::set_new,   op::set_existing, op::del,
                    op::path_add, op::path_move, op::restore,      op::backups};
  for (int vars : sizes.vars)
    for (int path : sizes.paths)
      for (op o : ops) {
        bool backups = o == op::backups;
        // The backups hold the store whatever the PATH; one PATH size is enough for them.
        if (backups && path != sizes.paths[sizes.paths.size() / 2])
          continue;
        workload_size size{vars, path, backups ? sizes.backups : 0};
        std::string name =
            std::string(op_name(o)) + "/vars:" + std::to_string(vars) + "/path:" + std::to_string(path);
        add(name, library_run, o, size, smoke);
        add("floor:" + name, floor_run, o, size, smoke);
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
  if (!take_flag(argc, argv, "--allocator-defaults")) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
  }
  plan_sizes sizes =
      smoke ? plan_sizes{{10}, {10}, 10} : plan_sizes{{10, 200, 1000, 10000}, {10, 100, 1000}, 1000};
  register_all(sizes, smoke);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  drop_workloads();
  return g_failed ? 1 : 0;
}

// kenv_gui_bench: how long kenv-gui takes from a reload (F5, a change, a change on disk) to
// showing a scope of 10,000 variables and 1,000 PATH entries: both listings and the backups
// read on the worker thread, every model filled, and the window laid out and painted. The
// target is 300 ms, with and without a thousand backups. `--smoke` runs it once at 200 variables and 100
// entries, untimed.
#include "main_window.h"
#include "workload.h"

#include <QApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

void reload_and_paint(MainWindow &window) {
  QEventLoop loop;
  QObject::connect(&window, &MainWindow::reloaded, &loop, &QEventLoop::quit);
  window.reload();
  loop.exec();
  window.grab();
}

void gui_reload(benchmark::State &state, bench::workload_size size) {
  bench::workload_for(size).enter();
  MainWindow window;
  window.resize(1100, 700);
  window.show();
  reload_and_paint(window);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    reload_and_paint(window);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["vars"] = static_cast<double>(window.user()->variables()->model().vars().size());
  state.counters["path"] = static_cast<double>(window.user()->path()->model().entries().size());
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  bool smoke = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--smoke") == 0) {
      smoke = true;
      std::memmove(argv + i, argv + i + 1, sizeof(char *) * static_cast<std::size_t>(argc - i));
      --argc;
      break;
    }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  // Without backups, and with years of them: the Backups page says what each of the newest
  // changes did, which a reload works out from the backups taken since the last one.
  for (int backups : {0, smoke ? 20 : 1000}) {
    bench::workload_size size =
        smoke ? bench::workload_size{200, 100, backups} : bench::workload_size{10000, 1000, backups};
    std::string name = "gui_reload/" + std::to_string(size.vars) + "_vars/" + std::to_string(size.path) +
                       "_path/" + std::to_string(backups) + "_backups";
    auto *b = benchmark::RegisterBenchmark(name.c_str(), gui_reload, size);
    b->UseManualTime()->Unit(benchmark::kMillisecond);
    if (smoke)
      b->Iterations(1);
    else
      b->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::drop_workloads();
  return 0;
}

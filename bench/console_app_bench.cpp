// Cost of one readOutput(100) on a child that prints nothing: the monitor
// calls it on every timer tick, so it must sleep through its polls rather than
// spin. Expected: wall time about 100 ms, CPU time well under 1 ms.

#include <time.h>

#include <benchmark/benchmark.h>

#include "process/console_app.h"

namespace {

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_ReadOutputSilentChild(benchmark::State& state) {
  quorvex::TConsoleApp app(u"", u"sleep 600", u"");
  app.run();
  double cpu = 0;
  for (auto _ : state) {
    const double before = processCpuSeconds();
    auto text = app.readOutput(100);
    cpu += processCpuSeconds() - before;
    benchmark::DoNotOptimize(text);
    if (!text.empty()) state.SkipWithError("the silent child printed something");
  }
  // Whole process, so time spent in any thread counts.
  state.counters["process_cpu_us"] =
      benchmark::Counter(cpu * 1e6, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReadOutputSilentChild)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();

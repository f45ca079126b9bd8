// The history at the size of a large installation: 1,000,000 results of 200
// servers (a test every 5 minutes for 17 days). Writing one result, the
// report and the status page are measured on that file; its size per million
// results is shown as a counter.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "history/history_report.h"
#include "history/history_store.h"
#include "history/status_page.h"
#include "history/uptime_figures.h"
#include "platform/text.h"
#include "support/temp_folder.h"

namespace {

using namespace quorvex;

constexpr int kServers = 200;
constexpr int kResults = 1'000'000;
constexpr int64_t kPeriodMs = 5 * 60'000;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// One file for every benchmark of the run, filled once.
struct THistoryFile {
  THistoryFile() {
    const int64_t rounds = kResults / kServers;
    start = nowMs() - rounds * kPeriodMs;
    store = std::make_unique<THistoryStore>(
        path, [](const std::u16string&) {}, THistoryStore::TOptions{}, start);
    std::vector<THistoryResult> batch;
    for (int64_t round = 0; round < rounds; ++round) {
      for (int server = 0; server < kServers; ++server) {
        // Every 23rd server fails one round in 40, in runs of a few.
        const bool down = server % 23 == 0 && round % 40 < 3;
        batch.push_back({fromUtf8("vpn" + std::to_string(server)), down ? u"Failed" : u"Successful",
                         down ? u"timed out" : u"", start + round * kPeriodMs + server * 1000,
                         down ? 90'000 : 1500 + (round * 37 + server * 11) % 2000});
      }
      if (batch.size() >= 20'000) {
        store->record(batch);
        batch.clear();
      }
    }
    store->record(batch);
    next = start + rounds * kPeriodMs;
  }

  quorvex::test::TempFolder folder{"quorvex-history-bench"};
  std::string path = folder / "history.sqlite";
  std::unique_ptr<THistoryStore> store;
  int64_t start = 0;
  int64_t next = 0;
};

THistoryFile& historyFile() {
  static THistoryFile file;
  return file;
}

void BM_WriteOneResult(benchmark::State& state) {
  THistoryFile& file = historyFile();
  int server = 0;
  for (auto _ : state) {
    file.store->record(THistoryResult{fromUtf8("vpn" + std::to_string(server)), u"Successful", u"",
                                      file.next, 1800});
    server = (server + 1) % kServers;
    file.next += 1000;
  }
  // The database itself; its write-ahead log is reused, not grown, once the
  // pages it holds are copied back.
  const double millions = static_cast<double>(file.store->resultCount()) / 1e6;
  state.counters["MB_per_million_results"] =
      static_cast<double>(std::filesystem::file_size(file.path)) / 1e6 / millions;
  const std::string wal = file.path + "-wal";
  state.counters["wal_MB"] =
      std::filesystem::exists(wal) ? static_cast<double>(std::filesystem::file_size(wal)) / 1e6 : 0;
}
BENCHMARK(BM_WriteOneResult)->Unit(benchmark::kMicrosecond);

void BM_Report(benchmark::State& state) {
  THistoryFile& file = historyFile();
  for (auto _ : state) {
    const auto figures = historyFigures(*file.store, {.nowMs = file.next});
    benchmark::DoNotOptimize(reportTable(figures));
  }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

void BM_ReportJson(benchmark::State& state) {
  THistoryFile& file = historyFile();
  for (auto _ : state) {
    const auto figures = historyFigures(*file.store, {.nowMs = file.next});
    benchmark::DoNotOptimize(reportJson(figures));
  }
}
BENCHMARK(BM_ReportJson)->Unit(benchmark::kMillisecond);

void BM_StatusPage(benchmark::State& state) {
  THistoryFile& file = historyFile();
  const std::string page = file.folder / "status.html";
  for (auto _ : state)
    writeStatusPage(page, historyFigures(*file.store, {.nowMs = file.next, .days = true}),
                    file.next);
  state.counters["page_kB"] = static_cast<double>(std::filesystem::file_size(page)) / 1e3;
}
BENCHMARK(BM_StatusPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

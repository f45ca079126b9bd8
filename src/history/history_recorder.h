#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "history/uptime_figures.h"

namespace quorvex {

// Turns a front end's status changes into results for the history, and
// rewrites the status page after them. A test's start is its wall-clock
// time; its duration is measured on the monotonic clock.
class THistoryRecorder {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  // `names`: the servers in catalogue order; `statusPage`: the page's path
  // in the file system's bytes, none for no page. With `batched`, results are
  // written when a batch is done (verdicts that came together, in one
  // transaction), else each at once.
  THistoryRecorder(std::vector<std::u16string> names, std::unique_ptr<THistoryStore> store,
                   std::optional<std::string> statusPage, THistoryStore::Notice notice,
                   bool batched = false);
  ~THistoryRecorder();

  void started(int row, int64_t wallMs, TimePoint monotonic);
  // A verdict: "Successful", "Failed" or "Failed to start". Other words
  // (Interrupted) end the test without a result.
  void ended(int row, const std::u16string& status, const std::u16string& reason, int64_t wallMs,
             TimePoint monotonic);
  void batchDone();

  // Told the figures of every server after each write (the metrics
  // file's gauges, the window's History page).
  using FiguresListener = std::function<void(const std::vector<TServerFigures>&)>;
  void setFiguresListener(FiguresListener listener) { _figuresListener = std::move(listener); }

  // Writes the status page and tells the figures from the history now (the
  // servers are known before any test ends).
  void refresh(int64_t nowMs);
  THistoryStore& store() { return *_store; }

 private:
  struct TStart {
    int64_t wallMs;
    TimePoint monotonic;
  };
  void flush(int64_t nowMs);

  std::vector<std::u16string> _names;
  std::vector<std::optional<TStart>> _starts;
  std::unique_ptr<THistoryStore> _store;
  std::optional<std::string> _statusPage;
  THistoryStore::Notice _notice;
  bool _batched;
  std::vector<THistoryResult> _pending;
  int64_t _lastMs = 0;
  FiguresListener _figuresListener;
  bool _pageFailed = false;
  bool _figuresFailed = false;
};

}  // namespace quorvex

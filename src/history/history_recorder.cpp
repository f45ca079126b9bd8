#include "history/history_recorder.h"

#include "history/status_page.h"
#include "history/uptime_figures.h"
#include "platform/text.h"

namespace quorvex {

THistoryRecorder::THistoryRecorder(std::vector<std::u16string> names,
                                   std::unique_ptr<THistoryStore> store,
                                   std::optional<std::string> statusPage,
                                   THistoryStore::Notice notice, bool batched)
    : _names(std::move(names)),
      _starts(_names.size()),
      _store(std::move(store)),
      _statusPage(std::move(statusPage)),
      _notice(std::move(notice)),
      _batched(batched) {}

THistoryRecorder::~THistoryRecorder() {
  if (!_pending.empty()) flush(_lastMs);
}

void THistoryRecorder::started(int row, int64_t wallMs, TimePoint monotonic) {
  _starts.at(static_cast<size_t>(row)) = TStart{wallMs, monotonic};
}

void THistoryRecorder::ended(int row, const std::u16string& status, const std::u16string& reason,
                             int64_t wallMs, TimePoint monotonic) {
  std::optional<TStart>& start = _starts.at(static_cast<size_t>(row));
  const bool verdict =
      status == u"Successful" || status == u"Failed" || status == u"Failed to start";
  if (verdict) {
    // A test that could not start may have no Running before it.
    const TStart from = start.value_or(TStart{wallMs, monotonic});
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(monotonic - from.monotonic).count();
    _pending.push_back({_names.at(static_cast<size_t>(row)), status,
                        status == u"Successful" ? std::u16string() : reason, from.wallMs,
                        std::max<int64_t>(duration, 0)});
    _lastMs = wallMs;
  }
  start.reset();
  if (verdict && !_batched) flush(wallMs);
}

void THistoryRecorder::batchDone() {
  if (!_pending.empty()) flush(_lastMs);
}

void THistoryRecorder::flush(int64_t nowMs) {
  _store->record(_pending);
  _pending.clear();
  refresh(nowMs);
}

void THistoryRecorder::refresh(int64_t nowMs) {
  if (!_statusPage && !_figuresListener) return;
  // Each trouble is said once, until it is over.
  std::vector<TServerFigures> figures;
  try {
    figures = historyFigures(*_store, {.nowMs = nowMs, .days = _statusPage.has_value()});
    _figuresFailed = false;
  } catch (const std::exception& e) {
    if (!_figuresFailed) _notice(u"The history cannot be read: " + fromUtf8(e.what()));
    _figuresFailed = true;
    return;
  }
  if (_figuresListener) _figuresListener(figures);
  if (!_statusPage) return;
  try {
    writeStatusPage(*_statusPage, figures, nowMs);
    _pageFailed = false;
  } catch (const std::exception& e) {
    if (!_pageFailed) _notice(fromUtf8(e.what()) + u"; the status page is not written");
    _pageFailed = true;
  }
}

}  // namespace quorvex

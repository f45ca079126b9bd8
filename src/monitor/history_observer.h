#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "history/history_recorder.h"
#include "monitor/observer.h"
#include "settings/settings.h"

namespace quorvex {

// The history as one more observer: every verdict becomes a result in the
// database, and the status page is rewritten after it. Trouble is reported
// on `err` and never stops the monitor.
class THistoryObserver final : public IMonitorObserver {
 public:
  // Raises EHistoryError when no history file can be opened at all.
  THistoryObserver(const TSettings& settings, const std::u16string& historyFile,
                   const std::optional<std::u16string>& statusPage, THistoryStore::Notice notice,
                   const TClock& clock, bool batched);

  void statusChanged(const TStatusChange& change) override;
  void batchDone() override { _recorder.batchDone(); }

  THistoryRecorder& recorder() { return _recorder; }

 private:
  THistoryRecorder _recorder;
};

// Milliseconds since the epoch, as the history keeps times.
int64_t historyTime(TWallTime time);

}  // namespace quorvex

#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "history/uptime_figures.h"
#include "monitor/metrics_file.h"
#include "monitor/observer.h"
#include "monitor/outage_book.h"
#include "monitor/outage_state_file.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace quorvex {

// A file rewritten whole after each change. When many tests run at once it is
// written at most once a second while results arrive (and once at the end,
// through flush): a thousand servers would otherwise mean a thousand writes
// of a thousand entries per cycle.
class TBatchedWrite {
 public:
  TBatchedWrite(const TClock& clock, std::function<void()> write)
      : _clock(clock), _write(std::move(write)) {}

  void changed();
  void batch() { _batched = true; }
  void flush(bool force);

 private:
  static constexpr auto kBatchInterval = std::chrono::seconds(1);
  const TClock& _clock;
  std::function<void()> _write;
  bool _batched = false;
  bool _dirty = false;
  std::optional<TClock::TimePoint> _written;
};

// Outages carried between runs through the state file. Trouble with the file
// is reported once and never stops the monitor: it then runs as if it had
// no memory.
class TKeptOutages final : public IMonitorObserver {
 public:
  TKeptOutages(const TSettings& settings, std::u16string fileName, std::ostream& err,
               const TClock& clock, bool batched);
  ~TKeptOutages() override { _saves.flush(true); }

  void restoreInto(TOutageBook& outages);
  void outageChanged(int row, const TOutageState& state) override;
  void batchDone() override { _saves.flush(false); }

 private:
  void save();

  const TSettings& _settings;
  TOutageStateFile _file;
  std::ostream& _err;
  TOutageStates _states;
  bool _saveFailed = false;
  TBatchedWrite _saves;
};

// The metrics file, rewritten after every status change and alert. Trouble
// with the file is reported once and never stops the monitor.
class TKeptMetrics final : public IMonitorObserver {
 public:
  TKeptMetrics(const TSettings& settings, const std::u16string& fileName, std::ostream& err,
               const TClock& clock, bool batched);
  ~TKeptMetrics() override { _writes.flush(true); }

  void statusChanged(const TStatusChange& change) override;
  void deliveryDone(const TDeliveryOutcome& outcome) override;
  void batchDone() override { _writes.flush(false); }
  // The uptime gauges, from the history's figures (matched by name).
  void historyFigures(const std::vector<TServerFigures>& figures);
  void write();

 private:
  std::map<std::u16string, int> _rows;  // by server name
  TMetricsFile _metrics;
  std::ostream& _err;
  bool _writeFailed = false;
  TBatchedWrite _writes;
};

}  // namespace quorvex

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "monitor/verdict.h"

namespace quorvex {

// The headless monitor's figures in the Prometheus text format, for a
// textfile collector: per server whether it is up, when its last test ended,
// how long that test took, why it failed and how many alerts went out for it.
class TMetricsFile {
 public:
  // names: the servers in catalogue order; path: the file, in the file
  // system's bytes.
  TMetricsFile(std::vector<std::u16string> names, std::string path);

  // A row's new status; `wallTime` is now in seconds since the epoch and
  // `now` the steady clock, which times the test. `failureReason`: the
  // reason's word when the test failed.
  void statusChanged(int row, TVerdict verdict, double wallTime,
                     std::chrono::steady_clock::time_point now,
                     const std::u16string& failureReason = {});
  void alertSent(int row);
  // The notifiers whose notifications are counted, each from 0.
  void setNotifiers(std::vector<std::u16string> names);
  // A notification of that notifier went out for the row's server.
  void notificationSent(int row, const std::u16string& notifier);

  // A server's figures from the history: uptime in percent over 24 hours, 7
  // and 30 days (none without tests), outages of the last 30 days and the
  // median and 95th percentile of the day's connect times.
  struct THistoryGauges {
    std::optional<double> uptime24h{}, uptime7d{}, uptime30d{};
    long long outages30d = 0;
    std::optional<double> connectMedian{}, connectP95{};
  };
  void historyChanged(int row, const THistoryGauges& gauges);

  std::string text() const;

  // Replaces the file whole (a reader sees the old or the new one, never a
  // mix). Raises the settings layer's file error.
  void write() const;

 private:
  struct TServerFigures {
    std::optional<bool> up;
    std::optional<double> lastTest;
    std::optional<double> duration;
    std::optional<std::chrono::steady_clock::time_point> started;
    long long alerts = 0;
    std::u16string failure;  // the reason while the last result is a failure
    std::optional<THistoryGauges> history;
  };
  std::vector<std::u16string> _names;
  std::vector<std::u16string> _notifiers;
  std::vector<std::vector<long long>> _notifications;  // [server][notifier]
  std::vector<TServerFigures> _figures;
  std::string _path;
};

}  // namespace quorvex

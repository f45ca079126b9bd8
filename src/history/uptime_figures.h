#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

class THistoryStore;

// The results of one hour or one day of a server.
struct THistoryCell {
  int64_t up = 0;
  int64_t down = 0;
};

// One server's figures at a moment. Uptime is the share of its tests in the
// period that were "Successful" ("Failed to start" counts neither way); none
// when it had no test then.
struct TServerFigures {
  std::u16string server;
  std::optional<double> uptime24h, uptime7d, uptime30d;  // percent
  int64_t outages30d = 0;       // outages that lasted into the last 30 days
  int64_t longestOutageMs = 0;  // the longest of them, to its end or to now
  bool down = false;            // in an outage now
  // Time to "Initialization Sequence Completed" of the successful tests of
  // the last 24 hours: the median, and the 95th percentile by nearest rank.
  std::optional<double> connectMedianS, connectP95S;
  std::u16string lastStatus, lastReason;
  std::optional<int64_t> lastTimeMs;
  std::vector<THistoryCell> hours;  // the last 24 hours, oldest first (the current hour last)
  std::vector<THistoryCell> days;   // the last 90 days (UTC), when asked for
};

struct TFiguresRequest {
  int64_t nowMs;
  bool days = false;  // fill TServerFigures::days
};

// Every server with a result in the last 90 days, ordered by name without
// regard to case. Raises EHistoryError.
std::vector<TServerFigures> historyFigures(THistoryStore& store, const TFiguresRequest& request);

inline constexpr int kStripHours = 24;
inline constexpr int kStripDays = 90;

// Percentiles of connect times (ms), as the figures give them; none for none.
std::optional<double> medianSeconds(std::vector<int64_t> values);
std::optional<double> nearestRankSeconds(std::vector<int64_t> values, int percent);

}  // namespace quorvex

#pragma once

#include <chrono>
#include <optional>

#include "platform/date_time.h"

namespace quorvex {

// The system's one seam for time. Elapsed periods (a test's time-out, the
// repeat period) are measured on the monotonic clock, so that a clock
// adjustment cannot stretch or cut them; the local wall clock and its zone are
// only for what is shown or sent. Tests pass a clock of their own.
class TClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using WallTime = std::chrono::system_clock::time_point;

  virtual ~TClock() = default;
  virtual TimePoint MonotonicNow() const;
  // Local wall-clock time, to the millisecond.
  virtual TDateTime Now() const;
  // The same instant without a zone, for what must outlast the program (an
  // outage that spans runs).
  virtual WallTime WallNow() const;
  // Minutes east of UTC in effect now (daylight saving included), or none when
  // the zone cannot be read.
  virtual std::optional<int> LocalZoneOffset() const;

  static const TClock& System();
};

}  // namespace quorvex

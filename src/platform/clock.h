#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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

  // Runs `wait`, a wait on descriptors that gives up after the timeout in
  // milliseconds it is given, and returns its result (0: nothing ready). The
  // system clock lets it wait; a test's clock calls it without waiting and,
  // when nothing was ready, moves its own time on by the timeout instead.
  virtual int Wait(const std::function<int(int timeoutMs)>& wait, int timeoutMs) const;
  // Blocks for timeoutMs (nothing for 0 or less), through Wait.
  void Sleep(int timeoutMs) const;

  // A millisecond tick counter on the monotonic clock. It wraps around like a
  // 32-bit counter, so differences must go through TicksBetween.
  std::uint32_t TickCount() const;

  static const TClock& System();
};

// Milliseconds from AOldTick to ANewTick, across one wrap-around.
std::uint32_t TicksBetween(std::uint32_t AOldTick, std::uint32_t ANewTick);

}  // namespace quorvex

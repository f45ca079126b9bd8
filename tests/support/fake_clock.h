#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "platform/clock.h"

namespace quorvex::test {

// A clock that moves only when the test moves it: the local time and zone stay
// where they are set, the monotonic time goes on by advance().
class TFakeClock final : public TClock {
 public:
  explicit TFakeClock(TDateTime now = EncodeDateTime(2026, 1, 1),
                      std::optional<int> offsetMinutes = 0)
      : now(now), offsetMinutes(offsetMinutes) {}

  TimePoint MonotonicNow() const override { return monotonic; }
  TDateTime Now() const override { return now; }
  WallTime WallNow() const override { return wall; }
  std::optional<int> LocalZoneOffset() const override { return offsetMinutes; }
  // Looks without waiting; a wait that finds nothing lasts its whole timeout.
  int Wait(const std::function<int(int timeoutMs)>& wait, int timeoutMs) const override {
    const int ready = wait(0);
    if (ready == 0 && timeoutMs > 0) monotonic += std::chrono::milliseconds(timeoutMs);
    ++waits;
    return ready;
  }

  void advance(double seconds) const {
    monotonic += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
  }

  mutable TimePoint monotonic{std::chrono::hours(1000)};
  mutable int waits = 0;
  WallTime wall{std::chrono::hours(24 * 365 * 50)};
  TDateTime now;
  std::optional<int> offsetMinutes;
};

}  // namespace quorvex::test

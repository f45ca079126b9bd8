#pragma once

#include <chrono>
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

  void advance(double seconds) {
    monotonic += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
  }

  TimePoint monotonic{std::chrono::hours(1000)};
  WallTime wall{std::chrono::hours(24 * 365 * 50)};
  TDateTime now;
  std::optional<int> offsetMinutes;
};

}  // namespace quorvex::test

#include "platform/waiter.h"

#include <algorithm>
#include <climits>

namespace quorvex {

int TWaiter::millisecondsPast(TClock::TimePoint from, TClock::TimePoint to) {
  if (to < from) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(to - from).count() + 1;
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

void TWaiter::wait(std::optional<TClock::TimePoint> until, int longestMs,
                   std::vector<TPollSet::TKey>& ready) {
  int timeoutMs = std::max(0, longestMs);
  if (until) timeoutMs = std::min(timeoutMs, millisecondsPast(_clock.MonotonicNow(), *until));
  // Bounded by timeoutMs.
  _clock.Wait(
      [this, &ready](int ms) {
        _waits.wait(ms, ready);
        return static_cast<int>(ready.size());
      },
      timeoutMs);
}

}  // namespace quorvex

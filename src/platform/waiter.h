#pragma once

#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/poll_set.h"

namespace quorvex {

// The one wait of a loop: on the descriptors of a poll set, until a moment
// on the clock has passed (strictly: a time-out "passed" only once exceeded)
// and never longer than a bound. It waits through the clock, so a test's
// clock makes it return at once with its time moved on.
class TWaiter {
 public:
  TWaiter(TPollSet& waits, const TClock& clock) : _waits(waits), _clock(clock) {}

  // Waits until something in the set is ready, `until` has passed or
  // longestMs has gone by, whichever comes first; the keys of what is ready
  // go to `ready`.
  void wait(std::optional<TClock::TimePoint> until, int longestMs,
            std::vector<TPollSet::TKey>& ready);

  // Milliseconds from `from` until `to` has strictly passed: rounded up,
  // and one more.
  static int millisecondsPast(TClock::TimePoint from, TClock::TimePoint to);

  const TClock& clock() const { return _clock; }

 private:
  TPollSet& _waits;
  const TClock& _clock;
};

}  // namespace quorvex

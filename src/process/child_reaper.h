#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/poll_set.h"
#include "process/console_process.h"

namespace quorvex {

// Children being ended side by side, so that none waits for another: each is
// asked to end (SIGTERM) when handed over, is killed when it is still there
// after its grace period, and is released (reaped) as soon as it has ended.
// Their end descriptors wait in the caller's poll set.
class TChildReaper {
 public:
  using Child = std::unique_ptr<IConsoleProcess>;

  TChildReaper(TPollSet& waits, const TClock& clock,
               std::chrono::milliseconds grace = kTerminateGrace);
  // Ends every child still here (see endAll).
  ~TChildReaper();
  TChildReaper(const TChildReaper&) = delete;
  TChildReaper& operator=(const TChildReaper&) = delete;

  void add(Child child);
  size_t size() const { return _children.size(); }
  bool owns(const TPollSet::TKey& key) const { return key.owner == this; }

  // The wait reported this key of ours: that child has ended.
  void ended(const TPollSet::TKey& key);
  // Kills those whose grace has run out and releases those seen ended
  // without a descriptor. Cheap when nothing is due.
  void collect();
  // When collect has something to do next; none when nothing is pending.
  std::optional<TClock::TimePoint> nextDue() const;

  // Waits until every child has ended, killing each whose grace runs out:
  // bounded by twice the grace period. Only this reaper's descriptors may be
  // ready in the poll set meanwhile.
  void endAll();

 private:
  struct TEnding {
    Child child;
    int fd;  // its end descriptor, or -1
    bool killed = false;
  };

  void release(std::uint64_t id);
  // Keeps the first entry of _due one of a child still here.
  void dropGoneFromDue();

  TPollSet& _waits;
  const TClock& _clock;
  const std::chrono::milliseconds _grace;
  std::map<std::uint64_t, TEnding> _children;  // by hand-over order
  // When each child is due for its kill (or, once killed, for release): in
  // hand-over order, which is also the order of the times. Entries of
  // children already gone are dropped once they come first.
  std::deque<std::pair<TClock::TimePoint, std::uint64_t>> _due;
  size_t _withoutFd = 0;
  std::uint64_t _nextId = 0;
  std::vector<TPollSet::TKey> _ready;
};

}  // namespace quorvex

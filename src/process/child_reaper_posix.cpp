#include "process/child_reaper.h"

#include <algorithm>
#include <climits>

namespace quorvex {

namespace {

// A child without an end descriptor is looked at this often.
constexpr auto kLookStep = std::chrono::milliseconds(100);

}  // namespace

TChildReaper::TChildReaper(TPollSet& waits, const TClock& clock, std::chrono::milliseconds grace)
    : _waits(waits), _clock(clock), _grace(grace) {}

TChildReaper::~TChildReaper() { endAll(); }

void TChildReaper::add(Child child) {
  if (!child) return;
  child->requestStop();
  // One that has ended already is collected at once; that never waits.
  if (!child->isRunning()) return;
  const std::uint64_t id = _nextId++;
  const int fd = child->endHandle();
  if (fd >= 0) {
    _waits.add(fd, {this, id});
  } else {
    ++_withoutFd;
  }
  _children.emplace(id, TEnding{std::move(child), fd});
  _due.emplace_back(_clock.MonotonicNow() + _grace, id);
}

void TChildReaper::ended(const TPollSet::TKey& key) {
  if (owns(key)) release(key.id);
  dropGoneFromDue();
}

void TChildReaper::dropGoneFromDue() {
  while (!_due.empty() && !_children.contains(_due.front().second)) _due.pop_front();
}

void TChildReaper::release(std::uint64_t id) {
  const auto found = _children.find(id);
  if (found == _children.end()) return;
  if (found->second.fd >= 0) {
    _waits.remove(found->second.fd);
  } else {
    --_withoutFd;
  }
  // The child has ended or been killed: releasing it only collects it.
  _children.erase(found);
}

void TChildReaper::collect() {
  if (_withoutFd > 0) {
    std::vector<std::uint64_t> gone;
    for (auto& [id, ending] : _children)
      if (ending.fd < 0 && !ending.child->isRunning()) gone.push_back(id);
    for (const std::uint64_t id : gone) release(id);
  }
  const auto now = _clock.MonotonicNow();
  while (!_due.empty() && _due.front().first <= now) {
    const std::uint64_t id = _due.front().second;
    _due.pop_front();
    const auto found = _children.find(id);
    if (found == _children.end()) continue;
    if (!found->second.killed) {
      found->second.child->forceStop();
      found->second.killed = true;
      // A killed child ends at once; should it not, it is collected anyway.
      _due.emplace_back(now + _grace, id);
    } else {
      release(id);
    }
  }
  dropGoneFromDue();
}

std::optional<TClock::TimePoint> TChildReaper::nextDue() const {
  std::optional<TClock::TimePoint> next;
  if (!_due.empty()) next = _due.front().first;
  if (_withoutFd > 0) {
    const auto look = _clock.MonotonicNow() + kLookStep;
    next = next ? std::min(*next, look) : look;
  }
  return next;
}

void TChildReaper::endAll() {
  while (!_children.empty()) {
    collect();
    if (_children.empty()) break;
    const auto next = nextDue();
    int timeoutMs = 0;
    if (next) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - _clock.MonotonicNow());
      timeoutMs = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
    }
    // Bounded by the next kill or release; each child is released at the latest then.
    _waits.wait(timeoutMs, _ready);
    for (const auto& key : _ready) ended(key);
  }
}

}  // namespace quorvex

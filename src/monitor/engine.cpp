#include "monitor/engine.h"

#include <algorithm>
#include <climits>

#include "platform/open_files.h"

namespace quorvex {

namespace {

// The timer's read: a silent child costs a tick about this long.
constexpr int kTickReadTimeoutMs = 100;
// A child that offers nothing to wait on is looked at this often.
constexpr int kUnwaitableStepMs = 100;
// Longest single wait: every wait is bounded, whatever is pending.
constexpr int kLongestWaitMs = 1000;
// Descriptors of one test: the terminal's two sides, the pidfd and the report
// of the start (the start needs one more for a moment, kept in the reserve).
constexpr long kFilesPerTest = 4;
// Standard streams, the stop pipe, the mail connection, the state file, the
// settings file, shared libraries, and room to spare.
constexpr long kReservedFiles = 32;
// The stop descriptor's key, and those of the watched ones, in the poll set.
constexpr std::uint64_t kStopId = UINT64_MAX;
constexpr std::uint64_t kWatchedId = UINT64_MAX - 1;

}  // namespace

int maxJobsByOpenFiles() {
  const TOpenFileLimit limit = openFileLimit();
  if (!limit.soft) return INT_MAX;
  const long long usable = *limit.soft - kReservedFiles;
  return static_cast<int>(std::clamp<long long>(usable / kFilesPerTest, 0, INT_MAX));
}

struct TMonitorEngine::TRunning {
  std::unique_ptr<TServerTest> test;
  std::vector<int> fds;  // in _waits while the test runs
  TClock::TimePoint wakeAt{};
};

TMonitorEngine::TMonitorEngine(const TSettings& settings, IMonitorControls& controls,
                               TProcessFactory processes, IMonitorObserver& observers,
                               const TClock& clock, int jobs)
    : _settings(settings),
      _controls(controls),
      _processes(std::move(processes)),
      _observers(observers),
      _clock(clock),
      _jobs(std::max(1, jobs)) {}

TMonitorEngine::~TMonitorEngine() { releaseAll(); }

// --- shared by both drives -------------------------------------------------

void TMonitorEngine::report(int row, TVerdict verdict, const TFailureReason& reason) {
  _observers.statusChanged(
      {row, verdict, reason, _clock.Now(), _clock.WallNow(), _clock.MonotonicNow()});
}

void TMonitorEngine::begin(int index, bool confirmed) {
  auto running = std::make_unique<TRunning>();
  running->test = std::make_unique<TServerTest>(_settings, index, _controls, _clock,
                                                [this, index](const std::u16string& text) {
                                                  // The memo holds one test's output; side by side
                                                  // it would be a mix.
                                                  if (_jobs == 1) _controls.appendOutput(text);
                                                  _observers.output(index, text);
                                                });
  if (const auto notStarted = running->test->start(_processes, confirmed)) {
    report(index, TVerdict::FailedToStart, *notStarted);
    return;
  }
  const std::uint64_t id = _nextId++;
  if (_waiting) {
    running->fds = running->test->waitHandles();
    for (int fd : running->fds) _waits.add(fd, {this, id});
    if (running->fds.empty()) _unwaitable.insert(id);
    running->wakeAt = running->test->wakeAt();
    _wakeUps.emplace(running->wakeAt, id);
  }
  _running.emplace(id, std::move(running));
  report(index, TVerdict::Running);
}

void TMonitorEngine::step(std::uint64_t id, int readTimeoutMs) {
  const auto found = _running.find(id);
  if (found == _running.end()) return;
  TRunning& running = *found->second;
  if (const auto outcome = running.test->step(readTimeoutMs)) {
    finish(id, *outcome);
    return;
  }
  if (!_waiting) return;
  const auto wakeAt = running.test->wakeAt();
  if (wakeAt == running.wakeAt) return;
  _wakeUps.erase({running.wakeAt, id});
  running.wakeAt = wakeAt;
  _wakeUps.emplace(wakeAt, id);
}

void TMonitorEngine::finish(std::uint64_t id, const TTestOutcome& outcome) {
  const auto found = _running.find(id);
  if (found == _running.end()) return;
  std::unique_ptr<TRunning> running = std::move(found->second);
  _running.erase(found);
  for (int fd : running->fds) _waits.remove(fd);
  _wakeUps.erase({running->wakeAt, id});
  _unwaitable.erase(id);
  const int row = running->test->index();
  // The child is told to end before any alert goes out. Driven by the
  // wait, it ends beside the others and the verdict does not wait for it.
  if (_waiting) _ending.add(running->test->takeChild());
  running.reset();
  report(row, outcome.verdict, outcome.reason);
}

void TMonitorEngine::releaseAll() {
  while (!_running.empty()) {
    const auto first = _running.begin();
    for (int fd : first->second->fds) _waits.remove(fd);
    _running.erase(first);
  }
  _wakeUps.clear();
  _unwaitable.clear();
}

bool TMonitorEngine::repeatDue(TClock::TimePoint now) const {
  // Passed only once strictly exceeded.
  const double minutes = std::chrono::duration<double>(now - _cycleStartTime).count() / 60.0;
  return minutes > _settings.RepeatPeriod();
}

TClock::TimePoint TMonitorEngine::repeatAt() const {
  return _cycleStartTime + std::chrono::minutes(_settings.RepeatPeriod());
}

void TMonitorEngine::enableControls() {
  _controls.setInputsEnabled(true);
  _controls.setStopEnabled(false);
}

// --- driven by a timer -----------------------------------------------------

void TMonitorEngine::start() {
  _controls.setInputsEnabled(false);
  _controls.setStopEnabled(true);
  _serverIndex = -1;
  _controls.setTimerEnabled(true);
}

void TMonitorEngine::stop() {
  _controls.setTimerEnabled(false);
  releaseAll();
  enableControls();
  // The run was interrupted at this server, whether or not its test had ended in
  // the last tick; while waiting to repeat the index names no server.
  if (_serverIndex >= 0 && _serverIndex < _settings.ServerCount())
    report(_serverIndex, TVerdict::Interrupted);
}

void TMonitorEngine::stopKeepingResults() {
  if (testing()) {
    stop();
    return;
  }
  _controls.setTimerEnabled(false);
  enableControls();
}

void TMonitorEngine::tick() {
  if (_running.empty()) {
    advance();
    if (_running.empty()) return;
  }
  // The tick that starts a child goes on to read it at once.
  step(_running.begin()->first, kTickReadTimeoutMs);
}

void TMonitorEngine::advance() {
  if (_serverIndex == -1) _cycleStartTime = _clock.MonotonicNow();
  // While waiting to repeat the index keeps rising; it stops short of overflowing.
  if (_serverIndex < INT32_MAX) ++_serverIndex;
  if (_serverIndex >= _settings.ServerCount()) {
    if (_controls.repeatChecked()) {
      if (repeatDue(_clock.MonotonicNow())) _serverIndex = -1;
    } else {
      _controls.setTimerEnabled(false);
      enableControls();
    }
    return;
  }
  _controls.setOutputText(u"");
  begin(_serverIndex, true);
}

// --- driven by its own wait ------------------------------------------------

void TMonitorEngine::watch(int fd, std::function<void()> onReadable) {
  _watched[fd] = std::move(onReadable);
  _waits.add(fd, {this, kWatchedId});
}

void TMonitorEngine::unwatch(int fd) {
  if (_watched.erase(fd) > 0) _waits.remove(fd);
}

std::optional<TClock::TimePoint> TMonitorEngine::nextWakeUp() const {
  std::optional<TClock::TimePoint> next;
  const auto sooner = [&next](TClock::TimePoint at) { next = next ? std::min(*next, at) : at; };
  // The nearest time-out (or end of a password's wait for its flush), so no
  // test is judged late.
  if (!_wakeUps.empty()) sooner(_wakeUps.begin()->first);
  if (const auto due = _ending.nextDue()) sooner(*due);
  return next;
}

bool TMonitorEngine::waitOnce(std::optional<TClock::TimePoint> until, int longestMs) {
  if (const auto next = nextWakeUp()) until = until ? std::min(*until, *next) : *next;
  if (!_unwaitable.empty()) longestMs = std::min(longestMs, kUnwaitableStepMs);
  // The one wait; any output, a child's end, a watched descriptor or a stop
  // ends it sooner.
  _waiter.wait(until, longestMs, _ready);
  _due.clear();
  bool stop = false;
  std::vector<int> readable;
  for (const auto& key : _ready) {
    if (key.owner != this) {
      _ending.ended(key);
    } else if (key.id == kStopId) {
      stop = true;
    } else if (key.id != kWatchedId) {
      _due.push_back(key.id);
    }
  }
  if (stop) return true;
  // Watched descriptors are few: each is looked at after a wait that found any.
  if (!_watched.empty() && !_ready.empty()) {
    std::vector<std::function<void()>> handlers;
    for (const auto& [fd, onReadable] : _watched) handlers.push_back(onReadable);
    for (const auto& handler : handlers) handler();
  }
  _ending.collect();
  const auto after = _clock.MonotonicNow();
  for (auto it = _wakeUps.begin(); it != _wakeUps.end() && after > it->first; ++it)
    _due.push_back(it->second);
  _due.insert(_due.end(), _unwaitable.begin(), _unwaitable.end());
  // Once each, in the order the tests started.
  std::sort(_due.begin(), _due.end());
  _due.erase(std::unique(_due.begin(), _due.end()), _due.end());
  return false;
}

void TMonitorEngine::stopAll() {
  while (!_running.empty()) finish(_running.begin()->first, TTestOutcome{TVerdict::Interrupted});
  _observers.batchDone();
  _ending.endAll();
}

bool TMonitorEngine::run(int stopFd) {
  const int count = _settings.ServerCount();
  _waits.add(stopFd, {this, kStopId});
  _waiting = true;
  // The stop stays readable: it must not wake the ending of the children.
  struct TStopWait {
    TMonitorEngine& engine;
    int fd;
    ~TStopWait() {
      engine._waits.remove(fd);
      engine._waiting = false;
    }
  } stopWait{*this, stopFd};

  _serverIndex = -1;
  _cycleStartTime = _clock.MonotonicNow();
  for (;;) {
    while (static_cast<int>(_running.size() + _ending.size()) < _jobs && _serverIndex + 1 < count)
      begin(++_serverIndex, false);

    std::optional<TClock::TimePoint> until;
    if (_running.empty() && _serverIndex + 1 >= count) {
      if (!_controls.repeatChecked()) return false;  // the children still ending end at release
      if (repeatDue(_clock.MonotonicNow())) {
        _cycleStartTime = _clock.MonotonicNow();
        _serverIndex = -1;
        continue;
      }
      // Bounded by the repeat period; a stop ends it at once.
      until = repeatAt();
    }
    if (waitOnce(until, kLongestWaitMs)) {
      _waits.remove(stopFd);
      stopAll();
      return true;
    }
    for (const std::uint64_t id : _due) step(id, 0);
    _observers.batchDone();
  }
}

bool TMonitorEngine::waitUntil(const std::function<bool()>& done, int stopFd) {
  _waits.add(stopFd, {this, kStopId});
  bool stopped = false;
  while (!done() && !stopped) stopped = waitOnce(std::nullopt, kLongestWaitMs);
  _waits.remove(stopFd);
  return stopped;
}

}  // namespace quorvex

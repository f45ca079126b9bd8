#include "app/parallel_run.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ostream>

#include "app/server_test.h"
#include "platform/open_files.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// A child that offers nothing to wait on is looked at this often.
constexpr int kUnwaitableStepMs = 100;
// A verbose line longer than this is written in pieces.
constexpr size_t kMaxVerboseLine = 4096;
// Descriptors of one test: the terminal's two sides, the pidfd and the report
// of the start (the start needs one more for a moment, kept in the reserve).
constexpr long kFilesPerTest = 4;
// Standard streams, the stop pipe, the mail connection, the state file, the
// settings file, shared libraries, and room to spare.
constexpr long kReservedFiles = 32;

int millisecondsUntil(TClock::TimePoint from, TClock::TimePoint to) {
  if (to <= from) return 0;
  // Rounded up, and one more: the time-out has passed only once strictly exceeded.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(to - from).count() + 1;
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

}  // namespace

int maxJobsByOpenFiles() {
  const TOpenFileLimit limit = openFileLimit();
  if (!limit.soft) return INT_MAX;
  const long long usable = *limit.soft - kReservedFiles;
  return static_cast<int>(std::clamp<long long>(usable / kFilesPerTest, 0, INT_MAX));
}

struct TParallelRun::TRunning {
  std::unique_ptr<TServerTest> test;
  std::string name;      // for verbose lines
  std::string pending;   // verbose: the start of a line not ended yet
  std::vector<int> fds;  // in _waits while the test runs
  TClock::TimePoint wakeAt{};
};

namespace {

// The stop descriptor's key in the poll set.
constexpr std::uint64_t kStopId = UINT64_MAX;
// Longest single wait: every wait is bounded, whatever is pending.
constexpr int kLongestWaitMs = 1000;

}  // namespace

TParallelRun::TParallelRun(const TSettings& settings, ITestCycleView& view,
                           TTestCycle::ProcessFactory processes, TOutageBook& outages,
                           const TClock& clock, TSchedule schedule, std::ostream* verbose)
    : _settings(settings),
      _view(view),
      _processes(std::move(processes)),
      _outages(outages),
      _clock(clock),
      _schedule(schedule),
      _verbose(verbose) {
  _schedule.jobs = std::max(1, _schedule.jobs);
}

TParallelRun::~TParallelRun() { stopAll(); }

void TParallelRun::startTest(int index) {
  auto running = std::make_unique<TRunning>();
  TRunning* self = running.get();
  TServerTest::OutputSink sink;
  if (_verbose) {
    self->name = TEncoding::System().GetBytes(_settings.Servers(index).Name());
    sink = [this, self](const std::u16string& text) {
      self->pending += TEncoding::System().GetBytes(text);
      size_t start = 0;
      for (size_t end; (end = self->pending.find('\n', start)) != std::string::npos;
           start = end + 1)
        *_verbose << self->name << ": " << self->pending.substr(start, end + 1 - start);
      self->pending.erase(0, start);
      if (self->pending.size() > kMaxVerboseLine) {
        *_verbose << self->name << ": " << self->pending << '\n';
        self->pending.clear();
      }
      _verbose->flush();
    };
  }
  running->test = std::make_unique<TServerTest>(_settings, index, _view, _clock, std::move(sink));
  // Not waiting for each program to run: a thousand starts would take seconds.
  if (const auto notStarted = running->test->start(_processes, false)) {
    _view.setRowStatus(index, kStatusFailedToStart, *notStarted);
    _outages.judge(index, kStatusFailedToStart, *notStarted);
    return;
  }
  _view.setRowStatus(index, kStatusRunning, {});
  const std::uint64_t id = _nextId++;
  running->fds = running->test->waitHandles();
  for (int fd : running->fds) _waits.add(fd, {this, id});
  if (running->fds.empty()) _unwaitable.insert(id);
  running->wakeAt = running->test->wakeAt();
  _wakeUps.emplace(running->wakeAt, id);
  _running.emplace(id, std::move(running));
}

void TParallelRun::step(std::uint64_t id) {
  const auto found = _running.find(id);
  if (found == _running.end()) return;
  TRunning& running = *found->second;
  // The wait said there is something to read: take it without waiting.
  if (const auto verdict = running.test->step(0)) {
    finish(id, *verdict);
    return;
  }
  const auto wakeAt = running.test->wakeAt();
  if (wakeAt == running.wakeAt) return;
  _wakeUps.erase({running.wakeAt, id});
  running.wakeAt = wakeAt;
  _wakeUps.emplace(wakeAt, id);
}

void TParallelRun::finish(std::uint64_t id, const TTestOutcome& outcome) {
  const auto found = _running.find(id);
  if (found == _running.end()) return;
  std::unique_ptr<TRunning> running = std::move(found->second);
  _running.erase(found);
  for (int fd : running->fds) _waits.remove(fd);
  _wakeUps.erase({running->wakeAt, id});
  _unwaitable.erase(id);
  const int index = running->test->index();
  // The child is told to end before any alert goes out; it ends beside the
  // others, and the verdict does not wait for it.
  _ending.add(running->test->takeChild());
  if (_verbose && !running->pending.empty()) {
    *_verbose << running->name << ": " << running->pending << '\n';
    running->pending.clear();
  }
  _view.setRowStatus(index, outcome.status, outcome.reason);
  _outages.judge(index, outcome.status, outcome.reason);
}

void TParallelRun::verdictsDone() {
  if (_afterVerdicts) _afterVerdicts();
}

void TParallelRun::stopAll() {
  while (!_running.empty()) finish(_running.begin()->first, TTestOutcome{kStatusInterrupted});
  verdictsDone();
  _ending.endAll();
}

int TParallelRun::nextTimeoutMs(TClock::TimePoint now) const {
  int timeoutMs = kLongestWaitMs;
  // The nearest time-out (or end of a password's wait for its flush), so no
  // test is judged late.
  if (!_wakeUps.empty())
    timeoutMs = std::min(timeoutMs, millisecondsUntil(now, _wakeUps.begin()->first));
  if (const auto due = _ending.nextDue())
    timeoutMs = std::min(timeoutMs, millisecondsUntil(now, *due));
  if (!_unwaitable.empty()) timeoutMs = std::min(timeoutMs, kUnwaitableStepMs);
  return timeoutMs;
}

bool TParallelRun::waitOnce(int timeoutMs) {
  // The one wait of the run; any output, a child's end or a stop ends it sooner.
  _waits.wait(timeoutMs, _ready);
  _due.clear();
  bool stop = false;
  for (const auto& key : _ready) {
    if (key.owner == this) {
      if (key.id == kStopId) {
        stop = true;
      } else {
        _due.push_back(key.id);
      }
    } else {
      _ending.ended(key);
    }
  }
  if (stop) return true;
  _ending.collect();
  const auto after = _clock.MonotonicNow();
  // Passed only once strictly exceeded.
  for (auto it = _wakeUps.begin(); it != _wakeUps.end() && after > it->first; ++it)
    _due.push_back(it->second);
  _due.insert(_due.end(), _unwaitable.begin(), _unwaitable.end());
  // Once each, in the order the tests started.
  std::sort(_due.begin(), _due.end());
  _due.erase(std::unique(_due.begin(), _due.end()), _due.end());
  return false;
}

bool TParallelRun::run(int stopFd) {
  const int count = _settings.ServerCount();
  _waits.add(stopFd, {this, kStopId});
  // The stop stays readable: it must not wake the ending of the children.
  struct TStopWait {
    TPollSet& waits;
    int fd;
    ~TStopWait() { waits.remove(fd); }
  } stopWait{_waits, stopFd};

  auto cycleStart = _clock.MonotonicNow();
  int next = 0;
  for (;;) {
    while (static_cast<int>(_running.size() + _ending.size()) < _schedule.jobs && next < count)
      startTest(next++);

    const auto now = _clock.MonotonicNow();
    int timeoutMs = nextTimeoutMs(now);
    if (_running.empty() && next >= count) {
      if (!_schedule.repeat) return false;  // the children still ending end at release
      const auto repeatAt = cycleStart + std::chrono::minutes(_settings.RepeatPeriod());
      if (now > repeatAt) {
        cycleStart = now;
        next = 0;
        continue;
      }
      // Bounded by the repeat period; a stop ends it at once.
      timeoutMs = std::min(timeoutMs, millisecondsUntil(now, repeatAt));
    }

    if (waitOnce(timeoutMs)) {
      _waits.remove(stopFd);
      stopAll();
      return true;
    }
    for (const std::uint64_t id : _due) step(id);
    verdictsDone();
  }
}

}  // namespace quorvex

#include "app/parallel_run.h"

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ostream>

#include "app/server_test.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// A child that offers nothing to wait on is looked at this often.
constexpr int kUnwaitableStepMs = 100;
// A verbose line longer than this is written in pieces.
constexpr size_t kMaxVerboseLine = 4096;
// Descriptors of one test: the terminal's two sides and the pidfd (the start
// needs two more for a moment, kept in the reserve).
constexpr long kFilesPerTest = 3;
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
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return INT_MAX;
  const long long usable = static_cast<long long>(limit.rlim_cur) - kReservedFiles;
  return static_cast<int>(std::clamp<long long>(usable / kFilesPerTest, 0, INT_MAX));
}

struct TParallelRun::TRunning {
  std::unique_ptr<TServerTest> test;
  std::string name;     // for verbose lines
  std::string pending;  // verbose: the start of a line not ended yet
};

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
  if (const auto notStarted = running->test->start(_processes)) {
    _view.setRowStatus(index, kStatusFailedToStart, *notStarted);
    _outages.judge(index, kStatusFailedToStart, *notStarted);
    return;
  }
  _view.setRowStatus(index, kStatusRunning, {});
  _running.push_back(std::move(running));
}

void TParallelRun::finish(TRunning& running, const TTestOutcome& outcome) {
  const int index = running.test->index();
  // The child ends before any alert goes out.
  running.test->release();
  if (_verbose && !running.pending.empty()) {
    *_verbose << running.name << ": " << running.pending << '\n';
    running.pending.clear();
  }
  _view.setRowStatus(index, outcome.status, outcome.reason);
  _outages.judge(index, outcome.status, outcome.reason);
}

void TParallelRun::stopAll() {
  // Every child is asked first, so they end side by side, not one after another.
  for (auto& running : _running) running->test->requestStop();
  for (auto& running : _running) finish(*running, {kStatusInterrupted});
  _running.clear();
}

bool TParallelRun::waitOnce(int stopFd, std::vector<bool>& due) {
  const auto now = _clock.MonotonicNow();
  std::vector<pollfd> fds{{stopFd, POLLIN, 0}};
  std::vector<size_t> owners;
  int timeoutMs = INT_MAX;
  for (size_t i = 0; i < _running.size(); ++i) {
    const TServerTest& test = *_running[i]->test;
    timeoutMs = std::min(timeoutMs, millisecondsUntil(now, test.wakeAt()));
    const std::vector<int> handles = test.waitHandles();
    if (handles.empty()) {
      due[i] = true;
      timeoutMs = std::min(timeoutMs, kUnwaitableStepMs);
    }
    for (int fd : handles) {
      fds.push_back({fd, POLLIN, 0});
      owners.push_back(i);
    }
  }
  // The one wait of the run: bounded by the nearest time-out (or end of a
  // password's wait for its flush), so no test is judged late; any output, a
  // child's end or a stop ends it sooner.
  if (poll(fds.data(), fds.size(), timeoutMs) == -1 && errno != EINTR) {
    // Cannot wait: look at every child, no sooner than a silent one would be.
    pollfd none{-1, 0, 0};
    poll(&none, 1, kUnwaitableStepMs);
    std::fill(due.begin(), due.end(), true);
  }
  if (fds[0].revents != 0) return true;
  for (size_t k = 1; k < fds.size(); ++k)
    if (fds[k].revents != 0) due[owners[k - 1]] = true;
  const auto after = _clock.MonotonicNow();
  for (size_t i = 0; i < _running.size(); ++i)
    if (after > _running[i]->test->wakeAt()) due[i] = true;
  return false;
}

bool TParallelRun::run(int stopFd) {
  const int count = _settings.ServerCount();
  auto cycleStart = _clock.MonotonicNow();
  int next = 0;
  for (;;) {
    while (static_cast<int>(_running.size()) < _schedule.jobs && next < count) startTest(next++);

    if (_running.empty()) {
      if (!_schedule.repeat) return false;
      const auto repeatAt = cycleStart + std::chrono::minutes(_settings.RepeatPeriod());
      const auto now = _clock.MonotonicNow();
      if (now > repeatAt) {
        cycleStart = now;
        next = 0;
        continue;
      }
      // Bounded by the repeat period (looked at every second); a stop ends it at once.
      pollfd stop{stopFd, POLLIN, 0};
      if (poll(&stop, 1, std::min(millisecondsUntil(now, repeatAt), kUnwaitableStepMs * 10)) > 0)
        return true;
      continue;
    }

    std::vector<bool> due(_running.size(), false);
    if (waitOnce(stopFd, due)) {
      stopAll();
      return true;
    }
    for (size_t i = 0; i < _running.size(); ++i) {
      if (!due[i]) continue;
      // The wait said there is something to read: take it without waiting.
      if (const auto outcome = _running[i]->test->step(0)) {
        finish(*_running[i], *outcome);
        _running[i].reset();
      }
    }
    std::erase(_running, nullptr);
  }
}

}  // namespace quorvex

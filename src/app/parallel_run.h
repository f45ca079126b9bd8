#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/outage_book.h"
#include "app/test_cycle.h"
#include "app/test_cycle_view.h"
#include "platform/poll_set.h"
#include "process/child_reaper.h"

namespace quorvex {

class TServerTest;

// The headless schedule for many servers: up to `jobs` tests run at once,
// started in catalogue order, and the run sleeps in one wait on all their
// children. Each test keeps its own time-out and verdict; results are
// reported and mailed one at a time, in the order they are reached. A child
// whose test has ended is ended beside the running ones and still counts as
// one of the jobs until it has gone.
class TParallelRun {
 public:
  struct TSchedule {
    int jobs = 1;
    bool repeat = false;  // start over every RepeatPeriod minutes, until stopped
  };

  // With `verbose`, the children's output goes there line by line, each line
  // after its server's name.
  TParallelRun(const TSettings& settings, ITestCycleView& view,
               TTestCycle::ProcessFactory processes, TOutageBook& outages, const TClock& clock,
               TSchedule schedule, std::ostream* verbose = nullptr);
  ~TParallelRun();
  TParallelRun(const TParallelRun&) = delete;
  TParallelRun& operator=(const TParallelRun&) = delete;

  // Called after each batch of results (the starts and verdicts between two
  // waits), for what is written once per batch rather than once per result.
  void setAfterVerdicts(std::function<void()> afterVerdicts) {
    _afterVerdicts = std::move(afterVerdicts);
  }

  // Runs until the cycle is over (without repeat) or `stopFd` turns
  // readable; a stop ends every child and marks those tests "Interrupted".
  // Returns true when stopped.
  bool run(int stopFd);

 private:
  struct TRunning;
  using TWakeUp = std::pair<TClock::TimePoint, std::uint64_t>;

  void startTest(int index);
  void step(std::uint64_t id);
  void finish(std::uint64_t id, const TTestOutcome& outcome);
  void stopAll();
  // Waits on the children and the stop descriptor, at most timeoutMs, and
  // notes the tests due for a step; true when a stop arrived.
  bool waitOnce(int timeoutMs);
  int nextTimeoutMs(TClock::TimePoint now) const;
  void verdictsDone();

  const TSettings& _settings;
  ITestCycleView& _view;
  TTestCycle::ProcessFactory _processes;
  TOutageBook& _outages;
  const TClock& _clock;
  TSchedule _schedule;
  std::ostream* _verbose;
  std::function<void()> _afterVerdicts;
  // Kept from wait to wait, so that a wait costs the poll and the work of the
  // tests that are due, not a walk over every test.
  TPollSet _waits;
  std::map<std::uint64_t, std::unique_ptr<TRunning>> _running;  // by start order
  std::set<TWakeUp> _wakeUps;                                   // each running test's wakeAt
  std::set<std::uint64_t> _unwaitable;  // tests whose child offers nothing to wait on
  std::vector<std::uint64_t> _due;
  std::vector<TPollSet::TKey> _ready;
  std::uint64_t _nextId = 0;
  TChildReaper _ending{_waits, _clock};  // after _waits, which it uses to the end
};

// The most tests the limit of open files lets run at once.
int maxJobsByOpenFiles();

}  // namespace quorvex

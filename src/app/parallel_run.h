#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/outage_book.h"
#include "app/test_cycle.h"
#include "app/test_cycle_view.h"

namespace quorvex {

class TServerTest;

// The headless schedule for many servers: up to `jobs` tests run at once,
// started in catalogue order, and the run sleeps in one wait on all their
// children. Each test keeps its own time-out and verdict; results are
// reported and mailed one at a time, in the order they are reached.
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

  // Runs until the cycle is over (without repeat) or `stopFd` turns
  // readable; a stop ends every child and marks those tests "Interrupted".
  // Returns true when stopped.
  bool run(int stopFd);

 private:
  struct TRunning;

  void startTest(int index);
  void finish(TRunning& running, const TTestOutcome& outcome);
  void stopAll();
  // Waits on the children and the stop descriptor; true when a stop arrived.
  bool waitOnce(int stopFd, std::vector<bool>& due);

  const TSettings& _settings;
  ITestCycleView& _view;
  TTestCycle::ProcessFactory _processes;
  TOutageBook& _outages;
  const TClock& _clock;
  TSchedule _schedule;
  std::ostream* _verbose;
  std::vector<std::unique_ptr<TRunning>> _running;
};

// The most tests the limit of open files lets run at once.
int maxJobsByOpenFiles();

}  // namespace quorvex

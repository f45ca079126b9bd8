#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "monitor/monitor_controls.h"
#include "monitor/observer.h"
#include "monitor/server_test.h"
#include "platform/clock.h"
#include "platform/poll_set.h"
#include "platform/waiter.h"
#include "process/child_reaper.h"
#include "settings/settings.h"

namespace quorvex {

// The one engine that tests the servers of the catalogue: up to `jobs` tests
// (TServerTest) at once, started in catalogue order, each judged on its own;
// every status goes to the observers, and a test's child is told to end
// before its verdict is reported (so before any alert goes out). Repeats
// every RepeatPeriod minutes, measured from the start of a cycle's first
// test, while the repeat box is ticked.
//
// Two ways to drive it. The window's timer calls tick() every 300 ms, one
// test at a time, as the window's test cycle has it. The headless front end
// calls run(), which sleeps in one wait on every child (and on what the
// front end adds) until something is due.
class TMonitorEngine {
 public:
  TMonitorEngine(const TSettings& settings, IMonitorControls& controls, TProcessFactory processes,
                 IMonitorObserver& observers, const TClock& clock, int jobs = 1);
  ~TMonitorEngine();
  TMonitorEngine(const TMonitorEngine&) = delete;
  TMonitorEngine& operator=(const TMonitorEngine&) = delete;

  // --- driven by a timer, one test at a time ---
  void start();  // Start: disables the inputs, enables Stop and the timer
  // Stop: ends the test under way, and marks the server at the index
  // "Interrupted" whether or not its test had ended.
  void stop();
  // Stop for a front end that reports results: a result already reached is
  // kept, and only a test cut short is "Interrupted".
  void stopKeepingResults();
  void tick();  // one step of the timer
  void enableControls();

  // --- driven by its own wait ---
  // A descriptor the wait also watches, and what to do when it turns
  // readable (on this thread); kept until removed.
  void watch(int fd, std::function<void()> onReadable);
  void unwatch(int fd);
  // Runs until the cycle is over (without repeat) or `stopFd` turns
  // readable; a stop ends every child and marks the tests cut short
  // "Interrupted". Returns true when stopped.
  bool run(int stopFd);
  // Waits, as run does, until `done` holds or `stopFd` turns readable, at
  // most `longestMs` each time; for what must end after the tests (the last
  // mails). Returns true when stopped.
  bool waitUntil(const std::function<bool()>& done, int stopFd);

  int serverIndex() const { return _serverIndex; }
  // A child is held: a server's test is in progress.
  bool testing() const { return !_running.empty(); }

 private:
  struct TRunning;
  using TWakeUp = std::pair<TClock::TimePoint, std::uint64_t>;

  void advance();
  void begin(int index, bool confirmed);
  void step(std::uint64_t id, int readTimeoutMs);
  void finish(std::uint64_t id, const TTestOutcome& outcome);
  void report(int row, TVerdict verdict, const TFailureReason& reason = {});
  void releaseAll();
  bool repeatDue(TClock::TimePoint now) const;
  TClock::TimePoint repeatAt() const;
  // One wait; true when a stop arrived. Notes the tests due for a step.
  bool waitOnce(std::optional<TClock::TimePoint> until, int longestMs);
  std::optional<TClock::TimePoint> nextWakeUp() const;
  void stopAll();

  const TSettings& _settings;
  IMonitorControls& _controls;
  TProcessFactory _processes;
  IMonitorObserver& _observers;
  const TClock& _clock;
  const int _jobs;

  // The last server started (or, by the timer, looked at); -1 before the
  // first of a cycle. By the timer it runs past the end while waiting to
  // repeat.
  int32_t _serverIndex = -1;
  TClock::TimePoint _cycleStartTime{};

  TPollSet _waits;
  TWaiter _waiter{_waits, _clock};
  std::map<std::uint64_t, std::unique_ptr<TRunning>> _running;  // by start order
  std::set<TWakeUp> _wakeUps;                                   // each running test's wakeAt
  std::set<std::uint64_t> _unwaitable;  // tests whose child offers nothing to wait on
  std::map<int, std::function<void()>> _watched;
  std::vector<std::uint64_t> _due;
  std::vector<TPollSet::TKey> _ready;
  std::uint64_t _nextId = 0;
  // Children of ended tests, ending beside the running ones while run()
  // drives; they count as jobs until gone. After _waits, which it uses.
  TChildReaper _ending{_waits, _clock};
  bool _waiting = false;  // driven by run(): ended children go to _ending
};

// The most tests the limit of open files lets run at once.
int maxJobsByOpenFiles();

}  // namespace quorvex

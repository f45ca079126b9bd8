#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/failure_reason.h"
#include "monitor/monitor_controls.h"
#include "monitor/verdict.h"
#include "platform/clock.h"
#include "process/child_command.h"
#include "process/console_process.h"
#include "settings/settings.h"

namespace quorvex {

// Makes the child of a server's test.
using TProcessFactory =
    std::function<std::unique_ptr<IConsoleProcess>(const TChildCommand& command)>;

// Makes the real child: a TConsoleApp.
TProcessFactory consoleAppFactory();

// A test's end: the verdict and, for a failure, why.
struct TTestOutcome {
  TVerdict verdict;
  TFailureReason reason{};
};

// The test of one server: starts its openvpn child, answers the prompts and
// judges the result from the output, the child's end or the time-out. The
// engine runs one or several at once.
class TServerTest {
 public:
  using OutputSink = std::function<void(const std::u16string& text)>;

  // `controls` answer the prompts (edLogin, edPwd); every text read from the
  // child, and the echo of the answers, goes to `output`.
  TServerTest(const TSettings& settings, int index, const IMonitorControls& controls,
              const TClock& clock, OutputSink output);
  ~TServerTest();
  TServerTest(const TServerTest&) = delete;
  TServerTest& operator=(const TServerTest&) = delete;

  // Starts the child; when it could not start, the reason why. With
  // `confirmed`, start waits until the program runs; without, a program that
  // cannot run is found by step, whose verdict is then "Failed to start".
  std::optional<TFailureReason> start(const TProcessFactory& processes, bool confirmed = true);
  // Reads what the child printed, waiting at most readTimeoutMs for it, then
  // answers a prompt or judges. Returns Successful or Failed (with its
  // reason), or Failed to start (see start), once known.
  std::optional<TTestOutcome> step(int readTimeoutMs);

  // Descriptors that turn readable when the child prints or ends; empty when
  // the child offers none, and the caller must then step it now and then.
  std::vector<int> waitHandles() const;
  // When step must run again though the child stays silent: at its time-out,
  // or sooner while a password waits to be sent.
  TClock::TimePoint wakeAt() const;
  // Hands the child over, for a caller that ends it without waiting; none
  // when it never started.
  std::unique_ptr<IConsoleProcess> takeChild();

  int index() const { return _index; }

 private:
  void append(const std::u16string& text);
  bool passwordMaySend(std::optional<unsigned long> flushesBeforeRead);
  TClock::TimePoint deadline() const;

  // A password prompt read and not answered yet: the child's flushes counted
  // before the read that completed it, and when to send without a flush.
  struct TPasswordWait {
    unsigned long flushesBefore;
    TClock::TimePoint sendAnywayAt;
  };

  const TSettings& _settings;
  const int _index;
  const IMonitorControls& _controls;
  const TClock& _clock;
  OutputSink _output;
  TClock::TimePoint _startTime{};
  std::unique_ptr<IConsoleProcess> _ovpn;
  // What the verdict needs of the output, kept as it arrives so that a child
  // that floods its terminal costs no more memory than a quiet one: its end
  // (for the prompts) and whether each marker has appeared.
  std::u16string _tail;
  bool _connected = false;
  bool _deviceRefused = false;
  std::optional<TPasswordWait> _passwordWait;
  TFailureSigns _failureSigns;
  std::u16string _launchFailure;  // the start error of a child launched without waiting
};

}  // namespace quorvex

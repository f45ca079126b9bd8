#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
#include "app/failure_reason.h"
#include "app/outage_book.h"
#include "app/test_cycle_view.h"
#include "platform/clock.h"
#include "process/child_command.h"
#include "process/console_process.h"
#include "settings/settings.h"

namespace quorvex {

// Status words of a server row; compared by exact text.
inline constexpr char16_t kStatusNotRun[] = u"Not Run";
inline constexpr char16_t kStatusRunning[] = u"Running";
inline constexpr char16_t kStatusSuccessful[] = u"Successful";
inline constexpr char16_t kStatusFailed[] = u"Failed";
inline constexpr char16_t kStatusFailedToStart[] = u"Failed to start";
inline constexpr char16_t kStatusInterrupted[] = u"Interrupted";

// A test's end: the status word and, for a failure, why.
struct TTestOutcome {
  std::u16string status;
  TFailureReason reason{};
};

// "hh:nn:ss" on the 24-hour clock, joined by the locale's time separator
// (":" when the locale names none).
std::u16string formatLastRun(TDateTime localTime);

class TServerTest;

// The timer-driven walk over the server catalogue: tests one server after
// the other (TServerTest) and raises the alerts.
class TTestCycle {
 public:
  using ProcessFactory =
      std::function<std::unique_ptr<IConsoleProcess>(const TChildCommand& command)>;
  using AlertMail = TOutageBook::AlertMail;
  using RecoveryMail = TOutageBook::RecoveryMail;
  using OutageChanged = TOutageBook::OutageChanged;

  TTestCycle(const TSettings& settings, ITestCycleView& view, ProcessFactory processes,
             AlertMail alertMail, const TClock& clock = TClock::System());
  ~TTestCycle();
  TTestCycle(const TTestCycle&) = delete;
  TTestCycle& operator=(const TTestCycle&) = delete;

  void btnStartClick();
  void btnStopClick();
  // Stop for a front end that reports results: a result already reached is
  // kept, and only a test cut short is "Interrupted".
  void stopKeepingResults();
  void tmrTestTimer();
  void enableControls();

  void setRecoveryMail(RecoveryMail recoveryMail) {
    _outages.setRecoveryMail(std::move(recoveryMail));
  }
  void setOutageChanged(OutageChanged outageChanged) {
    _outages.setOutageChanged(std::move(outageChanged));
  }
  // Carries an outage over from an earlier run.
  void restoreOutage(int index, const TOutageState& state) { _outages.restore(index, state); }
  const TOutageState& outage(int index) const { return _outages.outage(index); }
  TOutageBook& outages() { return _outages; }

  int serverIndex() const { return _serverIndex; }
  bool serverDownAlerted(int index) const { return _outages.outage(index).alerted; }
  // A child is held: a server's test is in progress.
  bool testing() const { return _test != nullptr; }

 private:
  void advance();
  void setStatus(const std::u16string& status, const TFailureReason& reason = {});

  const TSettings& _settings;
  ITestCycleView& _view;
  ProcessFactory _processes;
  const TClock& _clock;
  TOutageBook _outages;

  int32_t _serverIndex = -1;
  TClock::TimePoint _cycleStartTime{};
  std::unique_ptr<TServerTest> _test;  // the server's test in progress, holding its child
};

// The policy's settings from the saved options.
TAlertPolicySettings alertPolicySettings(const TOptions& options);

// Makes the real child: a TConsoleApp.
TTestCycle::ProcessFactory consoleAppFactory();

}  // namespace quorvex

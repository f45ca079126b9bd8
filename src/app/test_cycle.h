#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
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

// "hh:nn:ss" on the 24-hour clock, joined by the locale's time separator
// (":" when the locale names none).
std::u16string formatLastRun(TDateTime localTime);

// The timer-driven walk over the server catalogue: starts openvpn for each
// server, answers its prompts, judges the result and raises the alert.
class TTestCycle {
 public:
  using ProcessFactory =
      std::function<std::unique_ptr<IConsoleProcess>(const TChildCommand& command)>;
  // Sends the alert (or its reminder) for a server found down; may throw.
  using AlertMail = std::function<void(const TVPNServer& server)>;
  // Sends the mail that a server is up again after `outage`; may throw.
  using RecoveryMail = std::function<void(const TVPNServer& server, std::chrono::seconds outage)>;
  // Told each time a server's outage state changes.
  using OutageChanged = std::function<void(int row, const TOutageState& state)>;

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

  void setRecoveryMail(RecoveryMail recoveryMail) { _recoveryMail = std::move(recoveryMail); }
  void setOutageChanged(OutageChanged outageChanged) { _outageChanged = std::move(outageChanged); }
  // Carries an outage over from an earlier run.
  void restoreOutage(int index, const TOutageState& state) { _outages.at(index) = state; }
  const TOutageState& outage(int index) const { return _outages.at(index); }

  int serverIndex() const { return _serverIndex; }
  bool serverDownAlerted(int index) const { return _outages.at(index).alerted; }
  // A child is held: a server's test is in progress.
  bool testing() const { return _ovpn != nullptr; }

 private:
  void advance();
  bool startServer();
  void pollChild();
  void setStatus(const std::u16string& status);
  void appendOutput(const std::u16string& text);
  void judgeOutage(int row, const std::u16string& status);

  const TSettings& _settings;
  ITestCycleView& _view;
  ProcessFactory _processes;
  AlertMail _alertMail;
  RecoveryMail _recoveryMail;
  OutageChanged _outageChanged;
  const TClock& _clock;

  int32_t _serverIndex = -1;
  TClock::TimePoint _cycleStartTime{};
  TClock::TimePoint _testStartTime{};
  std::unique_ptr<IConsoleProcess> _ovpn;
  // This test's output as shown in the view; judged here so that the view
  // may render line breaks as it likes.
  std::u16string _output;
  std::vector<TOutageState> _outages;  // one per server; `alerted` is the alert flag
};

// The policy's settings from the saved options.
TAlertPolicySettings alertPolicySettings(const TOptions& options);

// Makes the real child: a TConsoleApp.
TTestCycle::ProcessFactory consoleAppFactory();

}  // namespace quorvex

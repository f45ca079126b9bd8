#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
  // Sends the alert for a server found down; may throw.
  using AlertMail = std::function<void(const TVPNServer& server)>;

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

  int serverIndex() const { return _serverIndex; }
  bool serverDownAlerted(int index) const { return _serverDownAlerted.at(index); }
  // A child is held: a server's test is in progress.
  bool testing() const { return _ovpn != nullptr; }

 private:
  void advance();
  bool startServer();
  void pollChild();
  void setStatus(const std::u16string& status);
  void appendOutput(const std::u16string& text);

  const TSettings& _settings;
  ITestCycleView& _view;
  ProcessFactory _processes;
  AlertMail _alertMail;
  const TClock& _clock;

  int32_t _serverIndex = -1;
  TClock::TimePoint _cycleStartTime{};
  TClock::TimePoint _testStartTime{};
  std::unique_ptr<IConsoleProcess> _ovpn;
  // This test's output as shown in the view; judged here so that the view
  // may render line breaks as it likes.
  std::u16string _output;
  std::vector<bool> _serverDownAlerted;
};

// Makes the real child: a TConsoleApp.
TTestCycle::ProcessFactory consoleAppFactory();

}  // namespace quorvex

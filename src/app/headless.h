#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "alerts/alert_mail.h"
#include "app/program_options.h"
#include "app/test_cycle.h"
#include "app/test_cycle_view.h"
#include "settings/settings.h"

namespace quorvex {

// The cycle's view without a window: rows and controls are plain state; each
// status change becomes one line on the output stream, and with verbose the
// child's output is copied there too.
class THeadlessView final : public ITestCycleView {
 public:
  THeadlessView(const TSettings& settings, bool repeat, bool verbose, std::ostream& out,
                const TClock& clock = TClock::System());

  std::u16string loginText() const override { return _login; }
  std::u16string passwordText() const override { return _password; }
  std::u16string outputText() const override { return _output; }
  void setOutputText(const std::u16string& text) override;
  void appendOutput(const std::u16string& text) override;
  void setRowStatus(int row, const std::u16string& status, const TFailureReason& reason) override;
  void setRowLastRun(int, const std::u16string&) override {}
  bool repeatChecked() const override { return _repeat; }
  void setInputsEnabled(bool) override {}
  void setStopEnabled(bool) override {}
  void setTimerEnabled(bool enabled) override { _timerEnabled = enabled; }

  bool timerEnabled() const { return _timerEnabled; }
  // Called after each status line, with the row, its new status and reason.
  using StatusListener = std::function<void(int, const std::u16string&, const TFailureReason&)>;
  void setStatusListener(StatusListener listener) { _statusListener = std::move(listener); }
  const std::vector<std::u16string>& statuses() const { return _statuses; }
  // The reason of each row's last status, in words; empty where none.
  const std::vector<std::u16string>& reasons() const { return _reasons; }

 private:
  void endOutputLine();

  std::vector<std::u16string> _names;
  std::vector<std::u16string> _statuses;
  std::vector<std::u16string> _reasons;
  std::u16string _login;
  std::u16string _password;
  std::u16string _output;
  bool _repeat;
  bool _verbose;
  bool _timerEnabled = false;
  bool _atLineStart = true;
  std::ostream& _out;
  const TClock& _clock;
  StatusListener _statusListener;
};

// The first line of a single run and its exit code, following the
// monitoring-plugin conventions: the status lines follow it as the long output.
struct TOnceSummary {
  std::string line;
  int exitCode;
};
// `reasons`, when given, holds each server's failure reason in words.
TOnceSummary summarizeOnce(const std::vector<std::u16string>& names,
                           const std::vector<std::u16string>& statuses,
                           const std::vector<std::u16string>& reasons = {});
TOnceSummary unknownSummary(const std::string& message);

// The alert operation of the headless front end: the saved Alerts fields,
// sent through idSMTP, which must outlive the operation.
TTestCycle::AlertMail headlessAlertMail(const TSettings& settings, TQxSMTP& idSMTP);
// The recovery mail of the headless front end, when the options ask for one.
TTestCycle::RecoveryMail headlessRecoveryMail(const TSettings& settings, TQxSMTP& idSMTP);

// Runs the cycle without a window until it ends (--once) or SIGINT/SIGTERM
// arrives; returns the exit code.
int runHeadless(const TCommandLine& options, std::ostream& out, std::ostream& err);

// The loop of runHeadless on given settings and children, for tests. With
// options.stateFile set, outages are carried over from the file and every
// change is written back; without it every run starts with none.
int runHeadlessCycle(const TSettings& settings, const TCommandLine& options,
                     TTestCycle::ProcessFactory processes, TTestCycle::AlertMail alertMail,
                     std::ostream& out, std::ostream& err,
                     TTestCycle::RecoveryMail recoveryMail = {});

// Sets the --option values of the command line in the settings (not saved).
void applyOptionValues(TSettings& settings, const TCommandLine& options);

}  // namespace quorvex

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
  void setRowStatus(int row, const std::u16string& status) override;
  void setRowLastRun(int, const std::u16string&) override {}
  bool repeatChecked() const override { return _repeat; }
  void setInputsEnabled(bool) override {}
  void setStopEnabled(bool) override {}
  void setTimerEnabled(bool enabled) override { _timerEnabled = enabled; }

  bool timerEnabled() const { return _timerEnabled; }
  // Called after each status line, with the row and its new status.
  void setStatusListener(std::function<void(int, const std::u16string&)> listener) {
    _statusListener = std::move(listener);
  }
  const std::vector<std::u16string>& statuses() const { return _statuses; }

 private:
  void endOutputLine();

  std::vector<std::u16string> _names;
  std::vector<std::u16string> _statuses;
  std::u16string _login;
  std::u16string _password;
  std::u16string _output;
  bool _repeat;
  bool _verbose;
  bool _timerEnabled = false;
  bool _atLineStart = true;
  std::ostream& _out;
  const TClock& _clock;
  std::function<void(int, const std::u16string&)> _statusListener;
};

// The last line of a single run and its exit code, following the
// monitoring-plugin conventions.
struct TOnceSummary {
  std::string line;
  int exitCode;
};
TOnceSummary summarizeOnce(const std::vector<std::u16string>& names,
                           const std::vector<std::u16string>& statuses);
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

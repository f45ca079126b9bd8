#include "app/headless.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <sstream>

#include "app/start_up.h"
#include "monitor/alert_jobs.h"
#include "monitor/delivery.h"
#include "monitor/engine.h"
#include "monitor/history_observer.h"
#include "monitor/kept_files.h"
#include "monitor/notifier_observer.h"
#include "monitor/observer_list.h"
#include "monitor/plugin_summary.h"
#include "monitor/report_text.h"
#include "monitor/status_lines.h"
#include "platform/open_files.h"
#include "platform/stop_signals.h"
#include "settings/settings_path.h"

namespace quorvex {

namespace {

// The controls without a window: the saved login, and repeat unless a
// single run was asked for.
class THeadlessControls final : public IMonitorControls {
 public:
  THeadlessControls(const TSettings& settings, bool repeat)
      : _login(settings.Username()), _password(settings.Password()), _repeat(repeat) {}
  std::u16string loginText() const override { return _login; }
  std::u16string passwordText() const override { return _password; }
  void setOutputText(const std::u16string&) override {}
  void appendOutput(const std::u16string&) override {}
  bool repeatChecked() const override { return _repeat; }
  void setInputsEnabled(bool) override {}
  void setStopEnabled(bool) override {}
  void setTimerEnabled(bool) override {}

 private:
  std::u16string _login, _password;
  bool _repeat;
};

// Why the tests cannot run side by side, when the limit of open files is too low.
std::optional<std::string> openFilesProblem(int jobs) {
  // Each test holds a few descriptors; the hard limit is what may be had.
  const TOpenFileLimit files = raiseOpenFileLimit();
  if (jobs <= 1 || jobs <= maxJobsByOpenFiles()) return std::nullopt;
  const auto limitText = [](const std::optional<long long>& limit) {
    return limit ? std::to_string(*limit) : std::string("unlimited");
  };
  return "cannot test " + std::to_string(jobs) +
         " servers at once: the limit of open files allows at most " +
         std::to_string(maxJobsByOpenFiles()) + " (soft limit " + limitText(files.soft) +
         ", hard limit " + limitText(files.hard) +
         "; raise the hard limit, with LimitNOFILE= for the service or ulimit -Hn)";
}

}  // namespace

THeadlessMails headlessMails(const TSettings& settings, const TAlertMailWaits& waits) {
  std::shared_ptr<TQxSMTP> client = makeAlertSMTP();
  const auto fields = [&settings] { return alertMailFieldsFrom(settings); };
  return {alertMailJobs(fields, client, waits), recoveryMailJobs(fields, client, waits), waits};
}

void applyOptionValues(TSettings& settings, const TCommandLine& options) {
  TOptions values = settings.Options();
  for (const auto& [name, value] : options.optionValues) {
    if (const TOptionSpec* spec = findOption(name)) values.SetText(spec->id, value);
  }
  settings.SetOptions(values);
}

int runHeadlessCycle(const TSettings& settings, const TCommandLine& options,
                     TProcessFactory processes, THeadlessMails mails, std::ostream& out,
                     std::ostream& err, const TClock& clock) {
  if (options.once && settings.ServerCount() == 0) {
    out << unknownSummary(localBytes(noServersText(settings))).line << std::endl;
    return kExitUnknown;
  }
  if (settings.ServerCount() == 0)
    err << "quorvex: " << localBytes(noServersText(settings)) << std::endl;
  if (const std::u16string warning = emptyLoginWarning(settings, settings.Username());
      !warning.empty())
    err << "quorvex: " << localBytes(warning) << std::endl;

  // No more tests at once than there are servers: only those need files.
  const int jobs =
      std::min(settings.Options().Integer(TOptionId::Jobs), std::max(1, settings.ServerCount()));
  if (const auto problem = openFilesProblem(jobs)) {
    if (options.once) {
      out << unknownSummary(*problem).line << std::endl;
    } else {
      err << "quorvex: " << *problem << std::endl;
    }
    return kExitUnknown;
  }

  // A single run is read by monitoring engines, which take the first line:
  // the summary goes first, the status lines follow it as the long output.
  std::ostringstream longOutput;
  std::ostream& lines = options.once ? longOutput : out;
  TObserverList observers;
  TStatusLines statusLines(settings, options.verbose, lines, err);
  TPluginSummary summary(settings);
  observers.add(statusLines);
  observers.add(summary);
  // Before the metrics: a batch's results reach the history, and its gauges
  // the metrics, before the metrics file is written.
  std::unique_ptr<THistoryObserver> history;
  if (options.historyFile) {
    const auto notice = [&err](const std::u16string& text) {
      err << "quorvex: " << localBytes(text) << std::endl;
    };
    try {
      history = std::make_unique<THistoryObserver>(settings, *options.historyFile,
                                                   options.statusPage, notice, clock, jobs > 1);
      observers.add(*history);
    } catch (const std::exception& e) {
      err << "quorvex: the history " << localBytes(*options.historyFile)
          << " cannot be opened: " << e.what() << "; results are not kept" << std::endl;
    }
  }
  std::unique_ptr<TKeptMetrics> metrics;
  if (options.metricsFile) {
    metrics = std::make_unique<TKeptMetrics>(settings, *options.metricsFile, err, clock, jobs > 1);
    observers.add(*metrics);
  }
  if (history) {
    if (metrics)
      history->recorder().setFiguresListener(
          [&metrics](const std::vector<TServerFigures>& figures) {
            metrics->historyFigures(figures);
          });
    history->recorder().refresh(historyTime(clock.WallNow()));
  }
  // The mails go out one at a time beside the tests, which never wait for them.
  TDeliveryWorker deliveries(observers, clock, mailGrace(mails.waits));
  TOutageBook outages(settings, deliveries, observers, std::move(mails.alert),
                      std::move(mails.recovery));
  observers.add(outages);
  // After the mails: a server's alert is queued before its notifications.
  TNotifierObserver notifiers(settings, deliveries);
  observers.add(notifiers);
  std::unique_ptr<TKeptOutages> kept;
  if (options.stateFile) {
    kept = std::make_unique<TKeptOutages>(settings, *options.stateFile, err, clock, jobs > 1);
    kept->restoreInto(outages);
    for (int row = 0; row < settings.ServerCount(); ++row)
      notifiers.restore(row, outages.outage(row));
    observers.add(*kept);
  }

  THeadlessControls controls(settings, !options.once);
  TStopSignals stopSignals;
  {
    TMonitorEngine engine(settings, controls, std::move(processes), observers, clock, jobs);
    engine.watch(deliveries.wakeFd(), [&deliveries] { deliveries.collect(); });
    // A single run ends once its last mail has; a stop ends the mails too.
    if (!engine.run(stopSignals.fd()))
      engine.waitUntil(
          [&deliveries] {
            deliveries.collect();
            return deliveries.idle();
          },
          stopSignals.fd());
  }
  deliveries.shutDown();
  if (history) history->batchDone();
  if (kept) kept->batchDone();
  if (metrics) metrics->batchDone();
  if (!options.once) return kExitOk;
  // A stop after the last test still reports the results.
  const TOnceSummary result = summary.summary();
  // A "|" in the long output would start perfdata of its own.
  std::string details = longOutput.str();
  std::replace(details.begin(), details.end(), '|', '_');
  out << result.line << '\n' << details << std::flush;
  return result.exitCode;
}

int runHeadless(const TCommandLine& options, std::ostream& out, std::ostream& err) {
  std::unique_ptr<TSettings> settings;
  TStartUpNotes notes;
  try {
    settings = startUpSettings(settingsFilePath(options.settingsFile), nullptr, nullptr, &notes);
  } catch (const std::exception& e) {
    out << unknownSummary(e.what()).line << std::endl;
    return kExitUnknown;
  }
  // A file the user named and Quorvex cannot read: a single run would only
  // report every server down for want of the login.
  if (options.once && options.settingsFile && notes.settingsUnreadable) {
    out << unknownSummary(localBytes(notes.lines.front())).line << std::endl;
    return kExitUnknown;
  }
  for (const std::u16string& line : notes.lines)
    err << "quorvex: " << localBytes(line) << std::endl;
  try {
    applyOptionValues(*settings, options);
    TCommandLine withState = options;
    withState.stateFile = stateFilePath(options.stateFile);
    withState.historyFile = historyFilePath(options.historyFile, options.stateFile);
    return runHeadlessCycle(*settings, withState, consoleAppFactory(), headlessMails(*settings),
                            out, err);
  } catch (const std::exception& e) {
    out << unknownSummary(e.what()).line << std::endl;
    return kExitUnknown;
  }
}

}  // namespace quorvex

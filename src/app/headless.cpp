#include "app/headless.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/metrics_file.h"
#include "app/outage_state_file.h"
#include "app/parallel_run.h"
#include "app/start_up.h"
#include "platform/exception.h"
#include "platform/open_files.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "platform/unique_fd.h"
#include "settings/settings_path.h"

namespace quorvex {

namespace {

constexpr std::chrono::milliseconds kTickInterval{300};

std::string timestamp(TDateTime localTime) {
  const TDateTimeParts t = DecodeDateTime(localTime);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

// Write end of the self-pipe; the only state a signal handler may touch.
volatile sig_atomic_t gSignalPipe = -1;

void onStopSignal(int) {
  const int saved = errno;
  const int fd = gSignalPipe;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
  }
  errno = saved;
}

// SIGINT and SIGTERM wake the loop through a pipe for as long as this lives.
class TStopSignals {
 public:
  TStopSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
      throw Exception(u"Could not create the signal pipe: " + fromUtf8(std::strerror(errno)));
    }
    _read = TUniqueFd(fds[0]);
    _write = TUniqueFd(fds[1]);
    gSignalPipe = _write.get();
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &_oldInt);
    sigaction(SIGTERM, &action, &_oldTerm);
  }
  ~TStopSignals() {
    sigaction(SIGINT, &_oldInt, nullptr);
    sigaction(SIGTERM, &_oldTerm, nullptr);
    gSignalPipe = -1;  // before the pipe closes, so no handler writes to a reused number
  }
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Readable when a stop signal has arrived.
  int fd() const { return _read.get(); }

  // True when a stop signal arrived; waits at most timeoutMs for one.
  bool wait(int timeoutMs) {
    pollfd fd{_read.get(), POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready <= 0) return false;  // time-out, or EINTR from a signal the pipe then shows
    char buffer[16];
    return read(_read.get(), buffer, sizeof buffer) > 0;
  }

 private:
  TUniqueFd _read;
  TUniqueFd _write;
  struct sigaction _oldInt {};
  struct sigaction _oldTerm {};
};

// Text for the terminal or the journal, in the locale's charset.
std::string localBytes(const std::u16string& text) { return TEncoding::System().GetBytes(text); }

// A name on one line of text: control characters escaped.
std::string shownName(const std::u16string& name) { return localBytes(EscapeControls(name)); }

// A name or reason in the plugin's output line, where "|" starts the perfdata.
std::string plainName(const std::u16string& name) {
  std::string text = shownName(name);
  for (char& c : text) {
    if (c == '|') c = '_';
  }
  return text;
}

// A message on one line: "Socket Error # 10061\r\nConnection refused." and
// the like; other control characters escaped, and never empty.
std::u16string oneLine(std::u16string_view text) {
  std::u16string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    line += (text[i] == u'\r' || text[i] == u'\n') ? u' ' : text[i];
  }
  line = EscapeControls(Trim(line));
  return line.empty() ? u"unknown error" : line;
}

// A file rewritten whole after each change. When many tests run at once it is
// written at most once a second while results arrive (and once at the end,
// through flush): a thousand servers would otherwise mean a thousand writes
// of a thousand entries per cycle.
class TBatchedWrite {
 public:
  TBatchedWrite(const TClock& clock, std::function<void()> write)
      : _clock(clock), _write(std::move(write)) {}

  void changed() {
    if (!_batched) return _write();
    _dirty = true;
    flush(false);
  }
  void batch() { _batched = true; }
  void flush(bool force) {
    if (!_dirty) return;
    const auto now = _clock.MonotonicNow();
    if (!force && _written && now - *_written < kBatchInterval) return;
    _dirty = false;
    _written = now;
    _write();
  }

 private:
  static constexpr auto kBatchInterval = std::chrono::seconds(1);
  const TClock& _clock;
  std::function<void()> _write;
  bool _batched = false;
  bool _dirty = false;
  std::optional<TClock::TimePoint> _written;
};

// Outages carried between runs through the state file. Trouble with the file
// is reported once and never stops the monitor: it then runs as if it had
// no memory.
class TKeptOutages {
 public:
  TKeptOutages(const TSettings& settings, std::u16string fileName, std::ostream& err,
               const TClock& clock)
      : _settings(settings),
        _file(std::move(fileName)),
        _err(err),
        _saves(clock, [this] { save(); }) {}

  void restoreInto(TOutageBook& outages) {
    std::optional<std::u16string> problem;
    const TOutageStates stored = _file.load(problem);
    if (problem)
      _err << "quorvex: " << localBytes(*problem) << "; starting without earlier outages"
           << std::endl;
    // Servers no longer in the catalogue are dropped.
    for (int i = 0; i < _settings.ServerCount(); ++i) {
      const auto found = stored.find(_settings.Servers(i).OVPNFileBytes());
      if (found == stored.end()) continue;
      _states[found->first] = found->second;
      outages.restore(i, found->second);
    }
    if (problem || _states != stored) save();
  }

  void changed(int row, const TOutageState& state) {
    _states[_settings.Servers(row).OVPNFileBytes()] = state;
    _saves.changed();
  }

  TBatchedWrite& saves() { return _saves; }

 private:
  void save() {
    try {
      _file.save(_states);
    } catch (const std::exception& e) {
      if (_saveFailed) return;
      _saveFailed = true;
      _err << "quorvex: " << e.what() << "; outages are not remembered after this run" << std::endl;
    }
  }

  const TSettings& _settings;
  TOutageStateFile _file;
  std::ostream& _err;
  TOutageStates _states;
  bool _saveFailed = false;
  TBatchedWrite _saves;
};

// The metrics file, rewritten after every status change and alert. Trouble
// with the file is reported once and never stops the monitor.
class TKeptMetrics {
 public:
  TKeptMetrics(const TSettings& settings, const std::u16string& fileName, std::ostream& err,
               const TClock& clock)
      : _settings(settings),
        _metrics(serverNames(settings), localBytes(fileName)),
        _err(err),
        _clock(clock),
        _writes(clock, [this] { write(); }) {}

  void statusChanged(int row, const std::u16string& status, const TFailureReason& reason) {
    const double wallTime =
        std::chrono::duration<double>(_clock.WallNow().time_since_epoch()).count();
    _metrics.statusChanged(row, status, wallTime, _clock.MonotonicNow(), reason.word());
    _writes.changed();
  }

  void alertSent(const TVPNServer& server) {
    for (int i = 0; i < _settings.ServerCount(); ++i) {
      if (&_settings.Servers(i) != &server) continue;
      _metrics.alertSent(i);
      _writes.changed();
    }
  }

  TBatchedWrite& writes() { return _writes; }

  void write() {
    try {
      _metrics.write();
    } catch (const std::exception& e) {
      if (_writeFailed) return;
      _writeFailed = true;
      _err << "quorvex: " << e.what() << "; metrics are not written" << std::endl;
    }
  }

 private:
  static std::vector<std::u16string> serverNames(const TSettings& settings) {
    std::vector<std::u16string> names;
    for (int i = 0; i < settings.ServerCount(); ++i) names.push_back(settings.Servers(i).Name());
    return names;
  }

  const TSettings& _settings;
  TMetricsFile _metrics;
  std::ostream& _err;
  const TClock& _clock;
  bool _writeFailed = false;
  TBatchedWrite _writes;
};

// The window's schedule: one server after the other, one tick every 300 ms.
void runOneAtATime(TTestCycle& cycle, const THeadlessView& view, TStopSignals& stopSignals,
                   bool once, std::ostream& err) {
  cycle.btnStartClick();
  // The first tick at once: nothing on screen waits for it, and a run from
  // cron is a tick shorter.
  auto nextTick = std::chrono::steady_clock::now();
  while (view.timerEnabled()) {
    // Bounded by one tick interval; a stop signal ends it at once.
    const auto remaining =
        std::chrono::ceil<std::chrono::milliseconds>(nextTick - std::chrono::steady_clock::now());
    if (stopSignals.wait(std::max<int>(0, static_cast<int>(remaining.count())))) {
      // A single run reports results, so one already reached must stand.
      if (once) {
        cycle.stopKeepingResults();
      } else {
        cycle.btnStopClick();
      }
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextTick) continue;
    nextTick = now + kTickInterval;
    try {
      cycle.tmrTestTimer();
    } catch (const std::exception& e) {
      // As in the window: the error is shown and the next tick goes on.
      err << "quorvex: " << e.what() << std::endl;
    }
  }
}

}  // namespace

THeadlessView::THeadlessView(const TSettings& settings, bool repeat, bool verbose,
                             std::ostream& out, const TClock& clock)
    : _login(settings.Username()),
      _password(settings.Password()),
      _repeat(repeat),
      _verbose(verbose),
      _out(out),
      _clock(clock) {
  for (int i = 0; i < settings.ServerCount(); ++i) {
    _names.push_back(settings.Servers(i).Name());
    _statuses.push_back(kStatusNotRun);
    _reasons.emplace_back();
  }
}

void THeadlessView::setOutputText(const std::u16string& text) {
  _output.clear();
  endOutputLine();
  appendOutput(text);
}

void THeadlessView::appendOutput(const std::u16string& text) {
  _output += text;
  if (!_verbose || text.empty()) return;
  _out << localBytes(text);
  _out.flush();
  _atLineStart = text.back() == u'\n';
}

void THeadlessView::endOutputLine() {
  if (_atLineStart) return;
  _out << '\n';
  _atLineStart = true;
}

void THeadlessView::setRowStatus(int row, const std::u16string& status,
                                 const TFailureReason& reason) {
  _statuses.at(row) = status;
  _reasons.at(row) = reason.kind == TFailureKind::None ? u"" : oneLine(reason.text());
  endOutputLine();
  _out << timestamp(_clock.Now()) << '\t' << shownName(_names.at(row)) << '\t'
       << localBytes(status);
  // A failure says why in a fourth field.
  if (!_reasons[row].empty()) _out << '\t' << localBytes(_reasons[row]);
  _out << std::endl;
  if (_statusListener) _statusListener(row, status, reason);
}

TOnceSummary summarizeOnce(const std::vector<std::u16string>& names,
                           const std::vector<std::u16string>& statuses,
                           const std::vector<std::u16string>& reasons) {
  const size_t total = statuses.size();
  if (total == 0) return unknownSummary("no client configurations to test");
  size_t up = 0;
  std::string down;
  for (size_t i = 0; i < total; ++i) {
    if (statuses[i] == kStatusSuccessful) {
      ++up;
    } else if (statuses[i] == kStatusFailed || statuses[i] == kStatusFailedToStart) {
      down += (down.empty() ? "" : ", ") + plainName(names[i]);
      if (i < reasons.size() && !reasons[i].empty()) down += " (" + plainName(reasons[i]) + ")";
    } else {
      return unknownSummary("interrupted before every server was tested");
    }
  }
  const size_t downCount = total - up;
  // Critical as soon as one is down: the range "0" alerts on anything above 0.
  const std::string perf = " | up=" + std::to_string(up) + ";;;0;" + std::to_string(total) +
                           " down=" + std::to_string(downCount) + ";;0;0;" + std::to_string(total);
  if (downCount == 0) {
    return {"QUORVEX OK - " + std::to_string(up) + " of " + std::to_string(total) + " servers up" +
                perf,
            kExitOk};
  }
  return {"QUORVEX CRITICAL - " + std::to_string(downCount) + " of " + std::to_string(total) +
              " servers down: " + down + perf,
          kExitCritical};
}

TOnceSummary unknownSummary(const std::string& message) {
  std::string line = "QUORVEX UNKNOWN - " + message;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return {line, kExitUnknown};
}

TTestCycle::AlertMail headlessAlertMail(const TSettings& settings, TQxSMTP& idSMTP) {
  return [&settings, &idSMTP](const TVPNServer& server, const std::u16string& reason) {
    sendMail(idSMTP, alertMailFieldsFrom(settings), false, server.Name(), {}, reason);
  };
}

TTestCycle::RecoveryMail headlessRecoveryMail(const TSettings& settings, TQxSMTP& idSMTP) {
  return [&settings, &idSMTP](const TVPNServer& server, std::chrono::seconds outage,
                              const std::u16string& reason) {
    sendRecoveryMail(idSMTP, alertMailFieldsFrom(settings), server.Name(), outage, {}, reason);
  };
}

void applyOptionValues(TSettings& settings, const TCommandLine& options) {
  TOptions values = settings.Options();
  for (const auto& [name, value] : options.optionValues) {
    if (const TOptionSpec* spec = findOption(name)) values.SetText(spec->id, value);
  }
  settings.SetOptions(values);
}

int runHeadlessCycle(const TSettings& settings, const TCommandLine& options,
                     TTestCycle::ProcessFactory processes, TTestCycle::AlertMail alertMail,
                     std::ostream& out, std::ostream& err, TTestCycle::RecoveryMail recoveryMail) {
  if (options.once && settings.ServerCount() == 0) {
    const TOnceSummary summary = unknownSummary(localBytes(noServersText(settings)));
    out << summary.line << std::endl;
    return summary.exitCode;
  }
  if (settings.ServerCount() == 0)
    err << "quorvex: " << localBytes(noServersText(settings)) << std::endl;
  if (const std::u16string warning = emptyLoginWarning(settings, settings.Username());
      !warning.empty())
    err << "quorvex: " << localBytes(warning) << std::endl;

  const TClock& clock = TClock::System();
  // A single run is read by monitoring engines, which take the first line:
  // the summary goes first, the status lines follow it as the long output.
  std::ostringstream longOutput;
  std::ostream& lines = options.once ? longOutput : out;
  THeadlessView view(settings, !options.once, options.verbose, lines, clock);
  std::unique_ptr<TKeptMetrics> metrics;
  if (options.metricsFile) {
    metrics = std::make_unique<TKeptMetrics>(settings, *options.metricsFile, err, clock);
    metrics->write();  // the servers are known before any test ends
    view.setStatusListener(
        [&metrics](int row, const std::u16string& status, const TFailureReason& reason) {
          metrics->statusChanged(row, status, reason);
        });
  }
  // One line per alert: sent on the output, not sent on the error stream.
  auto reportingAlert = [&lines, &err, &clock, &metrics, alertMail = std::move(alertMail)](
                            const TVPNServer& server, const std::u16string& reason) {
    try {
      alertMail(server, reason);
      lines << timestamp(clock.Now()) << "\talert for " << plainName(server.Name()) << " sent"
            << std::endl;
      if (metrics) metrics->alertSent(server);
    } catch (const std::exception& e) {
      err << "quorvex: alert for " << plainName(server.Name())
          << " not sent: " << localBytes(oneLine(mailErrorText(e))) << std::endl;
      throw;
    }
  };
  // No more tests at once than there are servers: only those need files.
  const int jobs =
      std::min(settings.Options().Integer(TOptionId::Jobs), std::max(1, settings.ServerCount()));
  // Each test holds a few descriptors; the hard limit is what may be had.
  const TOpenFileLimit files = raiseOpenFileLimit();
  if (jobs > 1 && jobs > maxJobsByOpenFiles()) {
    const auto limitText = [](const std::optional<long long>& limit) {
      return limit ? std::to_string(*limit) : std::string("unlimited");
    };
    const std::string message =
        "cannot test " + std::to_string(jobs) +
        " servers at once: the limit of open files allows at most " +
        std::to_string(maxJobsByOpenFiles()) + " (soft limit " + limitText(files.soft) +
        ", hard limit " + limitText(files.hard) +
        "; raise the hard limit, with LimitNOFILE= for the service or ulimit -Hn)";
    if (options.once) {
      out << unknownSummary(message).line << std::endl;
    } else {
      err << "quorvex: " << message << std::endl;
    }
    return kExitUnknown;
  }
  TTestCycle cycle(settings, view, processes, reportingAlert, clock);
  if (recoveryMail) {
    cycle.setRecoveryMail(
        [&lines, &err, &clock, recoveryMail = std::move(recoveryMail)](
            const TVPNServer& server, std::chrono::seconds outage, const std::u16string& reason) {
          try {
            recoveryMail(server, outage, reason);
            lines << timestamp(clock.Now()) << "\trecovery mail for " << plainName(server.Name())
                  << " sent" << std::endl;
          } catch (const std::exception& e) {
            err << "quorvex: recovery mail for " << plainName(server.Name())
                << " not sent: " << localBytes(oneLine(mailErrorText(e))) << std::endl;
            throw;
          }
        });
  }
  std::unique_ptr<TKeptOutages> kept;
  if (options.stateFile) {
    kept = std::make_unique<TKeptOutages>(settings, *options.stateFile, err, clock);
    kept->restoreInto(cycle.outages());
    cycle.setOutageChanged(
        [&kept](int row, const TOutageState& state) { kept->changed(row, state); });
  }
  TStopSignals stopSignals;

  if (jobs > 1) {
    // Several servers at once: the cycle lends its outages.
    TParallelRun run(settings, view, processes, cycle.outages(), clock, {jobs, !options.once},
                     options.verbose ? &lines : nullptr);
    std::vector<TBatchedWrite*> files;
    if (kept) files.push_back(&kept->saves());
    if (metrics) files.push_back(&metrics->writes());
    for (TBatchedWrite* file : files) file->batch();
    run.setAfterVerdicts([&files] {
      for (TBatchedWrite* file : files) file->flush(false);
    });
    run.run(stopSignals.fd());
    run.setAfterVerdicts({});
    for (TBatchedWrite* file : files) file->flush(true);
  } else {
    runOneAtATime(cycle, view, stopSignals, options.once, err);
  }

  if (!options.once) return kExitOk;
  std::vector<std::u16string> names;
  for (int i = 0; i < settings.ServerCount(); ++i) names.push_back(settings.Servers(i).Name());
  // A stop after the last test still reports the results.
  const TOnceSummary summary = summarizeOnce(names, view.statuses(), view.reasons());
  // A "|" in the long output would start perfdata of its own.
  std::string details = longOutput.str();
  std::replace(details.begin(), details.end(), '|', '_');
  out << summary.line << '\n' << details << std::flush;
  return summary.exitCode;
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
    const auto idSMTP = makeAlertSMTP();
    return runHeadlessCycle(*settings, withState, consoleAppFactory(),
                            headlessAlertMail(*settings, *idSMTP), out, err,
                            headlessRecoveryMail(*settings, *idSMTP));
  } catch (const std::exception& e) {
    out << unknownSummary(e.what()).line << std::endl;
    return kExitUnknown;
  }
}

}  // namespace quorvex

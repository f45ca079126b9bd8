#include "app/test_cycle.h"

#include <langinfo.h>

#include <climits>

#include "platform/text.h"

namespace quorvex {

namespace {

constexpr int kReadTimeoutMs = 100;
constexpr char16_t kCrLf[] = u"\r\n";
constexpr char16_t kUsernamePrompt[] = u"username:";
constexpr char16_t kPasswordPrompt[] = u"password:";
constexpr char16_t kConnected[] = u"Initialization Sequence Completed";
constexpr char16_t kTapFailure[] = u"CreateFile failed on TAP device";
// The same failure in openvpn's words on Linux.
constexpr char16_t kTunFailure[] = u"Cannot open TUN/TAP dev";
// systemd's password agent ends its prompts with a blank and, for a password,
// this hint; neither is part of the prompt.
constexpr char16_t kAgentHint[] = u"(press TAB for no echo)";

std::u16string_view withoutTrailingBlanks(std::u16string_view text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// True when the output ends in the prompt: trailing blanks and the password
// agent's hint do not count, anything else after it does.
bool endsWithPrompt(const std::u16string& output, std::u16string_view prompt) {
  std::u16string_view text = withoutTrailingBlanks(output);
  if (EndsWithNoCase(text, kAgentHint))
    text =
        withoutTrailingBlanks(text.substr(0, text.size() - std::u16string_view(kAgentHint).size()));
  return EndsWithNoCase(text, prompt);
}

bool contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

double secondsBetween(TClock::TimePoint from, TClock::TimePoint to) {
  return std::chrono::duration<double>(to - from).count();
}

// The character that follows the hours in the locale's time format.
char16_t localeTimeSeparator() {
  const char* format = nl_langinfo(T_FMT);
  if (format == nullptr) return u':';
  const std::u16string text = fromUtf8(format);
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == u'%' && (text[i + 1] == u'H' || text[i + 1] == u'I') && text[i + 2] != u'%') {
      return text[i + 2];
    }
  }
  return u':';
}

}  // namespace

std::u16string formatLastRun(TDateTime localTime) {
  auto twoDigits = [](int value) {
    value = ((value % 100) + 100) % 100;
    return std::u16string{static_cast<char16_t>(u'0' + value / 10),
                          static_cast<char16_t>(u'0' + value % 10)};
  };
  const char16_t separator = localeTimeSeparator();
  const TDateTimeParts parts = DecodeDateTime(localTime);
  return twoDigits(parts.hour) + separator + twoDigits(parts.minute) + separator +
         twoDigits(parts.second);
}

TTestCycle::TTestCycle(const TSettings& settings, ITestCycleView& view, ProcessFactory processes,
                       AlertMail alertMail, const TClock& clock)
    : _settings(settings),
      _view(view),
      _processes(std::move(processes)),
      _alertMail(std::move(alertMail)),
      _clock(clock),
      _outages(static_cast<size_t>(settings.ServerCount())) {}

TTestCycle::~TTestCycle() = default;

void TTestCycle::btnStartClick() {
  _view.setInputsEnabled(false);
  _view.setStopEnabled(true);
  _serverIndex = -1;
  _view.setTimerEnabled(true);
}

void TTestCycle::btnStopClick() {
  _view.setTimerEnabled(false);
  _ovpn.reset();
  enableControls();
  // The run was interrupted at this server, whether or not its test had ended in
  // the last tick; while waiting to repeat the index names no server.
  if (_serverIndex >= 0 && _serverIndex < _settings.ServerCount()) {
    _view.setRowStatus(_serverIndex, kStatusInterrupted);
    _view.setRowLastRun(_serverIndex, u"");
  }
}

void TTestCycle::stopKeepingResults() {
  if (testing()) {
    btnStopClick();
    return;
  }
  _view.setTimerEnabled(false);
  enableControls();
}

void TTestCycle::enableControls() {
  _view.setInputsEnabled(true);
  _view.setStopEnabled(false);
}

void TTestCycle::tmrTestTimer() {
  if (!_ovpn) {
    advance();
    if (!_ovpn) return;
  }
  pollChild();
}

void TTestCycle::advance() {
  if (_serverIndex == -1) _cycleStartTime = _clock.MonotonicNow();
  // While waiting to repeat the index keeps rising; it stops short of overflowing.
  if (_serverIndex < INT32_MAX) ++_serverIndex;
  if (_serverIndex >= _settings.ServerCount()) {
    if (_view.repeatChecked()) {
      const double minutes = secondsBetween(_cycleStartTime, _clock.MonotonicNow()) / 60.0;
      if (minutes > _settings.RepeatPeriod()) _serverIndex = -1;
    } else {
      _view.setTimerEnabled(false);
      enableControls();
    }
    return;
  }
  _output.clear();
  _view.setOutputText(_output);
  if (startServer()) setStatus(kStatusRunning);
}

bool TTestCycle::startServer() {
  try {
    _testStartTime = _clock.MonotonicNow();
    const TVPNServer& server = _settings.Servers(_serverIndex);
    // The test only has to learn whether the server accepts the connection:
    // no device is opened and no address or route applied, so it needs no
    // root and never reroutes the machine. A full tunnel test, asked for,
    // runs the configuration as written.
    static const char* const kNoDevice[] = {"--dev", "null", "--ifconfig-noexec", "--route-noexec"};
    TChildCommand command{{"openvpn", "--config", server.OVPNFileBytes()},
                          _settings.ConfigDirBytes(),
                          u"",
                          u"openvpn --config \"" + server.OVPNFilename() + u"\""};
    if (!_settings.Options().Boolean(TOptionId::FullTunnel)) {
      for (const char* arg : kNoDevice) {
        command.args.emplace_back(arg);
        command.cmdLine += u' ' + fromUtf8(arg);
      }
    }
    _ovpn = _processes(command);
    _ovpn->run();
    return true;
  } catch (...) {
    // The reason is not shown: the row's status says it all.
    setStatus(kStatusFailedToStart);
    return false;
  }
}

void TTestCycle::appendOutput(const std::u16string& text) {
  _output += text;
  _view.appendOutput(text);
}

void TTestCycle::pollChild() {
  const std::u16string text = _ovpn->readOutput(kReadTimeoutMs);
  if (!text.empty()) appendOutput(text);

  if (!_ovpn->isRunning()) {
    const bool deviceRefused = contains(_output, kTapFailure) || contains(_output, kTunFailure);
    setStatus(deviceRefused ? kStatusSuccessful : kStatusFailed);
    return;
  }
  if (endsWithPrompt(_output, kUsernamePrompt)) {
    const std::u16string login = _view.loginText();
    _ovpn->writeInput(login + kCrLf);
    appendOutput(login + kCrLf);
  } else if (endsWithPrompt(_output, kPasswordPrompt)) {
    _ovpn->writeInput(_view.passwordText() + kCrLf);
    appendOutput(kCrLf);
  } else if (contains(_output, kConnected)) {
    setStatus(kStatusSuccessful);
  } else if (secondsBetween(_testStartTime, _clock.MonotonicNow()) >
             _settings.ConnectionTimeout()) {
    setStatus(kStatusFailed);
  }
}

void TTestCycle::setStatus(const std::u16string& status) {
  const int row = _serverIndex;
  _view.setRowStatus(row, status);
  if (status == kStatusRunning) {
    _view.setRowLastRun(row, u"");
  } else {
    _view.setRowLastRun(row, formatLastRun(_clock.Now()));
    _ovpn.reset();  // terminates the child before any alert goes out
  }
  judgeOutage(row, status);
}

void TTestCycle::judgeOutage(int row, const std::u16string& status) {
  const TTestResult result = status == kStatusSuccessful ? TTestResult::Successful
                             : status == kStatusFailed   ? TTestResult::Failed
                                                         : TTestResult::Neither;
  if (result == TTestResult::Neither) return;
  const TAlertPolicy policy(alertPolicySettings(_settings.Options()));
  const TWallTime now = _clock.WallNow();
  TOutageState& state = _outages.at(row);
  const TOutageState before = state;
  const TAlertDecision decision = policy.judge(state, result, now);
  if (decision.mail) {
    const TVPNServer& server = _settings.Servers(row);
    try {
      if (*decision.mail != TAlertMailKind::Recovery)
        _alertMail(server);
      else if (_recoveryMail)
        _recoveryMail(server, decision.outageLength);
      policy.mailSent(state, *decision.mail, now);
    } catch (...) {
      // A failed alert is retried at the server's next "Failed".
    }
  }
  if (_outageChanged && state != before) _outageChanged(row, state);
}

TAlertPolicySettings alertPolicySettings(const TOptions& options) {
  return {options.Integer(TOptionId::FailureThreshold), options.Boolean(TOptionId::RecoveryMail),
          std::chrono::hours(options.Integer(TOptionId::ReminderHours))};
}

}  // namespace quorvex

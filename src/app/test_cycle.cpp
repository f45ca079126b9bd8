#include "app/test_cycle.h"

#include <langinfo.h>

#include <climits>

#include "app/server_test.h"
#include "platform/text.h"

namespace quorvex {

namespace {

constexpr int kReadTimeoutMs = 100;

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
      _clock(clock),
      _outages(settings, std::move(alertMail), _clock) {}

TTestCycle::~TTestCycle() = default;

void TTestCycle::btnStartClick() {
  _view.setInputsEnabled(false);
  _view.setStopEnabled(true);
  _serverIndex = -1;
  _view.setTimerEnabled(true);
}

void TTestCycle::btnStopClick() {
  _view.setTimerEnabled(false);
  _test.reset();
  enableControls();
  // The run was interrupted at this server, whether or not its test had ended in
  // the last tick; while waiting to repeat the index names no server.
  if (_serverIndex >= 0 && _serverIndex < _settings.ServerCount()) {
    _view.setRowStatus(_serverIndex, kStatusInterrupted, {});
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
  if (!_test) {
    advance();
    if (!_test) return;
  }
  if (const auto outcome = _test->step(kReadTimeoutMs)) setStatus(outcome->status, outcome->reason);
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
  _view.setOutputText(u"");
  _test = std::make_unique<TServerTest>(
      _settings, _serverIndex, _view, _clock,
      [this](const std::u16string& text) { _view.appendOutput(text); });
  // The tick that starts a child goes on to read it at once.
  if (const auto notStarted = _test->start(_processes))
    setStatus(kStatusFailedToStart, *notStarted);
  else
    setStatus(kStatusRunning);
}

void TTestCycle::setStatus(const std::u16string& status, const TFailureReason& reason) {
  const int row = _serverIndex;
  _view.setRowStatus(row, status, reason);
  if (status == kStatusRunning) {
    _view.setRowLastRun(row, u"");
  } else {
    _view.setRowLastRun(row, formatLastRun(_clock.Now()));
    _test.reset();  // terminates the child before any alert goes out
  }
  _outages.judge(row, status, reason);
}

TAlertPolicySettings alertPolicySettings(const TOptions& options) {
  return {options.Integer(TOptionId::FailureThreshold), options.Boolean(TOptionId::RecoveryMail),
          std::chrono::hours(options.Integer(TOptionId::ReminderHours))};
}

}  // namespace quorvex

#include "app/outage_book.h"

#include "app/test_cycle.h"

namespace quorvex {

TOutageBook::TOutageBook(const TSettings& settings, AlertMail alertMail, const TClock& clock)
    : _settings(settings),
      _alertMail(std::move(alertMail)),
      _clock(clock),
      _outages(static_cast<size_t>(settings.ServerCount())),
      _lastReasons(_outages.size()) {}

void TOutageBook::judge(int row, const std::u16string& status, const TFailureReason& reason) {
  const TTestResult result = status == kStatusSuccessful ? TTestResult::Successful
                             : status == kStatusFailed   ? TTestResult::Failed
                                                         : TTestResult::Neither;
  if (result == TTestResult::Neither) return;
  std::u16string& lastReason = _lastReasons.at(row);
  if (result == TTestResult::Failed) lastReason = reason.text();
  // An outage carried over from an earlier run has no reason on record.
  if (lastReason.empty()) lastReason = u"unknown";
  const TAlertPolicy policy(alertPolicySettings(_settings.Options()));
  const TWallTime now = _clock.WallNow();
  TOutageState& state = _outages.at(row);
  const TOutageState before = state;
  const TAlertDecision decision = policy.judge(state, result, now);
  if (decision.mail) {
    const TVPNServer& server = _settings.Servers(row);
    try {
      if (*decision.mail != TAlertMailKind::Recovery)
        _alertMail(server, lastReason);
      else if (_recoveryMail)
        _recoveryMail(server, decision.outageLength, lastReason);
      policy.mailSent(state, *decision.mail, now);
    } catch (...) {
      // A failed alert is retried at the server's next "Failed".
    }
  }
  if (_outageChanged && state != before) _outageChanged(row, state);
}

}  // namespace quorvex

#include "app/outage_book.h"

#include "app/test_cycle.h"

namespace quorvex {

TOutageBook::TOutageBook(const TSettings& settings, AlertMail alertMail, const TClock& clock)
    : _settings(settings),
      _alertMail(std::move(alertMail)),
      _clock(clock),
      _outages(static_cast<size_t>(settings.ServerCount())) {}

void TOutageBook::judge(int row, const std::u16string& status) {
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

}  // namespace quorvex

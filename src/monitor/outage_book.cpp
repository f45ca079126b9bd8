#include "monitor/outage_book.h"

#include "monitor/verdict.h"

namespace quorvex {

TAlertPolicySettings alertPolicySettings(const TOptions& options) {
  return {options.Integer(TOptionId::FailureThreshold), options.Boolean(TOptionId::RecoveryMail),
          std::chrono::hours(options.Integer(TOptionId::ReminderHours))};
}

TOutageBook::TOutageBook(const TSettings& settings, IDeliveryQueue& deliveries,
                         IMonitorObserver& observers, AlertMail alertMail,
                         RecoveryMail recoveryMail)
    : _settings(settings),
      _deliveries(deliveries),
      _observers(observers),
      _alertMail(std::move(alertMail)),
      _recoveryMail(std::move(recoveryMail)),
      _outages(static_cast<size_t>(settings.ServerCount())),
      _alertPending(_outages.size()) {}

void TOutageBook::statusChanged(const TStatusChange& change) {
  const TTestResult result = policyResult(change.verdict);
  if (result == TTestResult::Neither) return;
  const int row = change.row;
  const TAlertPolicy policy(alertPolicySettings(_settings.Options()));
  TOutageState& state = _outages.at(row);
  const TOutageState before = state;
  // The reason of the outage's last failure, kept with it (across runs too:
  // an outage from a state file of an older version has none on record).
  std::u16string lastReason = result == TTestResult::Failed ? change.reason.text() : state.reason;
  if (lastReason.empty()) lastReason = u"unknown";
  const TAlertDecision decision = policy.judge(state, result, change.wallTime);
  if (result == TTestResult::Failed) state.reason = change.reason.text();
  _judging = row;
  if (decision.mail) {
    const TVPNServer& server = _settings.Servers(row);
    const TAlertMailKind kind = *decision.mail;
    TDelivery delivery;
    delivery.row = row;
    if (kind != TAlertMailKind::Recovery && !_alertPending.at(row)) {
      delivery.kind = TDeliveryKind::Alert;
      delivery.what = u"alert for " + server.Name();
      delivery.send = _alertMail(server, lastReason);
      _alertPending.at(row) = true;
    } else if (kind == TAlertMailKind::Recovery && _recoveryMail) {
      delivery.kind = TDeliveryKind::Recovery;
      delivery.what = u"recovery mail for " + server.Name();
      delivery.send = _recoveryMail(server, decision.outageLength, lastReason);
    }
    if (delivery.send) {
      delivery.done = [this, row, kind](const TDeliveryOutcome& outcome) {
        mailDone(row, kind, outcome);
      };
      _deliveries.enqueue(std::move(delivery));
    }
  }
  _judging.reset();
  changed(row, before);
}

void TOutageBook::mailDone(int row, TAlertMailKind kind, const TDeliveryOutcome& outcome) {
  if (kind == TAlertMailKind::Recovery) return;  // the outage is over already; not retried
  _alertPending.at(row) = false;
  // A failed alert is retried at the server's next "Failed".
  if (!outcome.sent) return;
  TOutageState& state = _outages.at(row);
  const TOutageState before = state;
  // The server may have come back while the mail was on its way: that outage
  // is closed and the next one gets an alert of its own.
  if (state.failures == 0) return;
  TAlertPolicy(alertPolicySettings(_settings.Options())).mailSent(state, kind, outcome.wallTime);
  // Told once with the result when the mail went out while it was judged.
  if (_judging != row) changed(row, before);
}

void TOutageBook::changed(int row, const TOutageState& before) {
  if (_outages.at(row) != before) _observers.outageChanged(row, _outages.at(row));
}

}  // namespace quorvex

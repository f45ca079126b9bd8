#include "alerts/notification_book.h"

namespace quorvex {

namespace {

TAlertPolicySettings withRecovery(TAlertPolicySettings policy) {
  policy.recoveryMail = true;
  return policy;
}

std::optional<std::chrono::seconds> since(const TOutageState& state, TWallTime now) {
  if (!state.outageStart || *state.outageStart > now) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::seconds>(now - *state.outageStart);
}

}  // namespace

TNotificationBook::TNotificationBook(size_t notifierCount, size_t serverCount,
                                     TAlertPolicySettings policy)
    : _policy(withRecovery(policy)), _entries(notifierCount, std::vector<TEntry>(serverCount)) {}

std::vector<TNotificationBook::TDue> TNotificationBook::judge(
    const std::vector<TNotifierConfig>& notifiers, int row, TTestResult result, TWallTime now) {
  std::vector<TDue> due;
  if (result == TTestResult::Neither) return due;
  for (size_t n = 0; n < notifiers.size() && n < _entries.size(); ++n) {
    TEntry& e = entry(n, row);
    // A down still on its way counts as sent for the up that follows it:
    // the queue keeps them in order.
    const bool downOnItsWay = e.pending && !e.state.alerted;
    const std::optional<std::chrono::seconds> outage = since(e.state, now);
    const TAlertDecision decision = _policy.judge(e.state, result, now);
    if (!decision.mail) {
      if (result == TTestResult::Successful && downOnItsWay &&
          notifiers[n].events.has(TNotifyEvent::Up))
        due.push_back({n, TNotifyEvent::Up, outage});
      if (result == TTestResult::Successful) e.pending = false;
      continue;
    }
    if (*decision.mail == TAlertMailKind::Recovery) {
      e.pending = false;
      if (notifiers[n].events.has(TNotifyEvent::Up))
        due.push_back({n, TNotifyEvent::Up, decision.outageLength});
      continue;
    }
    const TNotifyEvent event =
        *decision.mail == TAlertMailKind::Alert ? TNotifyEvent::Down : TNotifyEvent::Reminder;
    if (e.pending) continue;
    if (!notifiers[n].events.has(event)) {
      // Not wanted: as good as sent, so that reminders and the up still follow.
      _policy.mailSent(e.state, *decision.mail, now);
      continue;
    }
    e.pending = true;
    due.push_back({n, event, since(e.state, now)});
  }
  return due;
}

void TNotificationBook::restore(int row, const TOutageState& state) {
  for (size_t n = 0; n < _entries.size(); ++n) entry(n, row) = {state, false};
}

void TNotificationBook::done(size_t notifier, int row, TNotifyEvent event, bool sent,
                             TWallTime now) {
  TEntry& e = entry(notifier, row);
  if (event == TNotifyEvent::Up || !e.pending) return;
  e.pending = false;
  // The server may have come back meanwhile: then there is no outage to mark.
  if (sent && e.state.failures > 0)
    _policy.mailSent(e.state,
                     event == TNotifyEvent::Down ? TAlertMailKind::Alert : TAlertMailKind::Reminder,
                     now);
}

}  // namespace quorvex

#include "monitor/notifier_observer.h"

#include "monitor/outage_book.h"
#include "monitor/verdict.h"
#include "platform/host_name.h"
#include "platform/text.h"

namespace quorvex {

TNotifierObserver::TNotifierObserver(const TSettings& settings, IDeliveryQueue& deliveries,
                                     TNotifyLimits limits)
    : _settings(settings),
      _deliveries(deliveries),
      _limits(std::move(limits)),
      _book(settings.Notifiers().size(), static_cast<size_t>(settings.ServerCount()),
            alertPolicySettings(settings.Options())),
      _monitorHost(LocalFullyQualifiedName()),
      _lastReasons(static_cast<size_t>(settings.ServerCount())) {}

void TNotifierObserver::statusChanged(const TStatusChange& change) {
  const TTestResult result = policyResult(change.verdict);
  if (result == TTestResult::Neither || _settings.Notifiers().empty()) return;
  std::u16string& lastReason = _lastReasons.at(change.row);
  if (result == TTestResult::Failed) lastReason = change.reason.text();
  const auto due = _book.judge(_settings.Notifiers(), change.row, result, change.wallTime);
  const TVPNServer& server = _settings.Servers(change.row);
  for (const TNotificationBook::TDue& d : due) {
    const TNotifierConfig& notifier = _settings.Notifiers()[d.notifier];
    TNotificationFacts facts;
    facts.event = d.event;
    facts.server = server.Name();
    facts.status = std::u16string(verdictText(change.verdict));
    if (d.event != TNotifyEvent::Up) facts.reason = lastReason;
    facts.time = change.wallTime;
    facts.localTime = u16(TimestampText(change.localTime));
    facts.outage = d.outage;
    facts.monitorHost = _monitorHost;
    TDelivery delivery;
    delivery.kind = TDeliveryKind::Notification;
    delivery.row = change.row;
    delivery.notifier = notifier.name;
    delivery.what = notificationSubject(notifier, facts);
    // The job owns copies: it runs on the queue's thread.
    delivery.send = [notifier, facts, limits = _limits] {
      sendNotification(notifier, facts, limits);
    };
    delivery.done = [this, index = d.notifier, row = change.row,
                     event = d.event](const TDeliveryOutcome& outcome) {
      _book.done(index, row, event, outcome.sent, outcome.wallTime);
    };
    _deliveries.enqueue(std::move(delivery));
  }
}

}  // namespace quorvex

#include "monitor/delivery.h"

#include "alerts/alert_mail.h"
#include "monitor/report_text.h"

namespace quorvex {

std::u16string TDeliveryOutcome::line() const {
  return what + (sent ? u" sent" : u" not sent: " + error);
}

TDeliveryOutcome runDelivery(const TDelivery& delivery) {
  TDeliveryOutcome outcome{delivery.kind, delivery.row, delivery.what, false, {}};
  try {
    delivery.send();
    outcome.sent = true;
  } catch (const std::exception& e) {
    outcome.error = oneLine(mailErrorText(e));
  } catch (...) {
    outcome.error = oneLine(u"");
  }
  return outcome;
}

void reportDelivery(const TDelivery& delivery, TDeliveryOutcome outcome,
                    IMonitorObserver& observers, const TClock& clock) {
  outcome.localTime = clock.Now();
  outcome.wallTime = clock.WallNow();
  if (delivery.done) delivery.done(outcome);
  observers.deliveryDone(outcome);
}

void TImmediateDelivery::enqueue(TDelivery delivery) {
  reportDelivery(delivery, runDelivery(delivery), _observers, _clock);
}

}  // namespace quorvex

#pragma once

#include <functional>
#include <string>

#include "monitor/observer.h"
#include "platform/clock.h"

namespace quorvex {

// Sends one mail or notification. It may run on another thread than the
// engine's, so it owns everything it uses (a copy of the fields, an SMTP
// client of its own); it raises when it fails, its message saying why.
using TSendJob = std::function<void()>;

// One mail or notification to go out.
struct TDelivery {
  TDeliveryKind kind = TDeliveryKind::Notification;
  int row = -1;         // the server it is about; -1 for none
  std::u16string what;  // "alert for NAME": the subject of the outcome line
  TSendJob send;
  // Told the outcome on the engine's thread, before the observers are.
  std::function<void(const TDeliveryOutcome&)> done{};
};

// The queue every mail and notification goes through: one at a time, in the
// order they were queued, none lost and none sent twice. Each outcome goes to
// the delivery's `done`, then to the observers' deliveryDone.
class IDeliveryQueue {
 public:
  virtual ~IDeliveryQueue() = default;
  virtual void enqueue(TDelivery delivery) = 0;
};

// Sends each delivery at once, on the caller's thread, and reports it
// before enqueue returns.
class TImmediateDelivery final : public IDeliveryQueue {
 public:
  TImmediateDelivery(IMonitorObserver& observers, const TClock& clock)
      : _observers(observers), _clock(clock) {}
  void enqueue(TDelivery delivery) override;

 private:
  IMonitorObserver& _observers;
  const TClock& _clock;
};

// Runs one delivery's job: its outcome, the error on one line when it failed.
TDeliveryOutcome runDelivery(const TDelivery& delivery);
// Tells the delivery and the observers of its outcome, stamped with the time.
void reportDelivery(const TDelivery& delivery, TDeliveryOutcome outcome,
                    IMonitorObserver& observers, const TClock& clock);

}  // namespace quorvex

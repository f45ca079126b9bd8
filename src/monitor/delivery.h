#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

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
  std::u16string notifier{};  // the notifier's name, for a notification
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

namespace quorvex {

// Sends the deliveries on a thread of its own, one at a time in the order
// they were queued, so that a slow mail server holds up neither a test nor
// the window. Outcomes come back on the engine's thread: collect() reports
// them, and wakeFd() turns readable when there are some to report.
class TDeliveryWorker final : public IDeliveryQueue {
 public:
  // `shutDownGrace`: how long a delivery under way at shut-down may still
  // take (the mail's own bounded waits).
  TDeliveryWorker(IMonitorObserver& observers, const TClock& clock,
                  std::chrono::milliseconds shutDownGrace);
  // Shuts down as shutDown does, but reports nothing: whoever was to be
  // told may be gone already.
  ~TDeliveryWorker() override;
  TDeliveryWorker(const TDeliveryWorker&) = delete;
  TDeliveryWorker& operator=(const TDeliveryWorker&) = delete;

  void enqueue(TDelivery delivery) override;
  int wakeFd() const;
  // Reports the outcomes known so far, in the order the deliveries were queued.
  void collect();
  // Nothing queued, nothing under way, nothing left to report.
  bool idle() const;
  // Sends nothing more: what was queued and not started is reported not
  // sent; the delivery under way gets its grace, and is reported not sent if
  // it has not ended by then. Later deliveries are reported not sent at once.
  void shutDown();

 private:
  struct TShared;
  static void work(std::shared_ptr<TShared> shared);
  void finish(bool report);

  IMonitorObserver& _observers;
  const TClock& _clock;
  const std::chrono::milliseconds _grace;
  std::shared_ptr<TShared> _shared;  // with the thread, which may outlive this
  std::thread _thread;
  bool _shutDown = false;
};

}  // namespace quorvex

#pragma once

#include <string>

#include "alerts/alert_policy.h"
#include "monitor/failure_reason.h"
#include "monitor/verdict.h"
#include "platform/clock.h"
#include "platform/date_time.h"

namespace quorvex {

// A row's new status, with the moment it was reached on each clock, so that
// no observer reads a clock of its own.
struct TStatusChange {
  int row;
  TVerdict verdict;
  TFailureReason reason{};        // why, for Failed and Failed to start
  TDateTime localTime{};          // shown (Last Run, status lines)
  TWallTime wallTime{};           // kept or sent (metrics, history)
  TClock::TimePoint monotonic{};  // measures (a test's duration)
};

// What a delivery is: an alert (or its reminder), a recovery mail, or a
// notification of another kind.
enum class TDeliveryKind { Alert, Recovery, Notification };

// A mail or notification whose outcome is known.
struct TDeliveryOutcome {
  TDeliveryKind kind;
  int row;              // the server it was about; -1 for none
  std::u16string what;  // "alert for NAME", "recovery mail for NAME", ...
  bool sent;
  std::u16string error;  // why not, on one line; empty when sent
  TDateTime localTime{};
  TWallTime wallTime{};
  std::u16string notifier{};  // the notifier's name, for a notification

  // "alert for NAME sent" or "alert for NAME not sent: REASON".
  std::u16string line() const;
};

// What the engine and the outage book tell the front ends. Every call comes
// on the engine's thread, in the order the events happened; an observer
// must not throw.
class IMonitorObserver {
 public:
  virtual ~IMonitorObserver() = default;

  // Running when a test starts, a verdict when it ends, Interrupted when a
  // stop cuts it short.
  virtual void statusChanged(const TStatusChange&) {}
  // Text a row's child printed, and the echo of the answers to its prompts.
  virtual void output(int /*row*/, const std::u16string& /*text*/) {}
  // After a batch of status changes (those between two waits), for what is
  // written once per batch.
  virtual void batchDone() {}
  // A server's outage state changed.
  virtual void outageChanged(int /*row*/, const TOutageState&) {}
  // A mail (or notification) has been sent, or has failed for good.
  virtual void deliveryDone(const TDeliveryOutcome&) {}
};

}  // namespace quorvex

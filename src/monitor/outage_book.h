#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
#include "monitor/delivery.h"
#include "monitor/observer.h"
#include "settings/settings.h"

namespace quorvex {

// The alert policy's settings from the saved options.
TAlertPolicySettings alertPolicySettings(const TOptions& options);

// The outage of every server and the mails they call for: told each status,
// it queues the alert, reminder or recovery mail the policy asks for, in the
// order the results come, and records an alert as sent once its outcome is
// known. Outage changes go to the observers.
class TOutageBook final : public IMonitorObserver {
 public:
  // The job that sends the alert (or its reminder) for a server found down,
  // with the reason of its failure in words. Made on the engine's thread
  // (so it may read the window's fields), run on the delivery queue's.
  using AlertMail = std::function<TSendJob(const TVPNServer& server, const std::u16string& reason)>;
  // The job that sends the mail that a server is up again after `outage`;
  // `reason` is that of the outage's last failure.
  using RecoveryMail = std::function<TSendJob(const TVPNServer& server, std::chrono::seconds outage,
                                              const std::u16string& reason)>;

  TOutageBook(const TSettings& settings, IDeliveryQueue& deliveries, IMonitorObserver& observers,
              AlertMail alertMail, RecoveryMail recoveryMail = {});

  void statusChanged(const TStatusChange& change) override;

  // Carries an outage over from an earlier run.
  void restore(int index, const TOutageState& state) { _outages.at(index) = state; }
  const TOutageState& outage(int index) const { return _outages.at(index); }
  bool alerted(int index) const { return outage(index).alerted; }

 private:
  void mailDone(int row, TAlertMailKind kind, const TDeliveryOutcome& outcome);
  void changed(int row, const TOutageState& before);

  const TSettings& _settings;
  IDeliveryQueue& _deliveries;
  IMonitorObserver& _observers;
  AlertMail _alertMail;
  RecoveryMail _recoveryMail;
  std::vector<TOutageState> _outages;  // one per server; `alerted` is the alert flag
  // An alert or reminder queued and its outcome not known yet: the next
  // failure of that server queues no second one.
  std::vector<bool> _alertPending;
  std::optional<int> _judging;  // the row whose result is being judged
};

}  // namespace quorvex

#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
#include "app/failure_reason.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace quorvex {

// The outage of every server and the mails they call for: fed with each
// result, it sends the alert, reminder or recovery mail the policy asks for,
// one at a time, in the order the results come.
class TOutageBook {
 public:
  // Sends the alert (or its reminder) for a server found down, with the
  // reason of its failure in words; may throw.
  using AlertMail = std::function<void(const TVPNServer& server, const std::u16string& reason)>;
  // Sends the mail that a server is up again after `outage`; `reason` is
  // that of the outage's last failure. May throw.
  using RecoveryMail = std::function<void(const TVPNServer& server, std::chrono::seconds outage,
                                          const std::u16string& reason)>;
  // Told each time a server's outage state changes.
  using OutageChanged = std::function<void(int row, const TOutageState& state)>;

  TOutageBook(const TSettings& settings, AlertMail alertMail, const TClock& clock);

  // A server's result: any status word; only "Successful" and "Failed" count.
  void judge(int row, const std::u16string& status, const TFailureReason& reason = {});

  void setRecoveryMail(RecoveryMail recoveryMail) { _recoveryMail = std::move(recoveryMail); }
  void setOutageChanged(OutageChanged outageChanged) { _outageChanged = std::move(outageChanged); }
  // Carries an outage over from an earlier run.
  void restore(int index, const TOutageState& state) { _outages.at(index) = state; }
  const TOutageState& outage(int index) const { return _outages.at(index); }

 private:
  const TSettings& _settings;
  AlertMail _alertMail;
  RecoveryMail _recoveryMail;
  OutageChanged _outageChanged;
  const TClock& _clock;
  std::vector<TOutageState> _outages;        // one per server; `alerted` is the alert flag
  std::vector<std::u16string> _lastReasons;  // of each server's last "Failed"
};

}  // namespace quorvex

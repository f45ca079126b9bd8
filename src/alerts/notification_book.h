#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "alerts/alert_policy.h"
#include "settings/notifiers.h"

namespace quorvex {

// Which notifications the servers' results call for, for each notifier on
// its own: down after the failure threshold, a reminder every reminder
// period while down, up at the first success after a down went out. A down
// or reminder that could not be delivered is asked for again at the
// server's next failure, as the alert mail is; an up is not repeated.
class TNotificationBook {
 public:
  struct TDue {
    size_t notifier;  // index into the notifiers given to judge
    TNotifyEvent event;
    std::optional<std::chrono::seconds> outage;  // down so far, or the whole outage when up
  };

  // `policy.recoveryMail` is not used: a notifier asks for up itself.
  TNotificationBook(size_t notifierCount, size_t serverCount, TAlertPolicySettings policy);

  // A server's result (Neither changes nothing); the notifications it calls
  // for, in the notifiers' order.
  std::vector<TDue> judge(const std::vector<TNotifierConfig>& notifiers, int row,
                          TTestResult result, TWallTime now);
  // Carries a server's outage over from an earlier run into every notifier,
  // so that a run started again does not announce the same outage twice.
  void restore(int row, const TOutageState& state);
  // The outcome of a down or reminder that judge asked for.
  void done(size_t notifier, int row, TNotifyEvent event, bool sent, TWallTime now);

 private:
  struct TEntry {
    TOutageState state{};
    bool pending = false;  // a down or reminder queued, its outcome not known
  };
  TEntry& entry(size_t notifier, int row) { return _entries.at(notifier).at(row); }

  TAlertPolicy _policy;
  std::vector<std::vector<TEntry>> _entries;  // [notifier][server]
};

}  // namespace quorvex

#pragma once

#include <string>
#include <vector>

#include "alerts/notification_book.h"
#include "alerts/notifier.h"
#include "monitor/delivery.h"
#include "monitor/observer.h"
#include "settings/settings.h"

namespace quorvex {

// Turns the servers' results into notifications: each notifier asks for its
// own (TNotificationBook), and each goes to the delivery queue, so that they
// go out one at a time, in order, beside the mails and never in a test's way.
class TNotifierObserver final : public IMonitorObserver {
 public:
  TNotifierObserver(const TSettings& settings, IDeliveryQueue& deliveries,
                    TNotifyLimits limits = {});

  void statusChanged(const TStatusChange& change) override;
  // Carries a server's outage over from an earlier run.
  void restore(int row, const TOutageState& state) { _book.restore(row, state); }

 private:
  const TSettings& _settings;
  IDeliveryQueue& _deliveries;
  TNotifyLimits _limits;
  TNotificationBook _book;
  std::u16string _monitorHost;               // read once: it does not change
  std::vector<std::u16string> _lastReasons;  // of each server's last "Failed"
};

}  // namespace quorvex

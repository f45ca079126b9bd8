#pragma once

#include <functional>
#include <string>

#include "monitor/delivery.h"
#include "monitor/engine.h"
#include "monitor/observer_list.h"
#include "monitor/outage_book.h"
#include "settings/settings.h"

namespace quorvex::test {

using TAlertCall = std::function<void(const TVPNServer& server, const std::u16string& reason)>;
using TRecoveryCall = std::function<void(const TVPNServer& server, std::chrono::seconds outage,
                                         const std::u16string& reason)>;

// Mails that call `call` when they are sent (and fail when it throws).
inline TOutageBook::AlertMail mailsBy(TAlertCall call) {
  return [call = std::move(call)](const TVPNServer& server, const std::u16string& reason) {
    return TSendJob([call, server = &server, reason] { call(*server, reason); });
  };
}
inline TOutageBook::RecoveryMail recoveriesBy(TRecoveryCall call) {
  if (!call) return {};
  return [call = std::move(call)](const TVPNServer& server, std::chrono::seconds outage,
                                  const std::u16string& reason) {
    return TSendJob([call, server = &server, outage, reason] { call(*server, outage, reason); });
  };
}
inline TAlertCall noMail() {
  return [](const TVPNServer&, const std::u16string&) {};
}

// The engine with what a front end puts around it: `rows` observe first,
// then the outage book, whose mails go out at once.
struct TEngineRig {
  TEngineRig(const TSettings& settings, IMonitorControls& controls, IMonitorObserver& rows,
             TProcessFactory processes, const TClock& clock, int jobs = 1,
             TAlertCall alert = noMail())
      : deliveries(observers, clock),
        outages(settings, deliveries, observers, mailsBy(std::move(alert))),
        engine(settings, controls, std::move(processes), observers, clock, jobs) {
    observers.add(rows);
    observers.add(outages);
  }

  TObserverList observers;
  TImmediateDelivery deliveries;
  TOutageBook outages;
  TMonitorEngine engine;
};

}  // namespace quorvex::test

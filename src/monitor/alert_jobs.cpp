#include "monitor/alert_jobs.h"

namespace quorvex {

TOutageBook::AlertMail alertMailJobs(TAlertFieldsSource fields, std::shared_ptr<TQxSMTP> client,
                                     TAlertMailWaits waits) {
  return [fields = std::move(fields), client = std::move(client), waits](
             const TVPNServer& server, const std::u16string& reason) -> TSendJob {
    return [client, waits, mail = fields(), name = server.Name(), reason] {
      sendMail(*client, mail, false, name, waits, reason);
    };
  };
}

TOutageBook::RecoveryMail recoveryMailJobs(TAlertFieldsSource fields,
                                           std::shared_ptr<TQxSMTP> client, TAlertMailWaits waits) {
  return [fields = std::move(fields), client = std::move(client), waits](
             const TVPNServer& server, std::chrono::seconds outage,
             const std::u16string& reason) -> TSendJob {
    return [client, waits, mail = fields(), name = server.Name(), outage, reason] {
      sendRecoveryMail(*client, mail, name, outage, waits, reason);
    };
  };
}

std::chrono::milliseconds mailGrace(const TAlertMailWaits& waits) {
  return std::chrono::milliseconds(waits.ConnectTimeoutMs) +
         std::chrono::milliseconds(waits.ReadTimeoutMs);
}

}  // namespace quorvex

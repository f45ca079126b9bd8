#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
#include "platform/clock.h"
#include "process/output_command.h"
#include "settings/notifiers.h"
#include "web/https_client.h"

namespace quorvex {

// The facts every kind posts, whatever its format.
struct TNotificationFacts {
  TNotifyEvent event = TNotifyEvent::Test;
  std::u16string server{};                       // empty for a test
  std::u16string status{};                       // the row's status word: "Failed", "Successful"
  std::u16string reason{};                       // why it failed, in words; empty when up
  TWallTime time{};                              // when it happened
  std::u16string localTime{};                    // the same, as shown: "2026-12-11 17:40:00"
  std::optional<std::chrono::seconds> outage{};  // down so far, or the whole outage when up
  std::u16string monitorHost{};                  // the machine Quorvex runs on
};

// The facts of a test notification sent now from this machine.
TNotificationFacts testNotificationFacts(const TClock& clock);

// "team for office" (or "team test"): how an outcome line names a notification.
std::u16string notificationSubject(const TNotifierConfig& notifier,
                                   const TNotificationFacts& facts);

// The version field of the webhook kind's JSON object; raised only when a
// field changes its meaning or goes away.
inline constexpr int kWebhookSchemaVersion = 1;

// "office is down (timed out)." and the like: the one sentence of a
// notification.
std::u16string notificationSentence(const TNotificationFacts& facts);
// "office is down": a title, for the kinds that have one.
std::u16string notificationTitle(const TNotificationFacts& facts);

// What one notification is on the wire: an HTTP request, or a command with
// its environment.
struct TNotificationMessage {
  THttpRequest http{};
  std::vector<std::string> args{};
  TEnvironment environment{};
};

// Builds the message of the notifier's kind. Raises Exception with what
// stops the notifier (notifierProblem, a priority out of range).
TNotificationMessage buildNotification(const TNotifierConfig& notifier,
                                       const TNotificationFacts& facts);

// The bounds of one delivery.
struct TNotifyLimits {
  THttpLimits http{5000, 15000, {}};
  int commandTimeoutMs = 30000;
  // Before the one retry of a request that met a network error or a 5xx.
  std::chrono::milliseconds retryPause{2000};
};

// A notification that could not be delivered; the message says why and
// names the service by its host only.
class ENotifyError : public Exception {
 public:
  using Exception::Exception;
};

// Sends one notification. A network error or a 5xx is tried once more after
// the pause; a 4xx is reported at once with the service's words, and a
// redirect is not followed (the request carries the notifier's secrets).
// Raises ENotifyError.
void sendNotification(const TNotifierConfig& notifier, const TNotificationFacts& facts,
                      const TNotifyLimits& limits = {});

}  // namespace quorvex

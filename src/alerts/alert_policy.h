#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvex {

using TWallTime = std::chrono::system_clock::time_point;

// What is known of one server's outage. The window starts every run with
// it cleared; the headless front end keeps it between runs.
struct TOutageState {
  bool alerted = false;                    // the alert of this outage went out
  int32_t failures = 0;                    // "Failed" results in a row
  std::optional<TWallTime> outageStart{};  // the first "Failed" of the row
  std::optional<TWallTime> lastMail{};     // the last alert or reminder sent
  std::u16string reason{};                 // why the last "Failed" failed, in words
  bool operator==(const TOutageState&) const = default;
};

struct TAlertPolicySettings {
  int32_t failureThreshold = 1;
  bool recoveryMail = false;
  std::chrono::hours reminderPeriod{0};  // zero: no reminders
};

enum class TTestResult { Successful, Failed, Neither };
enum class TAlertMailKind { Alert, Reminder, Recovery };

struct TAlertDecision {
  std::optional<TAlertMailKind> mail{};
  std::chrono::seconds outageLength{0};  // for a recovery mail
};

// When a server's result calls for a mail. Alert after failureThreshold
// "Failed" in a row, once per outage; a reminder every reminderPeriod while
// down; a recovery mail on the first "Successful" after an alert went out.
// "Failed to start" and "Interrupted" (Neither) change nothing.
class TAlertPolicy {
 public:
  explicit TAlertPolicy(TAlertPolicySettings settings) : _settings(settings) {}

  // Records the result in `state` and says which mail is due. A recovery
  // clears the outage at once: its mail is not retried.
  TAlertDecision judge(TOutageState& state, TTestResult result, TWallTime now) const;
  // Records that the mail judge asked for went out. Until then an alert or
  // reminder stays due and is asked for again at the next "Failed".
  void mailSent(TOutageState& state, TAlertMailKind kind, TWallTime now) const;

 private:
  TAlertPolicySettings _settings;
};

// "45 s", "12 min 5 s", "3 h 5 min", "2 d 4 h": the two largest units.
std::u16string formatOutageLength(std::chrono::seconds length);

}  // namespace quorvex

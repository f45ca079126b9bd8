#include "alerts/alert_policy.h"

#include <string>

#include "platform/text.h"

namespace quorvex {

TAlertDecision TAlertPolicy::judge(TOutageState& state, TTestResult result, TWallTime now) const {
  TAlertDecision decision;
  if (result == TTestResult::Successful) {
    if (state.alerted && _settings.recoveryMail) {
      decision.mail = TAlertMailKind::Recovery;
      if (state.outageStart && *state.outageStart < now)
        decision.outageLength =
            std::chrono::duration_cast<std::chrono::seconds>(now - *state.outageStart);
    }
    state = {};
    return decision;
  }
  if (result != TTestResult::Failed) return decision;

  if (state.failures == 0 || !state.outageStart) state.outageStart = now;
  if (state.failures < INT32_MAX) ++state.failures;
  if (!state.alerted) {
    if (state.failures >= _settings.failureThreshold) decision.mail = TAlertMailKind::Alert;
    return decision;
  }
  if (_settings.reminderPeriod.count() <= 0) return decision;
  // A clock set back must not silence reminders until it catches up again.
  if (!state.lastMail || *state.lastMail > now) state.lastMail = now;
  if (now - *state.lastMail >= _settings.reminderPeriod) decision.mail = TAlertMailKind::Reminder;
  return decision;
}

void TAlertPolicy::mailSent(TOutageState& state, TAlertMailKind kind, TWallTime now) const {
  if (kind == TAlertMailKind::Recovery) return;
  state.alerted = true;
  state.lastMail = now;
}

std::u16string formatOutageLength(std::chrono::seconds length) {
  struct Unit {
    int64_t seconds;
    const char* name;
  };
  static constexpr Unit kUnits[] = {{86400, "d"}, {3600, "h"}, {60, "min"}, {1, "s"}};
  int64_t rest = length.count() < 0 ? 0 : length.count();
  std::string text;
  int shown = 0;
  for (const Unit& unit : kUnits) {
    const int64_t count = rest / unit.seconds;
    rest %= unit.seconds;
    if (shown == 0 && count == 0 && unit.seconds != 1) continue;
    text += (shown ? " " : "") + std::to_string(count) + ' ' + unit.name;
    if (++shown == 2) break;
  }
  return u16(text);
}

}  // namespace quorvex

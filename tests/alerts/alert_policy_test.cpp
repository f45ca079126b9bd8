#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "alerts/alert_policy.h"
#include "platform/text.h"

namespace quorvex {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

// One scenario: a result per test, `step` apart. Each token is a result
// (F "Failed", S "Successful", x "Failed to start" or "Interrupted") followed
// by the mail due: A alert, R reminder, U recovery; "!" after it makes that
// send fail.
struct Scenario {
  const char* name;
  TAlertPolicySettings settings;
  minutes step;
  const char* steps;
};

std::string run(const Scenario& s, TOutageState& state, std::vector<seconds>* lengths = nullptr) {
  const TAlertPolicy policy(s.settings);
  TWallTime now{hours(24 * 365 * 50)};
  std::istringstream in(s.steps);
  std::string token, trace;
  while (in >> token) {
    const TTestResult result = token[0] == 'F'   ? TTestResult::Failed
                               : token[0] == 'S' ? TTestResult::Successful
                                                 : TTestResult::Neither;
    const TAlertDecision decision = policy.judge(state, result, now);
    trace += (trace.empty() ? "" : " ") + std::string(1, token[0]);
    if (decision.mail) {
      trace += "ARU"[static_cast<int>(*decision.mail)];
      if (*decision.mail == TAlertMailKind::Recovery && lengths)
        lengths->push_back(decision.outageLength);
      if (token.back() == '!')
        trace += '!';
      else
        policy.mailSent(state, *decision.mail, now);
    }
    now += s.step;
  }
  return trace;
}

TEST(AlertPolicy, MailsOfAnOutage) {
  const TAlertPolicySettings plain{};
  const TAlertPolicySettings three{3, false, hours(0)};
  const TAlertPolicySettings recovery{1, true, hours(0)};
  const TAlertPolicySettings hourly{1, true, hours(1)};
  const Scenario cases[] = {
      {"one alert per outage, again after a success", plain, minutes(5), "FA F F S FA F"},
      {"no recovery mail unless asked for", plain, minutes(5), "FA S S"},
      {"neither start failures nor interruptions alert or end an outage", plain, minutes(5),
       "x x FA x F x S x FA"},
      {"threshold 3: the third failure alerts", three, minutes(5), "F F FA F F"},
      {"threshold 3: a success starts the count again", three, minutes(5), "F F S F F FA"},
      {"threshold 3: start failures and interruptions neither count nor reset", three, minutes(5),
       "F x F x x FA"},
      {"threshold 1 is the first failure, 2 the second",
       {2, false, hours(0)},
       minutes(5),
       "F FA F"},
      {"a failed alert is sent again at the next failure", three, minutes(5), "F F FA! FA! FA F"},
      {"one recovery mail after an alert", recovery, minutes(5), "FA F SU S S FA SU"},
      {"no recovery mail when no alert went out", {3, true, hours(0)}, minutes(5), "F F S S"},
      {"no recovery mail when the alert failed", recovery, minutes(5), "FA! S FA SU"},
      {"a failed recovery mail is not sent again", recovery, minutes(5), "FA SU! S FA"},
      {"a reminder each period while down, at the period itself", hourly, minutes(30),
       "FA F FR F FR SU FA F"},
      {"a period not yet over sends no reminder", hourly, minutes(59), "FA F FR F FR"},
      {"a failed reminder is sent again at the next failure", hourly, minutes(60),
       "FA FR! FR FR FR"},
      {"no reminders when the period is zero", recovery, minutes(600), "FA F F F"},
  };
  for (const Scenario& s : cases) {
    SCOPED_TRACE(s.name);
    TOutageState state;
    EXPECT_EQ(run(s, state), s.steps);
  }
}

TEST(AlertPolicy, RecoveryMailTellsHowLongTheOutageLasted) {
  // The outage begins at the first failure, not at the alert.
  TOutageState state;
  std::vector<seconds> lengths;
  run({"", {3, true, hours(0)}, minutes(30), "F F FA F SU"}, state, &lengths);
  ASSERT_EQ(lengths.size(), 1u);
  EXPECT_EQ(lengths[0], minutes(120));
  EXPECT_EQ(state, TOutageState{});
}

TEST(AlertPolicy, StateOfAnOngoingOutage) {
  TOutageState state;
  run({"", {2, false, hours(4)}, minutes(10), "F F F"}, state);
  const TWallTime start{hours(24 * 365 * 50)};
  EXPECT_TRUE(state.alerted);
  EXPECT_EQ(state.failures, 3);
  EXPECT_EQ(state.outageStart, start);
  EXPECT_EQ(state.lastMail, start + minutes(10));
}

TEST(AlertPolicy, AClockSetBackRestartsTheReminderPeriod) {
  const TAlertPolicy policy({1, false, hours(1)});
  TOutageState state;
  const TWallTime t0{hours(24 * 365 * 50)};
  ASSERT_EQ(policy.judge(state, TTestResult::Failed, t0).mail, TAlertMailKind::Alert);
  policy.mailSent(state, TAlertMailKind::Alert, t0);
  // A week back: the reminder comes an hour after the new now, not a week later.
  const TWallTime back = t0 - hours(24 * 7);
  EXPECT_FALSE(policy.judge(state, TTestResult::Failed, back).mail);
  EXPECT_FALSE(policy.judge(state, TTestResult::Failed, back + minutes(59)).mail);
  EXPECT_EQ(policy.judge(state, TTestResult::Failed, back + minutes(60)).mail,
            TAlertMailKind::Reminder);
}

TEST(AlertPolicy, OutageLengthInItsTwoLargestUnits) {
  const struct {
    int64_t seconds;
    const char* text;
  } cases[] = {
      {-5, "0 s"},           {0, "0 s"},          {59, "59 s"},        {60, "1 min 0 s"},
      {3599, "59 min 59 s"}, {3600, "1 h 0 min"}, {3661, "1 h 1 min"}, {86399, "23 h 59 min"},
      {86400, "1 d 0 h"},    {90061, "1 d 1 h"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(toUtf8(formatOutageLength(seconds(c.seconds))), c.text) << c.seconds;
}

}  // namespace
}  // namespace quorvex

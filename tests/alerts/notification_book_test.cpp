// The notifications each notifier asks for, as scripts of results and
// outcomes, each step with the notifications it must call for.
#include "alerts/notification_book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvex {
namespace {

// A step: "F@5" a Failed at minute 5, "S@9" a Successful, "N@7" neither;
// "sent 0 down@5" / "lost 0 down@5": notifier 0's down had that outcome at
// minute 5. Expected: the notifications due, "0:down(5 min)" and the like.
struct TStep {
  std::string step;
  std::string due;
};

std::string dueText(const std::vector<TNotificationBook::TDue>& due) {
  std::string text;
  for (const auto& d : due) {
    text += (text.empty() ? "" : " ") + std::to_string(d.notifier) + ":" +
            std::string(d.event == TNotifyEvent::Down       ? "down"
                        : d.event == TNotifyEvent::Up       ? "up"
                        : d.event == TNotifyEvent::Reminder ? "reminder"
                                                            : "test");
    if (d.outage) text += "(" + std::to_string(d.outage->count() / 60) + " min)";
  }
  return text;
}

void play(const char* what, std::vector<TNotifierConfig> notifiers, TAlertPolicySettings policy,
          const std::vector<TStep>& script) {
  SCOPED_TRACE(what);
  TNotificationBook book(notifiers.size(), 2, policy);
  const TWallTime start{};
  for (const TStep& s : script) {
    SCOPED_TRACE(s.step);
    const size_t at = s.step.find('@');
    const TWallTime now = start + std::chrono::minutes(std::stoi(s.step.substr(at + 1)));
    if (s.step[1] == '@') {
      const TTestResult result = s.step[0] == 'F'   ? TTestResult::Failed
                                 : s.step[0] == 'S' ? TTestResult::Successful
                                                    : TTestResult::Neither;
      EXPECT_EQ(dueText(book.judge(notifiers, 0, result, now)), s.due);
    } else {
      const bool sent = s.step.rfind("sent", 0) == 0;
      const size_t notifier = static_cast<size_t>(s.step[5] - '0');
      const TNotifyEvent event =
          s.step.find("down") != std::string::npos ? TNotifyEvent::Down : TNotifyEvent::Reminder;
      book.done(notifier, 0, event, sent, now);
    }
  }
}

TNotifierConfig wanting(const char16_t* events) {
  return {u"n", TNotifierKind::Webhook, TNotifyEvents::parse(events)};
}

TEST(NotificationBook, EachNotifierFollowsTheOutageOnItsOwn) {
  const TAlertPolicySettings once{1, false, std::chrono::hours(0)};
  const TAlertPolicySettings twice{2, false, std::chrono::hours(0)};
  const TAlertPolicySettings hourly{1, false, std::chrono::hours(1)};
  const auto all = wanting(u"down,up,reminder");
  play("down after the threshold, up once, without the recovery mail option", {all}, twice,
       {{"F@0", ""},
        {"F@5", "0:down(5 min)"},
        {"sent 0 down@5", ""},
        {"F@10", ""},
        {"S@15", "0:up(15 min)"},
        {"S@20", ""}});
  play("a down not delivered is asked for again at the next failure", {all}, once,
       {{"F@0", "0:down(0 min)"},
        {"lost 0 down@0", ""},
        {"N@3", ""},
        {"F@5", "0:down(5 min)"},
        {"sent 0 down@5", ""},
        {"S@9", "0:up(9 min)"}});
  play("one on its way is not asked for twice; the up follows it", {all}, once,
       {{"F@0", "0:down(0 min)"},
        {"F@5", ""},
        {"S@9", "0:up(9 min)"},
        {"sent 0 down@9", ""},
        {"F@12", "0:down(0 min)"}});
  play("reminders every period while down", {all}, hourly,
       {{"F@0", "0:down(0 min)"},
        {"sent 0 down@0", ""},
        {"F@30", ""},
        {"F@61", "0:reminder(61 min)"},
        {"sent 0 reminder@61", ""},
        {"F@100", ""},
        {"F@121", "0:reminder(121 min)"}});
  play("notifiers apart: up only, down only, everything", {wanting(u"up"), wanting(u"down"), all},
       hourly,
       {{"F@0", "1:down(0 min) 2:down(0 min)"},
        {"sent 1 down@0", ""},
        {"lost 2 down@0", ""},
        {"F@61", "2:down(61 min)"},
        {"S@70", "0:up(70 min) 2:up(70 min)"}});
}

TEST(NotificationBook, AnOutageCarriedOverIsNotAnnouncedAgain) {
  const std::vector<TNotifierConfig> notifiers = {
      {u"n", TNotifierKind::Webhook, TNotifyEvents::all()}};
  TNotificationBook book(1, 2, {1, false, std::chrono::hours(0)});
  const TWallTime start{};
  book.restore(1, {true, 3, start, start});
  EXPECT_EQ(dueText(book.judge(notifiers, 1, TTestResult::Failed, start + std::chrono::minutes(5))),
            "");
  EXPECT_EQ(
      dueText(book.judge(notifiers, 1, TTestResult::Successful, start + std::chrono::minutes(7))),
      "0:up(7 min)");
  // The other server had no outage on record.
  EXPECT_EQ(dueText(book.judge(notifiers, 0, TTestResult::Failed, start)), "0:down(0 min)");
}

}  // namespace
}  // namespace quorvex

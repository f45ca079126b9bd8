// The Notifications page: the notifiers of the settings file, and a Test
// button for each that reaches a real local service without holding the
// window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "app/window/notifications_page.h"
#include "app/window/window_start_up.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/cycle_fakes.h"
#include "support/notify_service.h"
#include "window_test_support.h"

namespace quorvex::test {
namespace {

TEST(NotificationsPage, ListsTheNotifiersAndTestsEachWithoutHoldingTheWindow) {
  TNotifyService service;
  TestMachine machine({"a"});
  {
    TSettings settings(machine.settingsPath());
    TNotifierConfig team{u"team", TNotifierKind::Slack, TNotifyEvents::parse(u"down,up")};
    team.url = fromUtf8(service.Url("/ok/services/T0/B0/secret"));
    team.caFile = fromUtf8(TlsCaFiles().CaFile);
    TNotifierConfig slow = team;
    slow.name = u"slow";
    slow.kind = TNotifierKind::Webhook;
    slow.events = TNotifyEvents::all();
    slow.url = fromUtf8(service.Url("/silent/secret"));
    TNotifierConfig page{u"page", TNotifierKind::Command};
    page.command = u"/bin/false --token=secret";
    settings.SetNotifiers({team, slow, page});
    settings.saveToFile();
  }
  BoxAnswerer boxes;
  // A server without a script never starts.
  TFakeChildren children{.unscripted = {.runThrows = true}};
  TfrmMainServices services;
  services.processFactory = children.factory();
  services.notifyLimits.http.totalTimeoutMs = 1500;
  services.notifyLimits.retryPause = std::chrono::milliseconds(100);
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), std::move(services));
  ASSERT_TRUE(startUp.window);
  TfrmMain& w = *startUp.window;
  w.show();
  auto* pcMain = control<QTabWidget>(w, "pcMain");
  auto* page = control<TNotificationsPage>(w, "tsNotifications");
  ASSERT_TRUE(page);
  EXPECT_EQ(pcMain->tabText(pcMain->indexOf(page)), "Notifications");
  pcMain->setCurrentWidget(page);
  EXPECT_TRUE(control<QLabel>(w, "lblNotifiers")->text().contains("<notifiers>"));

  auto* list = control<QTreeWidget>(w, "lvNotifiers");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  const auto cells = [&](int row) {
    QStringList texts;
    for (int c : {0, 1, 2, 3, 5}) texts << list->topLevelItem(row)->text(c);
    return texts.join('|');
  };
  // Where each sends to, without the secrets in the address or the arguments.
  EXPECT_EQ(cells(0), "team|slack|down,up|" + QString::fromStdString(service.Host()) + "|");
  EXPECT_EQ(cells(1),
            "slow|webhook|down,up,reminder|" + QString::fromStdString(service.Host()) + "|");
  EXPECT_EQ(cells(2), "page|command|down,up,reminder|/bin/false|");

  // The silent service takes its bounded time; the window goes on meanwhile.
  auto* testSlow = control<QPushButton>(w, "btnTestNotify1");
  QTest::mouseClick(testSlow, Qt::LeftButton);
  EXPECT_FALSE(testSlow->isEnabled());
  EXPECT_EQ(list->topLevelItem(1)->text(5), "sending…");
  QTest::mouseClick(control<QPushButton>(w, "btnTestNotify0"), Qt::LeftButton);
  QTest::mouseClick(control<QPushButton>(w, "btnTestNotify2"), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return !list->topLevelItem(0)->text(5).startsWith("sending"); }));
  EXPECT_TRUE(list->topLevelItem(0)->text(5).startsWith("sent at "))
      << list->topLevelItem(0)->text(5).toStdString();
  ASSERT_TRUE(waitFor([&] { return !list->topLevelItem(2)->text(5).startsWith("sending"); }));
  EXPECT_EQ(list->topLevelItem(2)->text(5),
            "not sent: the command /bin/false ended with exit code 1");
  EXPECT_EQ(page->testsRunning(), 1);
  EXPECT_FALSE(testSlow->isEnabled());
  // The test, and the silent one's first try, in either order.
  ASSERT_TRUE(waitFor([&] { return service.Requests().size() == 2; }));
  for (const TRequest& r : service.Requests()) {
    if (r.at("path") == "/ok/services/T0/B0/secret") {
      EXPECT_NE(r.at("body").find("This is a test notification"), std::string::npos);
    }
  }
  ASSERT_TRUE(waitFor([&] { return testSlow->isEnabled(); }));
  EXPECT_TRUE(list->topLevelItem(1)->text(5).startsWith("not sent: The request to "));
  EXPECT_TRUE(list->topLevelItem(1)->text(5).endsWith(" (tried twice)"));
  // Closing the window with a test on its way waits for its bound.
  QTest::mouseClick(testSlow, Qt::LeftButton);
  startUp.window.reset();
  EXPECT_FALSE(boxes.overdue);
}

}  // namespace
}  // namespace quorvex::test

#include "monitor/engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "monitor/delivery.h"
#include "monitor/observer_list.h"
#include "monitor/outage_book.h"
#include "monitor/report_text.h"
#include "platform/text.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/fake_clock.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace quorvex::test {
namespace {

using namespace std::chrono_literals;

// The outage changes, as a state file would see them.
struct TOutageLog final : IMonitorObserver {
  std::vector<std::pair<int, TOutageState>> changes;
  void outageChanged(int row, const TOutageState& state) override {
    changes.emplace_back(row, state);
  }
};

// The engine as the window runs it: one test at a time, each tick by hand,
// the rows and the outage book observing, the mails sent at once.
class TestCycleTest : public ::testing::Test {
 protected:
  void build(TCatalogueFixture::Values values) {
    cycle.reset();
    outages.reset();
    catalogue = std::make_unique<TCatalogueFixture>(values);
    view = std::make_unique<TFakeView>(catalogue->settings().ServerCount());
    clock.now = EncodeDateTime(2026, 3, 29, 9, 5, 7);
    auto alert = [this](const TVPNServer& server, const std::u16string&) -> TSendJob {
      return [this, name = server.Name()] {
        alerts.push_back(name);
        childReleasedAtAlert.push_back(children.last().released);
        if (alertThrows) throw std::runtime_error("Socket Error # 10061");
      };
    };
    auto recovery = [this](const TVPNServer& server, std::chrono::seconds outage,
                           const std::u16string&) -> TSendJob {
      return [this, text = server.Name() + u" after " + formatOutageLength(outage)] {
        recoveries.push_back(text);
      };
    };
    observers = std::make_unique<TObserverList>();
    observers->add(*view);
    outageLog = TOutageLog();
    outages = std::make_unique<TOutageBook>(catalogue->settings(), deliveries, *observers, alert,
                                            recovery);
    observers->add(*outages);
    observers->add(outageLog);
    cycle = std::make_unique<TMonitorEngine>(catalogue->settings(), *view, children.factory(),
                                             *observers, clock);
  }
  void setOption(TOptionId id, const std::u16string& value) {
    TOptions options = catalogue->settings().Options();
    options.SetText(id, value);
    catalogue->settings().SetOptions(options);
  }

  void advance(double seconds) { clock.advance(seconds); }
  void ticks(int count) {
    for (int i = 0; i < count; ++i) cycle->tick();
  }
  const TViewRow& row(const std::string& name) const {
    return view->rows.at(static_cast<size_t>(catalogue->row(name)));
  }
  void script(const std::string& server, TChildScript s) {
    children.scripts[fromUtf8(server + ".ovpn")] = std::move(s);
  }
  // Ticks until the current test has an outcome; bounded by the script's length.
  void tickUntilDecided() {
    for (int i = 0; i < 50 && (i == 0 || cycle->testing()); ++i) cycle->tick();
    ASSERT_FALSE(cycle->testing());
  }

  TFakeChildren children;
  IMonitorObserver nullObserver;
  std::unique_ptr<TCatalogueFixture> catalogue;
  std::unique_ptr<TFakeView> view;
  TFakeClock clock;
  std::unique_ptr<TObserverList> observers;
  TImmediateDelivery deliveries{nullObserver, clock};
  std::unique_ptr<TOutageBook> outages;
  TOutageLog outageLog;
  std::unique_ptr<TMonitorEngine> cycle;
  std::vector<std::u16string> alerts;
  std::vector<bool> childReleasedAtAlert;
  std::vector<std::u16string> recoveries;
  std::vector<std::pair<int, TOutageState>>& outageChanges = outageLog.changes;
  bool alertThrows = false;
};

TEST_F(TestCycleTest, StartEnablesStopAndTimerAndStopBeforeAnyTickChangesNoRow) {
  build({.servers = {"office"}});
  view->rows[0].status = u"Failed";
  view->rows[0].lastRun = u"08:00:00";
  cycle->start();
  EXPECT_FALSE(view->inputsEnabled);
  EXPECT_TRUE(view->stopEnabled);
  EXPECT_TRUE(view->timerEnabled);
  EXPECT_EQ(cycle->serverIndex(), -1);

  cycle->stop();
  EXPECT_TRUE(view->inputsEnabled);
  EXPECT_FALSE(view->stopEnabled);
  EXPECT_FALSE(view->timerEnabled);
  EXPECT_EQ(view->rows[0].status, u"Failed");
  EXPECT_EQ(view->rows[0].lastRun, u"08:00:00");
  EXPECT_TRUE(children.started.empty());
}

TEST_F(TestCycleTest, FirstTickStartsOpenvpnInTheConfigFolderAndPollsInTheSameTick) {
  build({.servers = {"office.eu"}});
  view->rows[0].lastRun = u"08:00:00";
  view->output = u"previous test";
  cycle->start();
  cycle->tick();

  ASSERT_EQ(children.started.size(), 1u);
  const TChildLog& child = children.last();
  EXPECT_EQ(child.exeName, u"");
  // Tested without a device of its own: no root needed, no route touched.
  EXPECT_EQ(child.cmdLine,
            u"openvpn --config \"office.eu.ovpn\" --dev null --ifconfig-noexec --route-noexec");
  EXPECT_EQ(child.args, (std::vector<std::string>{"openvpn", "--config", "office.eu.ovpn", "--dev",
                                                  "null", "--ifconfig-noexec", "--route-noexec"}));
  EXPECT_EQ(child.currDir, toUtf8(catalogue->settings().ConfigDir()));
  EXPECT_TRUE(child.ran);
  EXPECT_EQ(child.readTimeouts, std::vector<int>{100});
  EXPECT_EQ(view->output, u"");
  EXPECT_EQ(view->rows[0].status, u"Running");
  EXPECT_EQ(view->rows[0].lastRun, u"");
  EXPECT_EQ(cycle->serverIndex(), 0);
  EXPECT_TRUE(cycle->testing());
}

TEST_F(TestCycleTest, AnswersOnlyATrailingPromptAndNeverShowsThePassword) {
  struct Case {
    const char* name;
    std::vector<std::u16string> reads;
    std::vector<std::u16string> writes;
    std::u16string output;
  };
  const Case cases[] = {
      {"user name", {u"Enter Auth Username:"}, {u"alice\r\n"}, u"Enter Auth Username:alice\r\n"},
      {"user name in capitals",
       {u"ENTER AUTH USERNAME:"},
       {u"alice\r\n"},
       u"ENTER AUTH USERNAME:alice\r\n"},
      {"password", {u"Enter Auth Password:"}, {u"s3cret\r\n"}, u"Enter Auth Password:\r\n"},
      {"password in mixed case", {u"PassWord:"}, {u"s3cret\r\n"}, u"PassWord:\r\n"},
      {"prompt split over two reads",
       {u"Enter Auth User", u"name:"},
       {u"alice\r\n"},
       u"Enter Auth Username:alice\r\n"},
      {"output after the prompt", {u"Username: (from file)"}, {}, u"Username: (from file)"},
      {"prompt followed by a line break", {u"password:\r\n"}, {}, u"password:\r\n"},
      // systemd's password agent: a trailing blank, and a hint after the password prompt.
      {"agent's user name prompt",
       {u"Enter Auth Username: "},
       {u"alice\r\n"},
       u"Enter Auth Username: alice\r\n"},
      {"agent's password prompt",
       {u"Enter Auth Password: (press TAB for no echo) "},
       {u"s3cret\r\n"},
       u"Enter Auth Password: (press TAB for no echo) \r\n"},
      {"agent's hint in capitals, blanks and tabs around it",
       {u"PASSWORD: \t(PRESS TAB FOR NO ECHO)\t "},
       {u"s3cret\r\n"},
       u"PASSWORD: \t(PRESS TAB FOR NO ECHO)\t \r\n"},
      {"agent's prompt with output after it",
       {u"Enter Auth Password: (press TAB for no echo) ***"},
       {},
       u"Enter Auth Password: (press TAB for no echo) ***"},
      {"hint without a prompt before it",
       {u"(press TAB for no echo) "},
       {},
       u"(press TAB for no echo) "},
      // The prompt is looked at before the success line, even in one read.
      {"success line and a prompt in one read",
       {u"Initialization Sequence Completed\r\nEnter Auth Username:"},
       {u"alice\r\n"},
       u"Initialization Sequence Completed\r\nEnter Auth Username:alice\r\n"},
      {"whole dialogue",
       {u"Enter Auth Username:", u"", u"Enter Auth Password:", u"",
        u"Initialization Sequence Completed\r\n"},
       {u"alice\r\n", u"s3cret\r\n"},
       u"Enter Auth Username:alice\r\nEnter Auth Password:\r\nInitialization Sequence "
       u"Completed\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    children = TFakeChildren();
    build({.servers = {"office"}});
    script("office", {.reads = c.reads});
    cycle->start();
    ticks(static_cast<int>(c.reads.size()) + 1);
    EXPECT_EQ(children.last().writes, c.writes);
    EXPECT_EQ(view->output, c.output);
    EXPECT_EQ(view->output.find(u"s3cret"), std::u16string::npos);
  }
}

TEST_F(TestCycleTest, JudgesTheResultFromTheOutputAndTheEndOfTheChild) {
  struct Case {
    const char* name;
    TChildScript child;
    std::u16string status;
  };
  const Case cases[] = {
      {"connected",
       {.reads = {u"Peer Connection Initiated\r\nInitialization Sequence Completed\r\n"}},
       u"Successful"},
      {"ended after the tap failure",
       {.reads = {u"CreateFile failed on TAP device\r\n"}, .endsAfterReads = 1},
       u"Successful"},
      {"ended later, tap failure in an earlier read",
       {.reads = {u"CreateFile failed on TAP device\r\n", u"Exiting\r\n"}, .endsAfterReads = 2},
       u"Successful"},
      {"ended right after connecting",
       {.reads = {u"Initialization Sequence Completed\r\n"}, .endsAfterReads = 1},
       u"Failed"},
      {"ended without a word", {.endsAfterReads = 1}, u"Failed"},
      {"ended after the tun failure in Linux words",
       {.reads = {u"ERROR: Cannot open TUN/TAP dev /dev/net/tun: Permission denied (errno=13)\r\n"},
        .endsAfterReads = 1},
       u"Successful"},
      {"tap failure in other letter case",
       {.reads = {u"createfile failed on tap device\r\n"}, .endsAfterReads = 1},
       u"Failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    children = TFakeChildren();
    build({.servers = {"office"}});
    script("office", c.child);
    cycle->start();
    tickUntilDecided();
    EXPECT_EQ(view->rows[0].history, (std::vector<std::u16string>{u"Running", c.status}));
    EXPECT_EQ(view->rows[0].lastRun, u"09:05:07");
    EXPECT_TRUE(children.last().released);
    EXPECT_TRUE(view->timerEnabled);
  }
}

TEST_F(TestCycleTest, SuccessMarkerIsCaseSensitive) {
  build({.servers = {"office"}});
  script("office", {.reads = {u"initialization sequence completed\r\n"}});
  cycle->start();
  ticks(3);
  EXPECT_EQ(view->rows[0].status, u"Running");
  EXPECT_TRUE(cycle->testing());
}

TEST_F(TestCycleTest, TimeOutOnlyWhenStrictlyMoreThanConnectionTimeoutHasPassed) {
  struct Case {
    int connTimeout;
    double elapsed;
    std::u16string output;
    std::u16string status;
  };
  const Case cases[] = {
      {10, 9.999, u"", u"Running"},
      {10, 10.0, u"", u"Running"},
      {10, 10.001, u"", u"Failed"},
      {0, 0.0, u"", u"Running"},
      {0, 0.001, u"", u"Failed"},
      {-1, 0.0, u"", u"Failed"},
      {0, 5.0, u"Enter Auth Username:", u"Running"},  // a prompt is answered first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.connTimeout << " s after " << c.elapsed << " s");
    children = TFakeChildren();
    build({.servers = {"office"}, .connTimeout = c.connTimeout});
    script("office", {.reads = {u"", c.output}});
    cycle->start();
    cycle->tick();  // starts the test and polls at once
    advance(c.elapsed);
    cycle->tick();
    EXPECT_EQ(view->rows[0].status, c.status);
    EXPECT_EQ(children.last().released, c.status == u"Failed");
  }
}

TEST_F(TestCycleTest, FailedToStartRecordsTheTimeAndMovesOnAtTheNextTick) {
  const TChildScript cases[] = {{.createThrows = true}, {.runThrows = true}};
  for (const TChildScript& broken : cases) {
    children = TFakeChildren();
    alerts.clear();
    build({.servers = {"a", "b"}});
    const std::string first = toUtf8(catalogue->settings().Servers(0).Name());
    const std::string second = toUtf8(catalogue->settings().Servers(1).Name());
    script(first, broken);
    cycle->start();
    cycle->tick();
    EXPECT_EQ(row(first).history, std::vector<std::u16string>{u"Failed to start"});
    EXPECT_EQ(row(first).lastRun, u"09:05:07");
    EXPECT_FALSE(cycle->testing());
    EXPECT_TRUE(broken.createThrows || children.last().released);
    EXPECT_TRUE(alerts.empty());

    cycle->tick();
    EXPECT_EQ(row(second).status, u"Running");
    EXPECT_EQ(cycle->serverIndex(), 1);
  }
}

// One server, repeated without a pause, each cycle with the outcome given.
TEST_F(TestCycleTest, AlertsOncePerOutageAfterTheChildIsGone) {
  build({.servers = {"office"}, .repeatPeriod = 0});
  view->repeat = true;
  const TChildScript failed{.endsAfterReads = 1};
  const TChildScript successful{.reads = {u"Initialization Sequence Completed\r\n"}};
  const TChildScript broken{.runThrows = true};
  struct Step {
    TChildScript child;
    bool alertThrows;
    std::u16string status;
    size_t alertsSoFar;
    bool flag;
  };
  const Step steps[] = {
      {failed, true, u"Failed", 1, false},  // the mail failed: tried again next time
      {failed, false, u"Failed", 2, true},
      {failed, false, u"Failed", 2, true},  // same outage, no second alert
      {broken, false, u"Failed to start", 2, true},
      {successful, false, u"Successful", 2, false},
      {broken, false, u"Failed to start", 2, false},
      {failed, false, u"Failed", 3, true},
  };
  cycle->start();
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << n++);
    script("office", step.child);
    alertThrows = step.alertThrows;
    tickUntilDecided();
    EXPECT_EQ(view->rows[0].status, step.status);
    EXPECT_EQ(alerts.size(), step.alertsSoFar);
    EXPECT_EQ(outages->alerted(0), step.flag);
    advance(1);
    cycle->tick();  // closes the cycle; the next test begins a new one
    ASSERT_EQ(cycle->serverIndex(), -1);
  }
  EXPECT_EQ(childReleasedAtAlert, std::vector<bool>(3, true));
}

TEST_F(TestCycleTest, WithoutRepeatTheTickAfterTheLastServerEndsTheRun) {
  build({.servers = {"a", "b"}});
  script("a", {.reads = {u"Initialization Sequence Completed"}});
  script("b", {.reads = {u"Initialization Sequence Completed"}});
  cycle->start();
  ticks(2);
  EXPECT_EQ(children.started.size(), 2u);
  EXPECT_TRUE(view->timerEnabled);
  cycle->tick();
  EXPECT_FALSE(view->timerEnabled);
  EXPECT_TRUE(view->inputsEnabled);
  EXPECT_FALSE(view->stopEnabled);
  EXPECT_EQ(row("a").status, u"Successful");
  EXPECT_EQ(row("b").status, u"Successful");
}

TEST_F(TestCycleTest, CycleLongerThanThePeriodRestartsAtOnce) {
  build({.servers = {"office"}, .connTimeout = 70, .repeatPeriod = 1});
  view->repeat = true;
  cycle->start();
  cycle->tick();
  advance(70.5);
  cycle->tick();
  ASSERT_EQ(view->rows[0].status, u"Failed");

  cycle->tick();  // closes the cycle
  EXPECT_EQ(cycle->serverIndex(), -1);
  EXPECT_EQ(children.started.size(), 1u);
  cycle->tick();  // begins the next one
  EXPECT_EQ(children.started.size(), 2u);
  EXPECT_EQ(view->rows[0].status, u"Running");
}

TEST_F(TestCycleTest, ShorterCycleWaitsForThePeriodMeasuredFromItsFirstTest) {
  build({.servers = {"office"}, .repeatPeriod = 1});
  view->repeat = true;
  script("office", {.reads = {u"Initialization Sequence Completed"}});
  cycle->start();
  cycle->tick();
  ASSERT_EQ(view->rows[0].status, u"Successful");

  for (int i = 0; i < 3; ++i) {  // 0 s, 30 s and exactly 60 s: still waiting
    cycle->tick();
    EXPECT_EQ(cycle->serverIndex(), 1 + i);  // runs past the end while waiting
    advance(30);
  }
  advance(-29.999);  // 60.001 s
  cycle->tick();
  ASSERT_EQ(cycle->serverIndex(), -1);
  EXPECT_EQ(children.started.size(), 1u);

  advance(10);
  cycle->tick();  // the new cycle starts here
  EXPECT_EQ(children.started.size(), 2u);
  advance(60);
  ticks(2);
  EXPECT_GE(cycle->serverIndex(), 1);
  advance(0.001);
  cycle->tick();
  EXPECT_EQ(cycle->serverIndex(), -1);
}

TEST_F(TestCycleTest, EmptyCatalogue) {
  build({.servers = {}, .repeatPeriod = 1});
  cycle->start();
  cycle->tick();
  EXPECT_FALSE(view->timerEnabled);
  EXPECT_TRUE(view->inputsEnabled);

  view->repeat = true;
  cycle->start();
  cycle->tick();
  EXPECT_EQ(cycle->serverIndex(), 0);
  advance(60);
  cycle->tick();
  EXPECT_EQ(cycle->serverIndex(), 1);
  advance(1);
  cycle->tick();
  EXPECT_EQ(cycle->serverIndex(), -1);
  cycle->tick();
  EXPECT_EQ(cycle->serverIndex(), 0);
  EXPECT_TRUE(view->timerEnabled);
  EXPECT_TRUE(children.started.empty());
}

TEST_F(TestCycleTest, StopMarksTheServerAtTheIndexButNoRowWhileWaiting) {
  build({.servers = {"office"}, .repeatPeriod = 1});
  view->repeat = true;
  cycle->start();
  ticks(2);
  cycle->stop();
  EXPECT_EQ(view->rows[0].history, (std::vector<std::u16string>{u"Running", u"Interrupted"}));
  EXPECT_EQ(view->rows[0].lastRun, u"");
  EXPECT_TRUE(children.last().released);
  EXPECT_FALSE(cycle->testing());
  EXPECT_FALSE(view->timerEnabled);
  EXPECT_TRUE(view->inputsEnabled);
  EXPECT_FALSE(view->stopEnabled);

  // Stop right after a test ended, before the next tick moves on: the index
  // still names that server.
  script("office", {.reads = {u"Initialization Sequence Completed"}});
  cycle->start();
  ticks(1);
  ASSERT_EQ(view->rows[0].status, u"Successful");
  cycle->stop();
  EXPECT_EQ(view->rows[0].status, u"Interrupted");
  EXPECT_EQ(view->rows[0].lastRun, u"");

  // While waiting to repeat the index is past the end: no row changes.
  cycle->start();
  ticks(2);
  ASSERT_EQ(view->rows[0].status, u"Successful");
  cycle->stop();
  EXPECT_EQ(view->rows[0].status, u"Successful");
  EXPECT_EQ(view->rows[0].lastRun, u"09:05:07");
}

TEST_F(TestCycleTest, StartKeepsPreviousResultsAndAlertFlags) {
  build({.servers = {"a", "b"}});
  script("a", {.endsAfterReads = 1});
  script("b", {.endsAfterReads = 1});
  cycle->start();
  ticks(3);
  ASSERT_FALSE(view->timerEnabled);
  ASSERT_EQ(alerts.size(), 2u);

  cycle->start();
  EXPECT_EQ(view->rows[0].status, u"Failed");
  EXPECT_EQ(view->rows[1].status, u"Failed");
  EXPECT_EQ(view->rows[1].lastRun, u"09:05:07");
  clock.now = EncodeDateTime(2026, 3, 29, 9, 5, 8);
  cycle->tick();  // the first server fails again: same outage
  EXPECT_EQ(view->rows[0].lastRun, u"09:05:08");
  EXPECT_EQ(view->rows[1].lastRun, u"09:05:07");
  EXPECT_EQ(alerts.size(), 2u);
  EXPECT_TRUE(outages->alerted(0));
  EXPECT_TRUE(outages->alerted(1));
}

// The saved options steer the cycle's mails; the wall clock is injected.
TEST_F(TestCycleTest, ThresholdReminderAndRecoveryFollowTheSavedOptions) {
  build({.servers = {"office"}, .repeatPeriod = 0});
  setOption(TOptionId::FailureThreshold, u"2");
  setOption(TOptionId::RecoveryMail, u"true");
  setOption(TOptionId::ReminderHours, u"1");
  view->repeat = true;
  const TChildScript failed{.endsAfterReads = 1};
  const TChildScript successful{.reads = {u"Initialization Sequence Completed\r\n"}};
  const TChildScript broken{.runThrows = true};
  struct Step {
    TChildScript child;
    size_t alertsSoFar;  // reminders included
    size_t recoveriesSoFar;
  };
  // Thirty minutes apart.
  const Step steps[] = {
      {failed, 0, 0}, {broken, 0, 0},  // neither counts nor resets
      {failed, 1, 0},                  // the second failure in a row: alert
      {failed, 1, 0}, {failed, 2, 0},  // an hour after the alert: reminder
      {failed, 2, 0}, {successful, 2, 1}, {successful, 2, 1},
      {failed, 2, 1}, {successful, 2, 1},  // no alert went out: no recovery mail
  };
  cycle->start();
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << n++);
    script("office", step.child);
    tickUntilDecided();
    EXPECT_EQ(alerts.size(), step.alertsSoFar);
    EXPECT_EQ(recoveries.size(), step.recoveriesSoFar);
    advance(1);
    clock.wall += 30min;
    cycle->tick();
  }
  // The outage began at the first failure, three hours before the success.
  EXPECT_EQ(recoveries.at(0), u"office after 3 h 0 min");
  ASSERT_FALSE(outageChanges.empty());
  EXPECT_EQ(outageChanges.back().second.failures, 0);
}

TEST_F(TestCycleTest, ARestoredOutageIsNotAlertedAgain) {
  build({.servers = {"a", "b"}, .repeatPeriod = 0});
  TOutageState known;
  known.alerted = true;
  known.failures = 4;
  known.outageStart = clock.wall - 10min;
  known.lastMail = known.outageStart;
  outages->restore(catalogue->row("a"), known);
  script("a", {.endsAfterReads = 1});
  script("b", {.endsAfterReads = 1});
  cycle->start();
  tickUntilDecided();
  tickUntilDecided();
  EXPECT_EQ(alerts, std::vector<std::u16string>{u"b"});
  const TOutageState& a = outages->outage(catalogue->row("a"));
  EXPECT_TRUE(a.alerted);
  EXPECT_EQ(a.failures, 5);
  EXPECT_EQ(a.outageStart, known.outageStart);
  // Each server's change was told, in order.
  ASSERT_EQ(outageChanges.size(), 2u);
  EXPECT_EQ(outageChanges[1].first, catalogue->row("b"));
  EXPECT_TRUE(outageChanges[1].second.alerted);
}

TEST_F(TestCycleTest, FullTunnelTestStartsTheConfigurationAsWritten) {
  build({.servers = {"office"}});
  setOption(TOptionId::FullTunnel, u"true");
  cycle->start();
  cycle->tick();
  EXPECT_EQ(children.last().cmdLine, u"openvpn --config \"office.ovpn\"");
  EXPECT_EQ(children.last().args, (std::vector<std::string>{"openvpn", "--config", "office.ovpn"}));
}

TEST(FormatLastRunTest, TwoDigitTwentyFourHourTime) {
  struct Case {
    int h, m, s;
    std::u16string text;
  };
  const Case cases[] = {{0, 0, 0, u"00:00:00"},
                        {9, 5, 7, u"09:05:07"},
                        {13, 45, 30, u"13:45:30"},
                        {23, 59, 59, u"23:59:59"}};
  for (const Case& c : cases) {
    EXPECT_EQ(formatLastRun(EncodeDateTime(2026, 3, 29, c.h, c.m, c.s)), c.text);
  }
}

// A locale of the test's own whose time format separates with ".", built
// with localedef into a scratch folder and chosen for LC_TIME.
class DottedTimeLocale {
 public:
  DottedTimeLocale() {
    _folder.write("dotted.src",
                  "LC_TIME\n"
                  "abday \"Sun\";\"Mon\";\"Tue\";\"Wed\";\"Thu\";\"Fri\";\"Sat\"\n"
                  "day \"Sunday\";\"Monday\";\"Tuesday\";\"Wednesday\";\"Thursday\";"
                  "\"Friday\";\"Saturday\"\n"
                  "abmon \"Jan\";\"Feb\";\"Mar\";\"Apr\";\"May\";\"Jun\";\"Jul\";\"Aug\";"
                  "\"Sep\";\"Oct\";\"Nov\";\"Dec\"\n"
                  "mon \"January\";\"February\";\"March\";\"April\";\"May\";\"June\";"
                  "\"July\";\"August\";\"September\";\"October\";\"November\";\"December\"\n"
                  "am_pm \"AM\";\"PM\"\n"
                  "d_t_fmt \"%a %d %b %Y %H.%M.%S\"\n"
                  "d_fmt \"%d.%m.%Y\"\n"
                  "t_fmt \"%H.%M.%S\"\n"
                  "t_fmt_ampm \"\"\n"
                  "END LC_TIME\n");
    // -c: the other categories are left out on purpose; localedef says so
    // and still writes LC_TIME.
    const std::string command = "localedef -c -i '" + (_folder / "dotted.src") + "' -f UTF-8 '" +
                                (_folder / "dotted.UTF-8") + "' >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(command.c_str());
    if (!std::filesystem::exists(_folder / "dotted.UTF-8/LC_TIME")) return;
    _locPath.emplace("LOCPATH", _folder.path().string());
    if (const char* old = std::setlocale(LC_TIME, nullptr)) _old = old;
    _active = std::setlocale(LC_TIME, "dotted.UTF-8") != nullptr;
  }
  ~DottedTimeLocale() { std::setlocale(LC_TIME, _old.c_str()); }
  bool active() const { return _active; }

 private:
  TempFolder _folder{"quorvex-locale"};
  std::optional<ScopedEnv> _locPath;
  std::string _old = "C";
  bool _active = false;
};

TEST(FormatLastRunTest, UsesTheLocalesTimeSeparator) {
  DottedTimeLocale locale;
  if (!locale.active()) GTEST_SKIP() << "localedef could not build a test locale here";
  EXPECT_EQ(formatLastRun(EncodeDateTime(2026, 3, 29, 9, 5, 7)), u"09.05.07");
}

}  // namespace
}  // namespace quorvex::test

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/program_options.h"
#include "monitor/outage_state_file.h"
#include "platform/exception.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace quorvex::test {
namespace {

using test::readFile;
using test::TempFolder;

TEST(CommandLineTest, StateFileAndOptionsOfTheTable) {
  const TCommandLine ok =
      parseCommandLine({"--headless", "--state", "/var/lib/q/state.xml", "--option",
                        "failure_threshold=3", "--option=smtp_security=implicit_tls"});
  ASSERT_FALSE(ok.error) << *ok.error;
  EXPECT_EQ(ok.stateFile, u"/var/lib/q/state.xml");
  ASSERT_EQ(ok.optionValues.size(), 2u);
  EXPECT_EQ(ok.optionValues[0].first, "failure_threshold");
  EXPECT_EQ(ok.optionValues[1].second, u"implicit_tls");

  const struct {
    std::vector<std::string> args;
    std::string error;
  } bad[] = {
      {{"--headless", "--state"}, "option '--state' needs a file name"},
      {{"--headless", "--state="}, "option '--state' needs a file name"},
      {{"--state", "x"}, "options '--state' and '--option' need '--headless'"},
      {{"--headless", "--option", "colour=red"}, "option '--option' knows no 'colour'"},
      {{"--headless", "--option", "full_tunnel"}, "option '--option' needs full_tunnel=VALUE"},
      {{"--headless", "--option", "failure_threshold=0"},
       "The option failure_threshold must lie between 1 and 1000, not 0"},
      {{"--headless", "--option", "recovery_mail=sure"}, "''sure'' is not a valid boolean value"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const TCommandLine options = parseCommandLine(c.args);
    ASSERT_TRUE(options.error);
    EXPECT_TRUE(options.error->starts_with(c.error)) << *options.error;
  }
  // The help lists every option of the table.
  const std::string help = usageText("quorvex");
  for (const TOptionSpec& spec : optionTable())
    EXPECT_NE(help.find("  " + std::string(spec.element) + "="), std::string::npos);
}

TEST(CommandLineTest, OptionValuesApplyToThisRunOnly) {
  TCatalogueFixture catalogue{{.servers = {"a"}}};
  const TCommandLine options =
      parseCommandLine({"--headless", "--option", "reminder_hours=4", "--option",
                        "reminder_hours=6", "--option", "full_tunnel=TRUE"});
  ASSERT_FALSE(options.error);
  applyOptionValues(catalogue.settings(), options);
  EXPECT_EQ(catalogue.settings().Options().Integer(TOptionId::ReminderHours), 6);  // the last wins
  EXPECT_TRUE(catalogue.settings().Options().Boolean(TOptionId::FullTunnel));
  EXPECT_EQ(catalogue.settings().Options().Integer(TOptionId::FailureThreshold), 1);
  // Nothing is written: the file keeps the layout without options.
  EXPECT_EQ(test::readFile(toUtf8(catalogue.settings().FileName())).find("<options>"),
            std::string::npos);
}

// Runs of `quorvex --headless --once` as cron starts them, one after another,
// sharing a state file.
class HeadlessStateTest : public ::testing::Test {
 protected:
  int run(const std::string& state) {
    TCommandLine options{.headless = true, .once = true};
    options.stateFile = fromUtf8(state);
    out.str("");
    err.str("");
    return runHeadlessCycle(catalogue.settings(), options, children.factory(),
                            {mailsBy([this](const TVPNServer& server, const std::u16string&) {
                               mails.push_back(server.Name() + u" Down!");
                             }),
                             recoveriesBy([this](const TVPNServer& server, std::chrono::seconds,
                                                 const std::u16string& reason) {
                               mails.push_back(server.Name() + u" Up after: " + reason);
                             })},
                            out, err, clock);
  }
  void serverIs(bool up) {
    children.scripts[u"office.ovpn"] =
        up ? TChildScript{.reads = {u"Initialization Sequence Completed\n"}}
           : TChildScript{.reads = {u"Connection refused\n"}, .endsAfterReads = 1};
  }
  void setOption(TOptionId id, const std::u16string& value) {
    TOptions options = catalogue.settings().Options();
    options.SetText(id, value);
    catalogue.settings().SetOptions(options);
  }

  TempFolder folder;
  TCatalogueFixture catalogue{{.servers = {"office"}}};
  TFakeChildren children;
  TFakeClock clock;
  std::vector<std::u16string> mails;
  std::ostringstream out, err;
};

TEST_F(HeadlessStateTest, CronRunsSendOneAlertPerOutageAndOneRecoveryMail) {
  setOption(TOptionId::RecoveryMail, u"true");
  const std::string state = folder / "state/state.xml";
  serverIs(false);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(run(state), 2);
    // The first run finds no file and says so; from then on the file is there.
    EXPECT_EQ(err.str().find("No such file or directory; starting without earlier outages") !=
                  std::string::npos,
              i == 0)
        << err.str();
  }
  EXPECT_EQ(mails, std::vector<std::u16string>{u"office Down!"});
  serverIs(true);
  EXPECT_EQ(run(state), 0);
  EXPECT_EQ(err.str(), "");
  serverIs(false);
  EXPECT_EQ(run(state), 2);
  // The recovery mail says why the server was down, though another run saw it fail.
  EXPECT_EQ(mails, (std::vector<std::u16string>{u"office Down!", u"office Up after: refused",
                                                u"office Down!"}));
  EXPECT_EQ(test::permissions(state), 0600u);
}

TEST_F(HeadlessStateTest, WithoutAStateFileEveryRunAlertsAgain) {
  serverIs(false);
  TCommandLine options{.headless = true, .once = true};
  for (int i = 0; i < 2; ++i)
    runHeadlessCycle(catalogue.settings(), options, children.factory(),
                     {mailsBy([this](const TVPNServer& server, const std::u16string&) {
                       mails.push_back(server.Name());
                     })},
                     out, err, clock);
  EXPECT_EQ(mails.size(), 2u);
}

TEST_F(HeadlessStateTest, ThresholdCountsAcrossRuns) {
  setOption(TOptionId::FailureThreshold, u"3");
  const std::string state = folder / "state.xml";
  serverIs(false);
  run(state);
  run(state);
  EXPECT_TRUE(mails.empty());
  serverIs(true);
  run(state);  // a success in between starts the count again
  serverIs(false);
  run(state);
  run(state);
  EXPECT_TRUE(mails.empty());
  run(state);
  EXPECT_EQ(mails, std::vector<std::u16string>{u"office Down!"});
}

TEST_F(HeadlessStateTest, TroubleWithTheFileIsReportedOnceAndTheRunGoesOn) {
  serverIs(false);
  // Damaged: reported, replaced by a good file, not reported again.
  const std::string damaged = folder.write("damaged.xml", "<quorvex_state><server>");
  EXPECT_EQ(run(damaged), 2);
  EXPECT_TRUE(
      err.str().starts_with("quorvex: The outage state file \"" + damaged + "\" is damaged: "))
      << err.str();
  EXPECT_NE(err.str().find("; starting without earlier outages\n"), std::string::npos);
  EXPECT_EQ(mails.size(), 1u);
  EXPECT_EQ(run(damaged), 2);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(mails.size(), 1u);

  // Servers no longer in the catalogue are dropped from the file.
  const std::string stale = folder / "stale.xml";
  TOutageStates old;
  old["gone.ovpn"] = {true, 9};
  old["office.ovpn"] = {true, 2};
  TOutageStateFile(fromUtf8(stale)).save(old);
  EXPECT_EQ(run(stale), 2);
  EXPECT_EQ(mails.size(), 1u);  // office's outage was already reported
  std::optional<std::u16string> problem;
  const TOutageStates now = TOutageStateFile(fromUtf8(stale)).load(problem);
  EXPECT_EQ(now.count("gone.ovpn"), 0u);
  EXPECT_EQ(now.at("office.ovpn").failures, 3);

  // A folder that cannot be written: one report, and the alert still goes out.
  folder.write("file", "");
  mails.clear();
  EXPECT_EQ(run(folder / "file/state.xml"), 2);
  const std::string report = err.str();
  EXPECT_EQ(mails.size(), 1u);
  EXPECT_NE(report.find("Not a directory; outages are not remembered after this run\n"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("not remembered"), report.rfind("not remembered")) << report;
}

}  // namespace
}  // namespace quorvex::test

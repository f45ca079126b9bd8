#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/program_options.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace quorvex::test {
namespace {

using test::readFile;
using test::TempFolder;

TEST(MetricsCommandLineTest, FileNeededAndOnlyWithHeadless) {
  const TCommandLine ok = parseCommandLine({"--headless", "--metrics", "/var/lib/q/q.prom"});
  ASSERT_FALSE(ok.error) << *ok.error;
  EXPECT_EQ(ok.metricsFile, u"/var/lib/q/q.prom");
  EXPECT_EQ(parseCommandLine({"--headless", "--metrics=a b.prom"}).metricsFile, u"a b.prom");
  const struct {
    std::vector<std::string> args;
    std::string error;
  } bad[] = {
      {{"--headless", "--metrics"}, "option '--metrics' needs a file name"},
      {{"--headless", "--metrics="}, "option '--metrics' needs a file name"},
      {{"--metrics", "x"}, "option '--metrics' needs '--headless'"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const TCommandLine options = parseCommandLine(c.args);
    ASSERT_TRUE(options.error);
    EXPECT_EQ(*options.error, c.error);
  }
}

class HeadlessMetricsTest : public ::testing::Test {
 protected:
  int run(const std::string& metrics, bool mailWorks = true) {
    TCommandLine options{.headless = true, .once = true};
    options.metricsFile = fromUtf8(metrics);
    children.scripts[u"up.ovpn"] = TChildScript{.reads = {u"Initialization Sequence Completed\n"}};
    children.scripts[u"down.ovpn"] =
        TChildScript{.reads = {u"Connection refused\n"}, .endsAfterReads = 1};
    return runHeadlessCycle(catalogue.settings(), options, children.factory(),
                            {mailsBy([mailWorks](const TVPNServer&, const std::u16string&) {
                              if (!mailWorks) throw std::runtime_error("Connect timed out.");
                            })},
                            out, err, clock);
  }

  TempFolder folder;
  TCatalogueFixture catalogue{{.servers = {"up", "down"}}};
  TFakeChildren children;
  TFakeClock clock;
  std::ostringstream out, err;
};

TEST_F(HeadlessMetricsTest, OneUpOneDownWithTheAlertCounted) {
  const std::string metrics = folder / "textfile/quorvex.prom";
  EXPECT_EQ(run(metrics), 2);
  const std::string text = readFile(metrics);
  for (const char* line :
       {"quorvex_server_up{server=\"up\"} 1\n", "quorvex_server_up{server=\"down\"} 0\n",
        "quorvex_alerts_sent_total{server=\"up\"} 0\n",
        "quorvex_alerts_sent_total{server=\"down\"} 1\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  for (const char* server : {"up", "down"}) {
    for (const std::string family :
         {"quorvex_server_last_test_timestamp_seconds", "quorvex_server_test_duration_seconds"})
      EXPECT_NE(text.find(family + "{server=\"" + server + "\"} "), std::string::npos)
          << family << " " << server << " in\n"
          << text;
  }
}

TEST_F(HeadlessMetricsTest, AnAlertNotSentIsNotCounted) {
  const std::string metrics = folder / "quorvex.prom";
  EXPECT_EQ(run(metrics, false), 2);
  EXPECT_NE(readFile(metrics).find("quorvex_alerts_sent_total{server=\"down\"} 0\n"),
            std::string::npos);
}

TEST_F(HeadlessMetricsTest, AFileThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
  folder.write("plain", "a file where a folder should be");
  EXPECT_EQ(run(folder / "plain/quorvex.prom"), 2);
  const std::string errors = err.str();
  const size_t first = errors.find("metrics are not written");
  ASSERT_NE(first, std::string::npos) << errors;
  EXPECT_EQ(errors.find("metrics are not written", first + 1), std::string::npos) << errors;
  EXPECT_NE(out.str().find("QUORVEX CRITICAL - 1 of 2 servers down: down"), std::string::npos)
      << out.str();
}

}  // namespace
}  // namespace quorvex::test

#include <gtest/gtest.h>

#include <sqlite3.h>

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

// Every result of the file as "server status reason", in the order written.
std::vector<std::string> resultsIn(const std::string& path) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT name || ' ' || status || ' ' || reason FROM results JOIN servers ON "
                     "servers.id = results.server ORDER BY results.id",
                     -1, &stmt, nullptr);
  while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
    rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

class HeadlessHistoryTest : public ::testing::TestWithParam<int> {
 protected:
  int run(const std::string& history) {
    TCommandLine options{.headless = true, .once = true};
    options.historyFile = fromUtf8(history);
    options.statusPage = fromUtf8(folder / "www/status.html");
    options.metricsFile = fromUtf8(folder / "quorvex.prom");
    options.optionValues = {{"jobs", fromUtf8(std::to_string(GetParam()))}};
    applyOptionValues(catalogue.settings(), options);
    children.scripts[u"up.ovpn"] = TChildScript{.reads = {u"Initialization Sequence Completed\n"}};
    children.scripts[u"down.ovpn"] =
        TChildScript{.reads = {u"Connection refused\n"}, .endsAfterReads = 1};
    return runHeadlessCycle(catalogue.settings(), options, children.factory(),
                            {mailsBy([](const TVPNServer&, const std::u16string&) {})}, out, err,
                            clock);
  }

  TempFolder folder;
  TCatalogueFixture catalogue{{.servers = {"up", "down"}}};
  TFakeChildren children;
  TFakeClock clock;
  std::ostringstream out, err;
};

TEST_P(HeadlessHistoryTest, EachRunAddsItsResultsThePageAndTheGauges) {
  const std::string history = folder / "state/history.sqlite";
  EXPECT_EQ(run(history), 2);
  EXPECT_EQ(run(history), 2);
  EXPECT_EQ(resultsIn(history),
            (std::vector<std::string>{"down Failed refused", "up Successful ",
                                      "down Failed refused", "up Successful "}));
  const std::string page = readFile(folder / "www/status.html");
  EXPECT_NE(page.find("<p class=\"summary down\">1 of 2 servers is down.</p>"), std::string::npos)
      << page;
  const std::string metrics = readFile(folder / "quorvex.prom");
  for (const char* line : {"quorvex_server_uptime_ratio{server=\"up\",period=\"24h\"} 1\n",
                           "quorvex_server_uptime_ratio{server=\"down\",period=\"30d\"} 0\n",
                           "quorvex_server_outages_30d{server=\"down\"} 1\n"})
    EXPECT_NE(metrics.find(line), std::string::npos) << line << " in\n" << metrics;
  EXPECT_EQ(err.str().find("histor"), std::string::npos) << err.str();
}

TEST_P(HeadlessHistoryTest, AHistoryThatCannotBeOpenedIsSaidAndTheRunGoesOn) {
  folder.write("plain", "a file where a folder should be");
  EXPECT_EQ(run(folder / "plain/history.sqlite"), 2);
  EXPECT_NE(err.str().find("quorvex: the history " + folder / "plain/history.sqlite" +
                           " cannot be opened: "),
            std::string::npos)
      << err.str();
  EXPECT_NE(out.str().find("QUORVEX CRITICAL - 1 of 2 servers down: down"), std::string::npos);
}

// One server after the other, and both at once (their results in one batch).
INSTANTIATE_TEST_SUITE_P(Jobs, HeadlessHistoryTest, ::testing::Values(1, 2));

}  // namespace
}  // namespace quorvex::test

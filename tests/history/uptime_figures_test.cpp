#include "history/uptime_figures.h"

#include <gtest/gtest.h>

#include "history/history_report.h"
#include "support/history_fixture.h"

namespace quorvex::test {
namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t T = kNowMs;  // 12:30 UTC

// The results of four servers, in the order they arrived. The figures below
// were worked out by hand from this list.
void recordFixture(THistoryStore& store) {
  const THistoryResult results[] = {
      // alpha: an outage that ended before the 30 days, one that ended inside
      // them, and two in the last day.
      result("alpha", "Failed", T - 40 * kDayMs, 90'000, "timed out"),
      result("alpha", "Successful", T - 39 * kDayMs, 3000),
      result("alpha", "Failed", T - 31 * kDayMs, 90'000, "timed out"),
      result("alpha", "Successful", T - 29 * kDayMs, 3000),
      result("alpha", "Successful", T - 8 * kDayMs, 4000),
      // 12:10 yesterday: in the same hour as the next one, but not in the last 24 hours.
      result("alpha", "Failed", T - kDayMs - 20 * kMinute, 90'000, "refused"),
      result("alpha", "Successful", T - kDayMs, 3000),  // exactly 24 hours ago: counts
      result("alpha", "Failed", T - 5 * kHourMs, 90'000, "timed out"),
      result("alpha", "Failed", T - 4 * kHourMs, 90'000, "timed out"),
      result("alpha", "Successful", T - 3 * kHourMs, 2000),
      result("alpha", "Successful", T - kHourMs, 1000),
      result("alpha", "Successful", T - 10 * kMinute, 5000),
      // Bravo: down since six hours ago; a test that could not start counts neither way.
      result("Bravo", "Successful", T - 2 * kDayMs, 1500),
      result("Bravo", "Failed", T - 6 * kHourMs, 20, "refused"),
      result("Bravo", "Failed to start", T - 30 * kMinute, 0, "Failed to start openvpn"),
      result("Bravo", "Failed", T - 20 * kMinute, 20, "refused"),
      // charlie: one result 60 days ago; delta: one 100 days ago, left out.
      result("charlie", "Successful", T - 60 * kDayMs, 2500),
      result("delta", "Successful", T - 100 * kDayMs, 2500),
  };
  for (const THistoryResult& r : results) ASSERT_TRUE(store.record(r));
}

std::string figure(const std::optional<double>& value) {
  return value ? std::to_string(*value).substr(0, std::to_string(*value).find('.') + 4) : "none";
}

TEST(UptimeFigures, AgreeWithTheHandComputedTable) {
  TStoreFixture fixture({.retentionDays = 0});
  auto store = fixture.open(T - 100 * kDayMs);
  recordFixture(*store);
  const auto figures = historyFigures(*store, {.nowMs = T, .days = true});

  struct TRow {
    const char* server;
    const char *up24h, *up7d, *up30d;
    int64_t outages, longestS;
    bool down;
    const char *median, *p95;
    const char* last;
    int64_t lastMs;
  };
  const TRow expected[] = {
      // 24 h: S F F S S S; 7 d adds the failure at 12:10 yesterday; 30 d adds
      // two successes. Outages: the 2-day one, the 20-minute one, the 2-hour one.
      // Connect times of the day: 1, 2, 3, 5 s.
      {"alpha", "66.666", "57.142", "66.666", 3, 2 * 86400, false, "2.500", "5.000", "Successful",
       T - 10 * kMinute},
      {"Bravo", "0.000", "33.333", "33.333", 1, 6 * 3600, true, "none", "none", "Failed",
       T - 20 * kMinute},
      {"charlie", "none", "none", "none", 0, 0, false, "none", "none", "Successful",
       T - 60 * kDayMs},
  };
  ASSERT_EQ(figures.size(), std::size(expected));
  for (size_t i = 0; i < figures.size(); ++i) {
    const TServerFigures& f = figures[i];
    const TRow& row = expected[i];
    SCOPED_TRACE(row.server);
    EXPECT_EQ(toUtf8(f.server), row.server);
    EXPECT_EQ(figure(f.uptime24h), row.up24h);
    EXPECT_EQ(figure(f.uptime7d), row.up7d);
    EXPECT_EQ(figure(f.uptime30d), row.up30d);
    EXPECT_EQ(f.outages30d, row.outages);
    EXPECT_EQ(f.longestOutageMs, row.longestS * 1000);
    EXPECT_EQ(f.down, row.down);
    EXPECT_EQ(figure(f.connectMedianS), row.median);
    EXPECT_EQ(figure(f.connectP95S), row.p95);
    EXPECT_EQ(toUtf8(f.lastStatus), row.last);
    EXPECT_EQ(f.lastTimeMs, row.lastMs);
  }
  // The strips: alpha's current hour holds the test of 12:20; its hour of
  // 07:30 (five hours ago, slot 18) one failure; today one day of mixed results.
  EXPECT_EQ(figures[0].hours[23].up, 1);
  EXPECT_EQ(figures[0].hours[18].down, 1);
  EXPECT_EQ(figures[0].hours[0].up, 0);  // 13:00 yesterday is the first hour shown
  EXPECT_EQ(figures[0].hours[0].down, 0);
  EXPECT_EQ(figures[0].days[89].up, 3);
  EXPECT_EQ(figures[0].days[89].down, 2);
  EXPECT_EQ(figures[0].days[88].down, 1);  // yesterday: 12:10 failed, 12:30 succeeded
  EXPECT_EQ(figures[0].days[88].up, 1);
  EXPECT_EQ(figures[2].days[29].up, 1);  // charlie, 60 days ago
}

TEST(UptimeFigures, PercentilesByRank) {
  struct TCase {
    std::vector<int64_t> ms;
    const char *median, *p95;
  };
  const TCase cases[] = {
      {{}, "none", "none"},
      {{7000}, "7.000", "7.000"},
      {{1000, 2000}, "1.500", "2.000"},
      {{3000, 1000, 2000}, "2.000", "3.000"},
      // 20 values: rank 19 is the 95th percentile, rank 20 only the 100th.
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, "0.010", "0.019"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(figure(medianSeconds(c.ms)), c.median);
    EXPECT_EQ(figure(nearestRankSeconds(c.ms, 95)), c.p95);
  }
}

TEST(HistoryReport, TableAndJson) {
  TStoreFixture fixture({.retentionDays = 0});
  auto store = fixture.open(T - 100 * kDayMs);
  recordFixture(*store);
  store->record(result("new\nline \"quoted\"", "Failed", T - kMinute, 5, "TLS failed"));
  const auto figures = historyFigures(*store, {.nowMs = T});

  EXPECT_EQ(
      reportTable(figures),
      "Server              Uptime 24h  7d      30d     Outages 30d  Longest  Connect median  "
      "p95     Last result          At (UTC)\n"
      "alpha               66.67%      57.14%  66.67%  3            2d 0h    2.50 s          "
      "5.00 s  Successful           2026-12-11 12:20:00Z\n"
      "Bravo               0.00%       33.33%  33.33%  1            6h 0m    -               "
      "-       Failed (refused)     2026-12-11 12:10:00Z\n"
      "charlie             -           -       -       0            -        -               "
      "-       Successful           2026-10-12 12:30:00Z\n"
      "new\\nline \"quoted\"  0.00%       0.00%   0.00%   1            1m 0s    -               "
      "-       Failed (TLS failed)  2026-12-11 12:29:00Z\n");
  EXPECT_EQ(reportJson({figures[1], figures[3]}),
            "[\n"
            "  {\"server\": \"Bravo\", \"uptime_24h\": 0.000, \"uptime_7d\": 33.333, "
            "\"uptime_30d\": 33.333, \"outages_30d\": 1, \"longest_outage_s\": 21600.000, "
            "\"connect_median_s\": null, \"connect_p95_s\": null, \"last_status\": \"Failed\", "
            "\"last_reason\": \"refused\", \"last_time\": \"2026-12-11T12:10:00Z\"},\n"
            "  {\"server\": \"new\\nline \\\"quoted\\\"\", \"uptime_24h\": 0.000, \"uptime_7d\": "
            "0.000, \"uptime_30d\": 0.000, \"outages_30d\": 1, \"longest_outage_s\": 60.000, "
            "\"connect_median_s\": null, \"connect_p95_s\": null, \"last_status\": \"Failed\", "
            "\"last_reason\": \"TLS failed\", \"last_time\": \"2026-12-11T12:29:00Z\"}\n"
            "]\n");
  EXPECT_EQ(reportJson({}), "[]\n");
}

}  // namespace
}  // namespace quorvex::test

#include "monitor/metrics_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_folder.h"

namespace quorvex {
namespace {

using std::chrono::milliseconds;
using test::TempFolder;

const auto kStart = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(MetricsFile, FiguresOfEachServerAfterItsTest) {
  TMetricsFile metrics({u"up", u"down", u"untested"}, "/nonexistent/m.prom");
  metrics.statusChanged(0, TVerdict::Running, 100, kStart);
  metrics.statusChanged(0, TVerdict::Successful, 101.5, kStart + milliseconds(1500));
  metrics.statusChanged(1, TVerdict::Running, 102, kStart + milliseconds(2000));
  metrics.statusChanged(1, TVerdict::Failed, 106.25, kStart + milliseconds(6250), u"timed out");
  metrics.alertSent(1);
  // A test cut short changes nothing; the last result stands.
  metrics.statusChanged(0, TVerdict::Running, 110, kStart + milliseconds(9000));
  metrics.statusChanged(0, TVerdict::Interrupted, 111, kStart + milliseconds(10000));
  EXPECT_EQ(
      metrics.text(),
      "# HELP quorvex_server_up Whether the server accepted a connection at its last test (1) "
      "or not (0).\n"
      "# TYPE quorvex_server_up gauge\n"
      "quorvex_server_up{server=\"up\"} 1\n"
      "quorvex_server_up{server=\"down\"} 0\n"
      "# HELP quorvex_server_last_test_timestamp_seconds When the server's last test ended, "
      "in seconds since the epoch.\n"
      "# TYPE quorvex_server_last_test_timestamp_seconds gauge\n"
      "quorvex_server_last_test_timestamp_seconds{server=\"up\"} 101.5\n"
      "quorvex_server_last_test_timestamp_seconds{server=\"down\"} 106.25\n"
      "# HELP quorvex_server_test_duration_seconds How long the server's last test took.\n"
      "# TYPE quorvex_server_test_duration_seconds gauge\n"
      "quorvex_server_test_duration_seconds{server=\"up\"} 1.5\n"
      "quorvex_server_test_duration_seconds{server=\"down\"} 4.25\n"
      "# HELP quorvex_alerts_sent_total Alert mails sent for the server since the monitor "
      "started.\n"
      "# TYPE quorvex_alerts_sent_total counter\n"
      "quorvex_alerts_sent_total{server=\"up\"} 0\n"
      "quorvex_alerts_sent_total{server=\"down\"} 1\n"
      "quorvex_alerts_sent_total{server=\"untested\"} 0\n"
      "# HELP quorvex_server_failure 1 while the server's last test failed, labelled with the "
      "reason.\n"
      "# TYPE quorvex_server_failure gauge\n"
      "quorvex_server_failure{server=\"down\",reason=\"timed out\"} 1\n");
}

TEST(MetricsFile, GaugesFromTheHistory) {
  TMetricsFile metrics({u"new", u"office", u"none yet"}, "/nonexistent/m.prom");
  metrics.historyChanged(0, {.uptime24h = 100.0});
  metrics.historyChanged(1, {.uptime24h = 50.0,
                             .uptime7d = 87.5,
                             .uptime30d = 96.875,
                             .outages30d = 3,
                             .connectMedian = 2.5,
                             .connectP95 = 4.25});
  const std::string text = metrics.text();
  EXPECT_NE(text.find("# TYPE quorvex_server_uptime_ratio gauge\n"
                      "quorvex_server_uptime_ratio{server=\"new\",period=\"24h\"} 1\n"
                      "quorvex_server_uptime_ratio{server=\"office\",period=\"24h\"} 0.5\n"
                      "quorvex_server_uptime_ratio{server=\"office\",period=\"7d\"} 0.875\n"
                      "quorvex_server_uptime_ratio{server=\"office\",period=\"30d\"} 0.96875\n"
                      "# HELP quorvex_server_outages_30d"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("# TYPE quorvex_server_outages_30d gauge\n"
                      "quorvex_server_outages_30d{server=\"new\"} 0\n"
                      "quorvex_server_outages_30d{server=\"office\"} 3\n"),
            std::string::npos);
  EXPECT_NE(text.find("# TYPE quorvex_server_connect_seconds gauge\n"
                      "quorvex_server_connect_seconds{server=\"office\",quantile=\"0.5\"} 2.5\n"
                      "quorvex_server_connect_seconds{server=\"office\",quantile=\"0.95\"} 4.25\n"),
            std::string::npos);
  EXPECT_EQ(text.find("none yet\",period"), std::string::npos);
}

TEST(MetricsFile, NamesThatWouldBreakTheLineAreEscaped) {
  // Control characters are shown as escapes, as in the status lines; the
  // format's own escapes then keep the backslashes.
  TMetricsFile metrics({u"a\"b\\c\nd\r\x01 Z\u00fcrich"}, "/nonexistent/m.prom");
  EXPECT_NE(metrics.text().find("quorvex_alerts_sent_total{server=\"a\\\"b\\\\c\\\\nd\\\\r\\\\x01 "
                                "Z\xC3\xBCrich\"} 0\n"),
            std::string::npos)
      << metrics.text();
  EXPECT_EQ(metrics.text().find('\r'), std::string::npos);
}

TEST(MetricsFile, StartFailureIsDownWithoutDuration) {
  TMetricsFile metrics({u"s"}, "/nonexistent/m.prom");
  metrics.statusChanged(0, TVerdict::FailedToStart, 5, kStart);
  EXPECT_NE(metrics.text().find("quorvex_server_up{server=\"s\"} 0\n"), std::string::npos);
  EXPECT_NE(metrics.text().find("quorvex_server_test_duration_seconds{server=\"s\"} 0\n"),
            std::string::npos);
}

TEST(MetricsFile, WrittenReadableByOthersAndErrorsRaised) {
  TempFolder folder("quorvex metrics");
  TMetricsFile metrics({u"s"}, folder / "sub/m.prom");
  metrics.write();
  EXPECT_EQ(readAll(folder / "sub/m.prom"), metrics.text());
  struct stat st {};
  ASSERT_EQ(stat((folder / "sub/m.prom").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  TMetricsFile nowhere({u"s"}, folder / "sub/m.prom/below");
  EXPECT_THROW(nowhere.write(), std::exception);
}

// A reader running beside the writer sees one whole version or the other,
// never a mix or a cut-off file.
TEST(MetricsFile, ReaderNeverSeesATornFile) {
  TempFolder folder;
  const std::string path = folder / "m.prom";
  std::vector<std::u16string> names;
  for (int i = 0; i < 300; ++i) names.push_back(u"server-" + std::u16string(1, u'a' + i % 26));
  TMetricsFile metrics(names, path);
  std::vector<std::string> versions;
  metrics.write();
  versions.push_back(metrics.text());
  for (int i = 0; i < static_cast<int>(names.size()); ++i)
    metrics.statusChanged(i, TVerdict::Failed, 7, kStart);
  versions.push_back(metrics.text());

  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {  // bounded by the writer's fixed count below
      const std::string seen = readAll(path);
      if (seen != versions[0] && seen != versions[1]) ++torn;
      ++reads;
    }
  });
  for (int round = 0; round < 300; ++round) {
    TMetricsFile writer(names, path);
    if (round % 2)
      for (int i = 0; i < static_cast<int>(names.size()); ++i)
        writer.statusChanged(i, TVerdict::Failed, 7, kStart);
    writer.write();
  }
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace quorvex

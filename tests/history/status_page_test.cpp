#include "history/status_page.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "history/history_report.h"
#include "platform/exception.h"
#include "support/history_fixture.h"

namespace quorvex::test {
namespace {

constexpr int64_t T = kNowMs;

// Three servers as a reader should see them: one up for 90 days, one down
// since today with failures on some days before, one whose last test could
// not start (and a name that must not become markup).
std::vector<TServerFigures> pageFixture(TStoreFixture& fixture) {
  auto store = fixture.open(T - 95 * kDayMs);
  for (int day = 89; day >= 0; --day) {
    const int64_t at = T - day * kDayMs - 2 * kHourMs;
    store->record(result("gateway-eu", "Successful", at, 1800 + day * 10));
    const bool bad = day == 0 || day % 17 == 3;
    store->record(
        result("office", bad ? "Failed" : "Successful", at, 2500, bad ? "timed out" : ""));
    if (bad && day > 0) store->record(result("office", "Successful", at + kHourMs, 2600));
    if (day < 30) store->record(result("<b>lab</b> & co", "Successful", at, 3100));
  }
  store->record(result("<b>lab</b> & co", "Failed to start", T - kHourMs, 0,
                       "Cannot open file \"lab.conf\"."));
  return historyFigures(*store, {.nowMs = T, .days = true});
}

TEST(StatusPage, IsOneFileOfItsOwnThatNeedsNoScript) {
  TStoreFixture fixture;
  const std::string html = statusPageHtml(pageFixture(fixture), T);
  for (const char* absent : {"<script", "http:", "https:", "src=", "@import", "url(", "<b>lab"})
    EXPECT_EQ(html.find(absent), std::string::npos) << absent;
  for (const char* present :
       {"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
        "@media (prefers-color-scheme:dark)",
        "<p class=\"summary down\">1 of 3 servers is down.</p>",
        "<span class=\"name\">&lt;b&gt;lab&lt;/b&gt; &amp; co</span>",
        "<span class=\"state unknown\">Not tested: Cannot open file &quot;lab.conf&quot;.</span>",
        "<span class=\"state down\">Down: timed out</span>", "<span class=\"state up\">Up</span>",
        "<span class=\"d\" title=\"2026-12-11: 1 of 1 failed\"></span>",
        "<span class=\"p\" title=\"2026-12-08: 1 of 2 failed\"></span>",
        "aria-label=\"Last 90 days: 83 days up, 7 days with failures\"",
        "Updated 2026-12-11 12:30:00Z."})
    EXPECT_NE(html.find(present), std::string::npos) << present;
}

TEST(StatusPage, IsReplacedWhole) {
  TStoreFixture fixture;
  const auto figures = pageFixture(fixture);
  const std::string page = fixture.folder / "status.html";
  writeStatusPage(page, {}, T);
  std::ifstream reader(page);  // a web server in the middle of sending the old page
  writeStatusPage(page, figures, T);
  const std::string oldPage((std::istreambuf_iterator<char>(reader)), {});
  EXPECT_NE(oldPage.find("No results yet."), std::string::npos);
  EXPECT_EQ(oldPage.find("office"), std::string::npos);
  EXPECT_EQ(readFile(page), statusPageHtml(figures, T));
  EXPECT_EQ(permissions(page), 0644u);
  EXPECT_THROW(writeStatusPage(fixture.folder / "status.html/x", figures, T), EFileError);
}

std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) output += "\nexit " + std::to_string(status);
  return output;
}

TEST(StatusPage, ReadsRightInAHeadlessBrowser) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
  TStoreFixture fixture;
  // The page and its screenshots stay in the build folder; scripts/screenshot.sh
  // copies the pictures to docs/.
  const std::string shots = QUORVEX_BINARY_DIR;
  const std::string page = shots + "/status-page.html";
  writeStatusPage(page, pageFixture(fixture), T);
  const std::string output =
      run("/usr/bin/python3 " QUORVEX_SOURCE_DIR "/tests/history/status_page_browser.py '" + page +
          "' '" + shots + "' 2>&1");
  std::map<std::string, std::string> facts;
  std::vector<std::string> servers;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = line.substr(blank + 1);
    if (key == "server") {
      servers.push_back(value);
    } else if (key == "background" || key == "overflow") {
      const size_t second = value.find(' ');
      facts[key + " " + value.substr(0, second)] = value.substr(second + 1);
    } else {
      facts[key] = value;
    }
  }
  SCOPED_TRACE(output);
  EXPECT_EQ(facts["console"], "0");
  EXPECT_EQ(facts["scripts"], "0");
  EXPECT_EQ(facts["summary"], "1 of 3 servers is down.");
  EXPECT_EQ(servers, (std::vector<std::string>{
                         "<b>lab</b> & co|unknown|Not tested: Cannot open file \"lab.conf\".|90",
                         "gateway-eu|up|Up|90", "office|down|Down: timed out|90"}));
  EXPECT_EQ(facts["background light"], "rgb(255, 255, 255)");
  EXPECT_EQ(facts["background dark"], "rgb(13, 17, 23)");
  EXPECT_EQ(facts["overflow phone"], "0") << "the page is wider than a phone";
  for (const char* shot : {"status-page.png", "status-page-dark.png", "status-page-phone.png"})
    EXPECT_GT(std::filesystem::file_size(shots + "/" + shot), 10'000u) << shot;
}

}  // namespace
}  // namespace quorvex::test

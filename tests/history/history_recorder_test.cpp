#include "history/history_recorder.h"

#include <gtest/gtest.h>

#include "support/history_fixture.h"

namespace quorvex::test {
namespace {

using namespace std::chrono_literals;

struct TRecorderFixture : TStoreFixture {
  std::unique_ptr<THistoryRecorder> recorder(bool batched, std::optional<std::string> page = {}) {
    return std::make_unique<THistoryRecorder>(
        std::vector<std::u16string>{u"alpha", u"bravo"}, open(), std::move(page),
        [this](const std::u16string& text) { notices.push_back(toUtf8(text)); }, batched);
  }
  const std::chrono::steady_clock::time_point t0{1000h};
};

TEST(HistoryRecorder, KeepsEachVerdictWithItsStartAndDuration) {
  TRecorderFixture fixture;
  auto recorder = fixture.recorder(false);
  recorder->started(0, kNowMs, fixture.t0);
  recorder->started(1, kNowMs + 5, fixture.t0 + 5ms);
  recorder->ended(1, u"Interrupted", u"", kNowMs + 900, fixture.t0 + 900ms);  // no result
  recorder->ended(0, u"Failed", u"timed out", kNowMs + 90'000, fixture.t0 + 90s);
  // A child that never started has no Running before its verdict.
  recorder->ended(1, u"Failed to start", u"Cannot open file", kNowMs + 91'000, fixture.t0 + 91s);
  recorder->started(0, kNowMs + 95'000, fixture.t0 + 95s);
  recorder->ended(0, u"Successful", u"ignored", kNowMs + 97'250, fixture.t0 + 97250ms);

  EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM results"), 3);
  EXPECT_EQ(sqlText(fixture.path,
                    "SELECT group_concat(name || ' ' || status || ' ' || reason || ' ' || "
                    "(started - " +
                        std::to_string(kNowMs) +
                        ") || ' ' || duration, ';') FROM results JOIN servers ON servers.id = "
                        "results.server"),
            "alpha Failed timed out 0 90000;bravo Failed to start Cannot open file 91000 0;"
            "alpha Successful  95000 2250");
}

TEST(HistoryRecorder, WritesABatchInOneGoAndThePageAfterIt) {
  TRecorderFixture fixture;
  const std::string page = fixture.folder / "status.html";
  auto recorder = fixture.recorder(true, page);
  std::vector<std::string> told;
  recorder->setFiguresListener([&told](const std::vector<TServerFigures>& figures) {
    for (const TServerFigures& f : figures) told.push_back(toUtf8(f.server + u" " + f.lastStatus));
  });
  for (int row : {0, 1}) recorder->started(row, kNowMs, fixture.t0);
  recorder->ended(0, u"Successful", u"", kNowMs + 2000, fixture.t0 + 2s);
  recorder->ended(1, u"Failed", u"refused", kNowMs + 2000, fixture.t0 + 2s);
  EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM results"), 0);
  EXPECT_FALSE(std::filesystem::exists(page));
  recorder->batchDone();
  EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM results"), 2);
  EXPECT_NE(readFile(page).find("1 of 2 servers is down."), std::string::npos);
  EXPECT_EQ(told, (std::vector<std::string>{"alpha Successful", "bravo Failed"}));
  EXPECT_TRUE(fixture.notices.empty());
}

TEST(HistoryRecorder, APageThatCannotBeWrittenIsToldOnceAndResultsAreStillKept) {
  TRecorderFixture fixture;
  auto recorder = fixture.recorder(false, fixture.path + "/status.html");
  for (int i = 0; i < 3; ++i) {
    recorder->started(0, kNowMs + i, fixture.t0);
    recorder->ended(0, u"Successful", u"", kNowMs + i, fixture.t0 + 1s);
  }
  EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM results"), 3);
  ASSERT_EQ(fixture.notices.size(), 1u);
  EXPECT_NE(fixture.notices[0].find("; the status page is not written"), std::string::npos);
}

}  // namespace
}  // namespace quorvex::test

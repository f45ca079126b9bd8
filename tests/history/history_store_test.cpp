#include "history/history_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "history/sqlite_db.h"
#include "support/history_fixture.h"

namespace quorvex::test {
namespace {

// Waits for a forked writer, at most 60 s; kills it after that.
int waitForChild(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a forked child: writes `count` results of `server`, their number in the
// duration; tells `progress` (when given) how many are committed.
[[noreturn]] void writeInChild(const std::string& path, const std::string& server, int count,
                               int progress = -1) {
  int failures = 0;
  {
    THistoryStore store(
        path, [&failures](const std::u16string&) { ++failures; }, {}, kNowMs);
    for (int i = 0; i < count; ++i) {
      if (!store.record(result(server, i % 7 ? "Successful" : "Failed", kNowMs - kHourMs + i, i)))
        ++failures;
      if (progress >= 0 && write(progress, &i, sizeof i) != sizeof i) _exit(3);
    }
  }
  _exit(failures == 0 ? 0 : 1);
}

TEST(HistoryStore, TwoProcessesWritingAtOnceLoseNothing) {
  TStoreFixture fixture;
  fixture.open();  // the schema exists before either writer starts
  std::vector<pid_t> writers;
  for (const char* server : {"alpha", "bravo"}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) writeInChild(fixture.path, server, 1000);
    writers.push_back(pid);
  }
  for (pid_t pid : writers) EXPECT_EQ(waitForChild(pid), 0) << "a writer lost a result";

  for (const char* server : {"alpha", "bravo"}) {
    const std::string of =
        "FROM results JOIN servers ON servers.id = results.server WHERE name = '" +
        std::string(server) + "'";
    EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) " + of), 1000) << server;
    EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(DISTINCT duration) " + of), 1000) << server;
    // The buckets were counted in the same transactions as the results.
    EXPECT_EQ(sqlNumber(fixture.path,
                        "SELECT sum(up + down) FROM hours JOIN servers ON servers.id = "
                        "hours.server WHERE name = '" +
                            std::string(server) + "'"),
              1000);
  }
  EXPECT_EQ(sqlText(fixture.path, "PRAGMA journal_mode"), "wal");
}

TEST(HistoryStore, AProcessKilledWhileWritingLeavesEveryCommittedResult) {
  // Killed after 1, a few and many results: each time at some point of a write.
  for (int killAfter : {1, 13, 150}) {
    SCOPED_TRACE(killAfter);
    TStoreFixture fixture;
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipeFds[0]);
      writeInChild(fixture.path, "alpha", 1'000'000, pipeFds[1]);
    }
    close(pipeFds[1]);
    int committed = -1, last = -1;
    while (committed + 1 < killAfter && read(pipeFds[0], &last, sizeof last) == sizeof last)
      committed = last;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    // What the child had committed before its last report.
    while (read(pipeFds[0], &last, sizeof last) == sizeof last) committed = last;
    close(pipeFds[0]);
    ASSERT_GE(committed + 1, killAfter);

    EXPECT_EQ(sqlText(fixture.path, "PRAGMA integrity_check"), "ok");
    const int64_t kept = sqlNumber(fixture.path, "SELECT count(*) FROM results");
    EXPECT_GE(kept, committed + 1);
    EXPECT_LE(kept, committed + 2) << "at most the result being written is in doubt";
    EXPECT_EQ(sqlNumber(fixture.path, "SELECT max(duration) FROM results"), kept - 1);
    auto store = fixture.open();
    EXPECT_TRUE(store->record(result("alpha", "Successful", kNowMs)));
    EXPECT_EQ(store->resultCount(), kept + 1);
    EXPECT_TRUE(fixture.notices.empty());
  }
}

TEST(HistoryStore, TheLogIsCopiedBackIntoTheFileAsResultsComeIn) {
  // A statement left open between results would hold the log's pages for
  // good: the log would grow with every result, for this process and others.
  TStoreFixture fixture;
  auto store = fixture.open();
  for (int i = 0; i < 1000; ++i)
    store->record(
        result("vpn" + std::to_string(i % 50), i % 9 ? "Successful" : "Failed", kNowMs + i));
  const auto pageSize = static_cast<uintmax_t>(sqlNumber(fixture.path, "PRAGMA page_size"));
  EXPECT_GT(std::filesystem::file_size(fixture.path), 10 * pageSize);
  EXPECT_LT(std::filesystem::file_size(fixture.path + "-wal"), 1100 * (pageSize + 24));
}

TEST(HistoryStore, RetentionDeletesWhatIsOlderThanItsDays) {
  struct TCase {
    int retentionDays;
    int64_t ageMs;
    bool kept;
  };
  const TCase cases[] = {
      {90, 90 * kDayMs + 1, false}, {90, 90 * kDayMs, true}, {90, 90 * kDayMs - 1, true},
      {90, 400 * kDayMs, false},    {1, kDayMs + 1, false},  {1, kDayMs, true},
      {0, 4000 * kDayMs, true},  // 0 keeps everything
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.retentionDays) + " days, age " + std::to_string(c.ageMs));
    TStoreFixture fixture({.retentionDays = c.retentionDays});
    {
      auto store = fixture.open(kNowMs - c.ageMs);
      store->record(result("alpha", "Failed", kNowMs - c.ageMs, 1000, "timed out"));
    }
    auto store = fixture.open();  // a later run prunes as it opens
    EXPECT_EQ(store->resultCount(), c.kept ? 1 : 0);
    // An hour or a day is deleted once all of it is past the retention.
    if (c.ageMs > c.retentionDays * kDayMs + kDayMs && c.retentionDays > 0) {
      EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM hours"), 0);
      EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM days"), 0);
    }
  }
}

TEST(HistoryStore, ALongRunPrunesOnceAnHour) {
  TStoreFixture fixture({.retentionDays = 1});
  auto store = fixture.open(kNowMs);
  store->record(result("alpha", "Successful", kNowMs));
  store->record(result("alpha", "Successful", kNowMs + kDayMs + kHourMs));
  EXPECT_EQ(store->resultCount(), 1);
}

TEST(HistoryStore, OutagesRunFromTheFirstFailureToTheNextSuccess) {
  TStoreFixture fixture;
  auto store = fixture.open();
  const char* sequence[] = {"Successful", "Failed",     "Failed to start",
                            "Failed",     "Successful", "Failed"};
  for (int i = 0; i < 6; ++i) store->record(result("alpha", sequence[i], kNowMs + i * 60'000));
  const auto outages = store->outages(0);
  ASSERT_EQ(outages.size(), 2u);
  EXPECT_EQ(outages[0].startedMs, kNowMs + 60'000);
  EXPECT_EQ(outages[0].endedMs, kNowMs + 4 * 60'000);
  EXPECT_EQ(outages[1].startedMs, kNowMs + 5 * 60'000);
  EXPECT_FALSE(outages[1].endedMs);
  EXPECT_EQ(sqlNumber(fixture.path, "SELECT failures FROM outages ORDER BY id LIMIT 1"), 2);
  // Each failure names its outage; "Failed to start" belongs to none.
  EXPECT_EQ(sqlNumber(fixture.path, "SELECT count(*) FROM results WHERE outage IS NOT NULL"), 3);
}

// Damages a database that holds one result.
using TDamage = void (*)(const std::string& path);

void overwriteMiddle(const std::string& path) {
  std::string bytes = readFile(path);
  for (size_t i = 4096; i < bytes.size() && i < 3 * 4096; ++i) bytes[i] = static_cast<char>(i * 7);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
void truncateHalf(const std::string& path) {
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
}
void garbage(const std::string& path) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(10000, 'x');
}
void zeroHeader(const std::string& path) {
  std::string bytes = readFile(path);
  std::fill(bytes.begin(), bytes.begin() + 100, '\0');
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(HistoryStore, ADamagedFileIsSetAsideAndANewOneStarted) {
  const std::pair<const char*, TDamage> cases[] = {{"pages overwritten", overwriteMiddle},
                                                   {"truncated", truncateHalf},
                                                   {"not a database", garbage},
                                                   {"header zeroed", zeroHeader}};
  for (const auto& [name, damage] : cases) {
    SCOPED_TRACE(name);
    TStoreFixture fixture;
    {
      auto store = fixture.open();
      for (int i = 0; i < 50; ++i)
        store->record(result("server" + std::to_string(i), "Failed", kNowMs));
    }
    damage(fixture.path);
    const std::string damagedBytes = readFile(fixture.path);

    auto store = fixture.open();
    EXPECT_TRUE(store->record(result("alpha", "Successful", kNowMs)));
    EXPECT_EQ(store->resultCount(), 1);
    ASSERT_EQ(fixture.notices.size(), 1u);
    EXPECT_NE(fixture.notices[0].find("is damaged; it is kept as " + fixture.path + ".damaged-"),
              std::string::npos)
        << fixture.notices[0];
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fixture.folder.path())) {
      const std::string file = entry.path().filename().string();
      if (file.starts_with("history.sqlite.damaged-") && !file.ends_with("-wal") &&
          !file.ends_with("-shm")) {
        ++aside;
        EXPECT_EQ(readFile(entry.path().string()), damagedBytes);
      }
    }
    EXPECT_EQ(aside, 1);
  }
}

TEST(HistoryStore, AFileOfANewerVersionIsSetAside) {
  TStoreFixture fixture;
  fixture.open()->record(result("alpha", "Successful", kNowMs));
  {
    TSqliteDb db(fixture.path, false);
    db.exec("PRAGMA user_version = 99");
  }
  auto store = fixture.open();
  EXPECT_EQ(store->resultCount(), 0);
  ASSERT_EQ(fixture.notices.size(), 1u);
  EXPECT_NE(fixture.notices[0].find("was written by a newer version of Quorvex; it is kept as " +
                                    fixture.path + ".newer-20261211T123000Z"),
            std::string::npos)
      << fixture.notices[0];
  EXPECT_EQ(sqlNumber(fixture.path + ".newer-20261211T123000Z", "PRAGMA user_version"), 99);
}

TEST(HistoryStore, AFileThatCannotBeMadeIsAnErrorAndAMissingOneForAReport) {
  TStoreFixture fixture;
  // Missing folders are made; one under a plain file cannot be.
  fixture.path = fixture.folder / "new folder/history.sqlite";
  EXPECT_NO_THROW(fixture.open());
  fixture.path = fixture.folder.write("plain", "") + "/history.sqlite";
  EXPECT_THROW(fixture.open(), EHistoryError);
  TStoreFixture report({.create = false});
  EXPECT_THROW(report.open(), EHistoryError);
  EXPECT_FALSE(std::filesystem::exists(report.path));
}

TEST(HistoryStore, AWriteThatCannotBeMadeIsToldAndTheNextOneWorks) {
  TStoreFixture fixture({.busyTimeoutMs = 50});
  auto store = fixture.open();
  {
    // Another process holds the write lock past the (shortened) busy time-out.
    TSqliteDb other(fixture.path, false);
    other.exec("BEGIN IMMEDIATE");
    EXPECT_FALSE(store->record(result("alpha", "Failed", kNowMs)));
    other.exec("ROLLBACK");
  }
  ASSERT_EQ(fixture.notices.size(), 1u);
  EXPECT_NE(fixture.notices[0].find("The result of alpha is not kept in the history: "),
            std::string::npos);
  EXPECT_TRUE(store->record(result("alpha", "Successful", kNowMs)));
  EXPECT_EQ(store->resultCount(), 1);

  // A run that starts while another writes too long still opens the file;
  // only the deletion of old results waits for a later run.
  TSqliteDb other(fixture.path, false);
  other.exec("BEGIN IMMEDIATE");
  fixture.notices.clear();
  auto second = fixture.open();
  ASSERT_EQ(fixture.notices.size(), 1u);
  EXPECT_NE(fixture.notices[0].find("Old results are not deleted from the history: "),
            std::string::npos)
      << fixture.notices[0];
  other.exec("ROLLBACK");
  EXPECT_TRUE(second->record(result("alpha", "Successful", kNowMs)));
}

}  // namespace
}  // namespace quorvex::test

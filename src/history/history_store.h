#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

class TSqliteDb;

// One test's result as the history keeps it. Times are wall-clock
// milliseconds since the epoch, so that they mean the same to every process
// that writes or reads the file.
struct THistoryResult {
  std::u16string server;
  std::u16string status;  // the status word: "Successful", "Failed", "Failed to start"
  std::u16string reason;  // why it failed, in words; empty for a success
  int64_t startedMs = 0;
  // From the start to "Initialization Sequence Completed", or to the verdict.
  int64_t durationMs = 0;
};

// What a result says of its server: only "Successful" and "Failed" count for
// uptime; "Failed to start" is the monitor's own trouble.
enum class TResultSide { Up, Down, Neither };
TResultSide sideOf(const std::u16string& status);

inline constexpr int64_t kHourMs = 3'600'000;
inline constexpr int64_t kDayMs = 24 * kHourMs;

// The rows the figures are made from, read in one go per query.
struct THistoryServer {
  int64_t id;
  std::u16string name;
  std::u16string lastStatus;  // empty when it has no result
  std::u16string lastReason;
  int64_t lastTimeMs;
};
struct THistoryBucket {  // an hour or a day of one server
  int64_t server;
  int64_t index;  // hours or days since the epoch
  int64_t up;
  int64_t down;
};
struct THistoryPoint {  // one result: its side, or a successful test's connect time
  int64_t server;
  int64_t startedMs;
  int64_t value;  // 1 up, 0 down; or the duration in ms
};
struct THistoryOutage {
  int64_t server;
  int64_t startedMs;
  std::optional<int64_t> endedMs;  // none while it lasts
};

// The history database: one SQLite file in WAL mode that several processes
// (cron runs and the service) write at once. Each result is one transaction,
// so a crash loses at most the result being written. A file that is damaged
// or was written by a newer version is reported and moved aside, and a new
// one is started: the history is never a reason to stop monitoring.
class THistoryStore {
 public:
  using Notice = std::function<void(const std::u16string& text)>;
  struct TOptions {
    int retentionDays = 90;  // results older than this are deleted; 0 keeps all
    bool create = true;      // false: a missing file is an error (a report)
    // How long a write waits for another process's transaction (bounded).
    int busyTimeoutMs = 10'000;
  };

  // Raises EHistoryError when no usable file can be had at `path` at all.
  THistoryStore(std::string path, Notice notice, TOptions options, int64_t nowMs);
  ~THistoryStore();
  THistoryStore(const THistoryStore&) = delete;
  THistoryStore& operator=(const THistoryStore&) = delete;

  // Writes one result, and deletes what is past retention at most once an
  // hour. Never raises: trouble is told to the notice, the result is then lost.
  bool record(const THistoryResult& result);
  // Writes several results in one transaction (verdicts that came together):
  // all are kept or, on trouble, none.
  bool record(const std::vector<THistoryResult>& results);
  // Deletes the results, buckets and ended outages older than the retention.
  void prune(int64_t nowMs);

  // Reads; they raise EHistoryError.
  std::vector<THistoryServer> servers();
  std::vector<THistoryBucket> hours(int64_t fromHour);
  std::vector<THistoryBucket> days(int64_t fromDay);
  // The side of each counted result started in [fromMs, toMs).
  std::vector<THistoryPoint> sides(int64_t fromMs, int64_t toMs);
  // The connect time of each successful test started at or after fromMs.
  std::vector<THistoryPoint> connectTimes(int64_t fromMs);
  // The outages not ended before fromMs.
  std::vector<THistoryOutage> outages(int64_t fromMs);
  int64_t resultCount();

  static constexpr int kSchemaVersion = 1;
  const std::string& path() const { return _path; }

 private:
  struct TStatements;
  void open(int64_t nowMs);
  void openChecked();
  void setAside(const std::string& why, int64_t nowMs);
  void write(const std::vector<THistoryResult>& results);
  void writeOne(const THistoryResult& result);
  int64_t serverId(const std::u16string& name);

  std::string _path;
  Notice _notice;
  TOptions _options;
  std::unique_ptr<TSqliteDb> _db;
  std::unique_ptr<TStatements> _statements;  // of _db, so released before it
  std::map<std::u16string, int64_t> _serverIds;
  int64_t _lastPruneMs = 0;
};

}  // namespace quorvex

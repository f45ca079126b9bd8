#include "history/history_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

#include "history/sqlite_db.h"
#include "platform/text.h"
#include "settings/file_io.h"

namespace quorvex {

TResultSide sideOf(const std::u16string& status) {
  if (status == u"Successful") return TResultSide::Up;
  if (status == u"Failed") return TResultSide::Down;
  return TResultSide::Neither;
}

namespace {

// Results are kept one row each; the hour and day buckets hold the counts the
// figures need, so that a report reads thousands of rows, not millions.
constexpr char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS servers(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  last_status TEXT NOT NULL DEFAULT '',
  last_reason TEXT NOT NULL DEFAULT '',
  last_time INTEGER NOT NULL DEFAULT 0,
  open_outage INTEGER);
CREATE TABLE IF NOT EXISTS outages(
  id INTEGER PRIMARY KEY,
  server INTEGER NOT NULL,
  started INTEGER NOT NULL,
  ended INTEGER,
  failures INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS outages_by_end ON outages(ended);
CREATE TABLE IF NOT EXISTS results(
  id INTEGER PRIMARY KEY,
  server INTEGER NOT NULL,
  status TEXT NOT NULL,
  reason TEXT NOT NULL,
  started INTEGER NOT NULL,
  duration INTEGER NOT NULL,
  outage INTEGER);
CREATE INDEX IF NOT EXISTS results_by_start ON results(started);
CREATE TABLE IF NOT EXISTS hours(
  server INTEGER NOT NULL, hour INTEGER NOT NULL, up INTEGER NOT NULL, down INTEGER NOT NULL,
  PRIMARY KEY(hour, server)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS days(
  server INTEGER NOT NULL, day INTEGER NOT NULL, up INTEGER NOT NULL, down INTEGER NOT NULL,
  PRIMARY KEY(day, server)) WITHOUT ROWID;
)sql";

std::string utcStamp(int64_t ms) {
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

int64_t floorDiv(int64_t value, int64_t unit) {
  return value >= 0 ? value / unit : -((-value + unit - 1) / unit);
}

}  // namespace

struct THistoryStore::TStatements {
  explicit TStatements(TSqliteDb& db)
      : findServer(db, "SELECT id FROM servers WHERE name = ?1"),
        addServer(db, "INSERT INTO servers(name) VALUES (?1)"),
        openOutage(db, "SELECT open_outage FROM servers WHERE id = ?1"),
        startOutage(db, "INSERT INTO outages(server, started, failures) VALUES (?1, ?2, 1)"),
        extendOutage(db, "UPDATE outages SET failures = failures + 1 WHERE id = ?1"),
        endOutage(db, "UPDATE outages SET ended = ?2 WHERE id = ?1"),
        addResult(db,
                  "INSERT INTO results(server, status, reason, started, duration, outage) "
                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6)"),
        countHour(db,
                  "INSERT INTO hours(server, hour, up, down) VALUES (?1, ?2, ?3, ?4) "
                  "ON CONFLICT DO UPDATE SET up = up + ?3, down = down + ?4"),
        countDay(db,
                 "INSERT INTO days(server, day, up, down) VALUES (?1, ?2, ?3, ?4) "
                 "ON CONFLICT DO UPDATE SET up = up + ?3, down = down + ?4"),
        setLast(db,
                "UPDATE servers SET last_status = ?2, last_reason = ?3, last_time = ?4, "
                "open_outage = ?5 WHERE id = ?1") {}

  TStatement findServer, addServer, openOutage, startOutage, extendOutage, endOutage, addResult,
      countHour, countDay, setLast;
};

THistoryStore::THistoryStore(std::string path, Notice notice, TOptions options, int64_t nowMs)
    : _path(std::move(path)), _notice(std::move(notice)), _options(options) {
  open(nowMs);
  try {
    prune(nowMs);
  } catch (const EHistoryError& e) {
    // Another writer held the file too long: the old results go next time.
    _notice(u"Old results are not deleted from the history: " + e.Message());
  }
}

THistoryStore::~THistoryStore() = default;

void THistoryStore::openChecked() {
  _statements.reset();
  _db.reset();
  _serverIds.clear();
  // The folders of a new file are its owner's only, as the state file's.
  if (_options.create) makeFolders(folderOf(_path));
  _db = std::make_unique<TSqliteDb>(_path, _options.create);
  sqlite3_busy_timeout(_db->handle(), _options.busyTimeoutMs);
  // Reading the header first finds a file that is no database at all.
  const int64_t found = TStatement(*_db, "PRAGMA user_version").single().value_or(0);
  if (found > kSchemaVersion)
    throw EHistoryError(u"it was written by a newer version of Quorvex (schema " +
                            fromUtf8(std::to_string(found)) + u")",
                        -1);
  // WAL lets one process write while others read and wait their turn;
  // FULL syncs each commit, so that a result once written survives a power
  // cut as well as a crash.
  _db->exec("PRAGMA journal_mode = WAL");
  _db->exec("PRAGMA synchronous = FULL");
  if (found < kSchemaVersion) {
    TTransaction schema(*_db);
    _db->exec(kSchema);
    _db->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    schema.commit();
  }
  _statements = std::make_unique<TStatements>(*_db);
}

void THistoryStore::open(int64_t nowMs) {
  try {
    openChecked();
  } catch (const EHistoryError& e) {
    if (e.Code() == -1) {
      setAside("newer", nowMs);
    } else if (e.damaged()) {
      setAside("damaged", nowMs);
    } else {
      throw;
    }
    openChecked();
  }
}

void THistoryStore::setAside(const std::string& why, int64_t nowMs) {
  _statements.reset();
  _db.reset();
  _serverIds.clear();
  const std::string aside = _path + "." + why + "-" + utcStamp(nowMs);
  if (std::rename(_path.c_str(), aside.c_str()) != 0)
    throw EHistoryError(u"cannot move the history file " + fromUtf8(_path) + u" aside", -2);
  // The journal belongs to the file it was written for.
  for (const char* suffix : {"-wal", "-shm"})
    std::rename((_path + suffix).c_str(), (aside + suffix).c_str());
  _notice(u"The history file " + fromUtf8(_path) + u" " +
          (why == "newer" ? u"was written by a newer version of Quorvex" : u"is damaged") +
          u"; it is kept as " + fromUtf8(aside) + u" and a new one is started.");
}

int64_t THistoryStore::serverId(const std::u16string& name) {
  if (const auto known = _serverIds.find(name); known != _serverIds.end()) return known->second;
  const std::string bytes = toUtf8(name);
  TStatement& find = _statements->findServer;
  std::optional<int64_t> id = find.bind(1, bytes).single();
  if (!id) {
    _statements->addServer.bind(1, bytes).run();
    id = _db->lastInsertId();
  }
  _serverIds.emplace(name, *id);
  return *id;
}

void THistoryStore::write(const std::vector<THistoryResult>& results) {
  TTransaction transaction(*_db);
  for (const THistoryResult& result : results) writeOne(result);
  transaction.commit();
}

void THistoryStore::writeOne(const THistoryResult& result) {
  TStatements& s = *_statements;
  const int64_t server = serverId(result.server);
  std::optional<int64_t> outage = s.openOutage.bind(1, server).single();
  std::optional<int64_t> resultOutage;
  const TResultSide side = sideOf(result.status);
  if (side == TResultSide::Down) {
    if (outage) {
      s.extendOutage.bind(1, *outage).run();
    } else {
      s.startOutage.bind(1, server).bind(2, result.startedMs).run();
      outage = _db->lastInsertId();
    }
    resultOutage = outage;
  } else if (side == TResultSide::Up && outage) {
    s.endOutage.bind(1, *outage).bind(2, result.startedMs).run();
    outage.reset();
  }
  s.addResult.bind(1, server)
      .bind(2, toUtf8(result.status))
      .bind(3, toUtf8(result.reason))
      .bind(4, result.startedMs)
      .bind(5, result.durationMs);
  if (resultOutage) {
    s.addResult.bind(6, *resultOutage);
  } else {
    s.addResult.bindNull(6);
  }
  s.addResult.run();
  if (side != TResultSide::Neither) {
    const int64_t up = side == TResultSide::Up, down = side == TResultSide::Down;
    for (auto [statement, unit] : {std::pair{&s.countHour, kHourMs}, {&s.countDay, kDayMs}})
      statement->bind(1, server)
          .bind(2, floorDiv(result.startedMs, unit))
          .bind(3, up)
          .bind(4, down)
          .run();
  }
  s.setLast.bind(1, server)
      .bind(2, toUtf8(result.status))
      .bind(3, toUtf8(result.reason))
      .bind(4, result.startedMs);
  if (outage) {
    s.setLast.bind(5, *outage);
  } else {
    s.setLast.bindNull(5);
  }
  s.setLast.run();
}

bool THistoryStore::record(const THistoryResult& result) {
  return record(std::vector<THistoryResult>{result});
}

bool THistoryStore::record(const std::vector<THistoryResult>& results) {
  if (results.empty()) return true;
  const THistoryResult& last = results.back();
  const int64_t nowMs = last.startedMs + last.durationMs;
  try {
    if (!_db) open(nowMs);
    try {
      write(results);
    } catch (const EHistoryError& e) {
      if (!e.damaged()) throw;
      setAside("damaged", nowMs);
      openChecked();
      write(results);
    }
    if (nowMs - _lastPruneMs >= kHourMs) prune(nowMs);
    return true;
  } catch (const std::exception& e) {
    std::u16string names;
    for (const THistoryResult& result : results)
      names += (names.empty() ? u"" : u", ") + result.server;
    _notice(u"The result of " + names + u" is not kept in the history: " + fromUtf8(e.what()));
    return false;
  }
}

void THistoryStore::prune(int64_t nowMs) {
  _lastPruneMs = nowMs;
  if (_options.retentionDays <= 0) return;
  const int64_t cutoff = nowMs - _options.retentionDays * kDayMs;
  TTransaction transaction(*_db);
  TStatement(*_db, "DELETE FROM results WHERE started < ?1").bind(1, cutoff).run();
  TStatement(*_db, "DELETE FROM outages WHERE ended < ?1").bind(1, cutoff).run();
  // A bucket goes once all of it is past the retention.
  TStatement(*_db, "DELETE FROM hours WHERE hour < ?1").bind(1, floorDiv(cutoff, kHourMs)).run();
  TStatement(*_db, "DELETE FROM days WHERE day < ?1").bind(1, floorDiv(cutoff, kDayMs)).run();
  transaction.commit();
}

std::vector<THistoryServer> THistoryStore::servers() {
  std::vector<THistoryServer> rows;
  TStatement query(*_db,
                   "SELECT id, name, last_status, last_reason, last_time FROM servers ORDER BY id");
  while (query.step())
    rows.push_back({query.integer(0), fromUtf8(query.text(1)), fromUtf8(query.text(2)),
                    fromUtf8(query.text(3)), query.integer(4)});
  return rows;
}

namespace {

std::vector<THistoryBucket> buckets(TSqliteDb& db, const char* sql, int64_t from) {
  std::vector<THistoryBucket> rows;
  TStatement query(db, sql);
  query.bind(1, from);
  while (query.step())
    rows.push_back({query.integer(0), query.integer(1), query.integer(2), query.integer(3)});
  return rows;
}

std::vector<THistoryPoint> points(TStatement& query) {
  std::vector<THistoryPoint> rows;
  while (query.step()) rows.push_back({query.integer(0), query.integer(1), query.integer(2)});
  return rows;
}

}  // namespace

std::vector<THistoryBucket> THistoryStore::hours(int64_t fromHour) {
  return buckets(*_db, "SELECT server, hour, up, down FROM hours WHERE hour >= ?1", fromHour);
}

std::vector<THistoryBucket> THistoryStore::days(int64_t fromDay) {
  return buckets(*_db, "SELECT server, day, up, down FROM days WHERE day >= ?1", fromDay);
}

std::vector<THistoryPoint> THistoryStore::sides(int64_t fromMs, int64_t toMs) {
  TStatement query(*_db,
                   "SELECT server, started, status = 'Successful' FROM results "
                   "WHERE started >= ?1 AND started < ?2 AND status IN ('Successful', 'Failed')");
  query.bind(1, fromMs).bind(2, toMs);
  return points(query);
}

std::vector<THistoryPoint> THistoryStore::connectTimes(int64_t fromMs) {
  TStatement query(*_db,
                   "SELECT server, started, duration FROM results "
                   "WHERE started >= ?1 AND status = 'Successful'");
  query.bind(1, fromMs);
  return points(query);
}

std::vector<THistoryOutage> THistoryStore::outages(int64_t fromMs) {
  std::vector<THistoryOutage> rows;
  TStatement query(*_db,
                   "SELECT server, started, ended FROM outages "
                   "WHERE ended IS NULL OR ended >= ?1 ORDER BY started");
  query.bind(1, fromMs);
  while (query.step()) {
    THistoryOutage outage{query.integer(0), query.integer(1), std::nullopt};
    if (!query.isNull(2)) outage.endedMs = query.integer(2);
    rows.push_back(outage);
  }
  return rows;
}

int64_t THistoryStore::resultCount() {
  return TStatement(*_db, "SELECT count(*) FROM results").single().value_or(0);
}

}  // namespace quorvex

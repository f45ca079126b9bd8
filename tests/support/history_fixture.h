#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "platform/text.h"
#include "support/temp_folder.h"

namespace quorvex::test {

// 2026-12-11 12:30:00 UTC: half past, so that a period's first hour is cut.
inline constexpr int64_t kNowMs = 1'796'992'200'000;
static_assert(kNowMs % kHourMs == 30 * 60'000);

inline THistoryResult result(const std::string& server, const std::string& status,
                             int64_t startedMs, int64_t durationMs = 1000,
                             const std::string& reason = "") {
  return {fromUtf8(server), fromUtf8(status), fromUtf8(reason), startedMs, durationMs};
}

// A store in a scratch folder that collects what it reports.
struct TStoreFixture {
  explicit TStoreFixture(THistoryStore::TOptions options = {}) : options(options) {}

  std::unique_ptr<THistoryStore> open(int64_t nowMs = kNowMs) {
    return std::make_unique<THistoryStore>(
        path, [this](const std::u16string& text) { notices.push_back(toUtf8(text)); }, options,
        nowMs);
  }

  TempFolder folder{"quorvex-history"};
  std::string path = folder / "history.sqlite";
  THistoryStore::TOptions options;
  std::vector<std::string> notices;
};

// Reads one number straight from the file, past the store.
inline int64_t sqlNumber(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

inline std::string sqlText(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  std::string value = "(none)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

}  // namespace quorvex::test

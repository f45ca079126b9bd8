#include "history/sqlite_db.h"

#include <sqlite3.h>

#include "platform/text.h"

namespace quorvex {

bool EHistoryError::damaged() const noexcept {
  return _code == SQLITE_CORRUPT || _code == SQLITE_NOTADB;
}

bool EHistoryError::busy() const noexcept { return _code == SQLITE_BUSY || _code == SQLITE_LOCKED; }

TSqliteDb::TSqliteDb(const std::string& path, bool create) {
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  const int rc = sqlite3_open_v2(path.c_str(), &_db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = _db ? sqlite3_errmsg(_db) : sqlite3_errstr(rc);
    sqlite3_close(_db);
    _db = nullptr;
    throw EHistoryError(fromUtf8(message), rc & 0xff);
  }
}

TSqliteDb::~TSqliteDb() { sqlite3_close(_db); }

void TSqliteDb::fail(int code, std::string_view what) const {
  std::string message(what);
  message += ": ";
  message += sqlite3_errmsg(_db);
  throw EHistoryError(fromUtf8(message), code & 0xff);
}

void TSqliteDb::exec(std::string_view sql) {
  const std::string text(sql);
  char* error = nullptr;
  const int rc = sqlite3_exec(_db, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    const std::string message = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw EHistoryError(fromUtf8(message), rc & 0xff);
  }
}

int64_t TSqliteDb::lastInsertId() const { return sqlite3_last_insert_rowid(_db); }

TStatement::TStatement(TSqliteDb& db, std::string_view sql) : _db(db) {
  const int rc =
      sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &_stmt, nullptr);
  if (rc != SQLITE_OK) db.fail(rc, "prepare");
}

TStatement::~TStatement() { sqlite3_finalize(_stmt); }

void TStatement::restartIfDone() {
  if (!_stepped) return;
  sqlite3_reset(_stmt);
  _stepped = false;
}

TStatement& TStatement::bind(int index, int64_t value) {
  restartIfDone();
  if (const int rc = sqlite3_bind_int64(_stmt, index, value); rc != SQLITE_OK) _db.fail(rc, "bind");
  return *this;
}

TStatement& TStatement::bind(int index, std::string_view text) {
  restartIfDone();
  if (const int rc = sqlite3_bind_text(_stmt, index, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT);
      rc != SQLITE_OK)
    _db.fail(rc, "bind");
  return *this;
}

TStatement& TStatement::bindNull(int index) {
  restartIfDone();
  if (const int rc = sqlite3_bind_null(_stmt, index); rc != SQLITE_OK) _db.fail(rc, "bind");
  return *this;
}

bool TStatement::step() {
  _stepped = true;
  const int rc = sqlite3_step(_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(_stmt);
  _db.fail(rc, "step");
}

void TStatement::run() {
  while (step()) {
  }
  sqlite3_reset(_stmt);
  _stepped = false;
}

std::optional<int64_t> TStatement::single() {
  std::optional<int64_t> value;
  if (step() && !isNull(0)) value = integer(0);
  sqlite3_reset(_stmt);
  _stepped = false;
  return value;
}

bool TStatement::isNull(int column) const {
  return sqlite3_column_type(_stmt, column) == SQLITE_NULL;
}

int64_t TStatement::integer(int column) const { return sqlite3_column_int64(_stmt, column); }

std::string TStatement::text(int column) const {
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(_stmt, column));
  return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(_stmt, column)))
               : std::string();
}

TTransaction::TTransaction(TSqliteDb& db) : _db(db) { _db.exec("BEGIN IMMEDIATE"); }

TTransaction::~TTransaction() {
  if (_open) sqlite3_exec(_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::commit() {
  _db.exec("COMMIT");
  _open = false;
}

}  // namespace quorvex

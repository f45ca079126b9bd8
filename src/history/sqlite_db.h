#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/exception.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quorvex {

// A failure of the history database; `Code` is SQLite's primary result code.
class EHistoryError : public Exception {
 public:
  EHistoryError(std::u16string message, int code) : Exception(std::move(message)), _code(code) {}
  int Code() const noexcept { return _code; }
  // The file is not a database, or its pages do not hold together.
  bool damaged() const noexcept;
  bool busy() const noexcept;

 private:
  int _code;
};

// One open SQLite connection; every failing call raises EHistoryError.
class TSqliteDb {
 public:
  // `create`: make the file when it does not exist.
  TSqliteDb(const std::string& path, bool create);
  ~TSqliteDb();
  TSqliteDb(const TSqliteDb&) = delete;
  TSqliteDb& operator=(const TSqliteDb&) = delete;

  void exec(std::string_view sql);
  int64_t lastInsertId() const;
  sqlite3* handle() const { return _db; }
  [[noreturn]] void fail(int code, std::string_view what) const;

 private:
  sqlite3* _db = nullptr;
};

// A prepared statement, reset for its next use by bind after a step.
class TStatement {
 public:
  TStatement(TSqliteDb& db, std::string_view sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  // Parameters count from 1. Binding starts a new use of the statement.
  TStatement& bind(int index, int64_t value);
  TStatement& bind(int index, std::string_view text);
  TStatement& bindNull(int index);
  // True while a row is there to read.
  bool step();
  // Runs a statement that returns no rows.
  void run();
  // The first column of the first row, none for no row or NULL; the
  // statement is reset, so it holds no read lock after.
  std::optional<int64_t> single();

  bool isNull(int column) const;
  int64_t integer(int column) const;
  std::string text(int column) const;

 private:
  void restartIfDone();

  TSqliteDb& _db;
  sqlite3_stmt* _stmt = nullptr;
  bool _stepped = false;
};

// BEGIN IMMEDIATE, so two writers never both read before either writes;
// rolled back unless committed.
class TTransaction {
 public:
  explicit TTransaction(TSqliteDb& db);
  ~TTransaction();
  void commit();

 private:
  TSqliteDb& _db;
  bool _open = true;
};

}  // namespace quorvex

// A write connection for building databases, with inserters that leave out the columns a
// generation's table does not have. Errors are sticky: the first failing SQLite call sets
// code() and later calls do nothing, so a writer runs straight through and reports once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

namespace salvora::sample {

// One bound value: NULL, integer, real, text or blob.
struct SqlValue {
  enum Kind { kNull, kInt, kReal, kText, kBlob } kind = kNull;
  int64_t i = 0;
  double r = 0;
  std::string_view s;

  SqlValue() = default;
  SqlValue(std::nullptr_t) {}
  SqlValue(int v) : kind(kInt), i(v) {}
  SqlValue(int64_t v) : kind(kInt), i(v) {}
  SqlValue(bool v) : kind(kInt), i(v ? 1 : 0) {}
  SqlValue(double v) : kind(kReal), r(v) {}
  SqlValue(const char* v) : kind(kText), s(v) {}
  SqlValue(std::string_view v) : kind(kText), s(v) {}
  SqlValue(const std::string& v) : kind(kText), s(v) {}
  SqlValue(const std::optional<std::string>& v) {
    if (v) kind = kText, s = *v;
  }
  SqlValue(const std::optional<double>& v) {
    if (v) kind = kReal, r = *v;
  }
  SqlValue(const std::optional<int64_t>& v) {
    if (v) kind = kInt, i = *v;
  }
  static SqlValue Blob(std::string_view bytes) {
    SqlValue v;
    v.kind = kBlob;
    v.s = bytes;
    return v;
  }
};

class SqlWriter;

// A prepared INSERT into one table for a fixed list of column names; names the table lacks
// are dropped and their values ignored.
class Inserter {
 public:
  Inserter(SqlWriter& db, std::string_view table, std::initializer_list<const char*> columns);
  ~Inserter();
  Inserter(const Inserter&) = delete;
  Inserter& operator=(const Inserter&) = delete;

  // Inserts one row; `values` line up with the constructor's column names.
  void Row(std::initializer_list<SqlValue> values);
  [[nodiscard]] bool has(std::string_view column) const;

 private:
  SqlWriter& db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<bool> keep_;
  std::vector<std::string> kept_names_;
};

class SqlWriter {
 public:
  SqlWriter() = default;
  ~SqlWriter();
  SqlWriter(const SqlWriter&) = delete;
  SqlWriter& operator=(const SqlWriter&) = delete;

  // Replaces any file at `path` and opens a new database there, set up for one fast bulk
  // transaction (no journal while writing, no syncs).
  void Create(const std::filesystem::path& path);
  // Runs each statement of a null-terminated list.
  void ExecList(const char* const* statements);
  void Exec(const char* sql);
  // Commits, switches the file to the ordinary rollback journal and closes. Returns code().
  [[nodiscard]] int Finish();

  [[nodiscard]] std::vector<std::string> Columns(std::string_view table);
  void Fail(int code) {
    if (code_ == SQLITE_OK) code_ = code;
  }
  [[nodiscard]] int code() const { return code_; }
  [[nodiscard]] sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  int code_ = SQLITE_OK;
};

}  // namespace salvora::sample

#include "support/internal/sql_writer.h"

#include <algorithm>
#include <system_error>

namespace salvora::sample {

SqlWriter::~SqlWriter() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

void SqlWriter::Create(const std::filesystem::path& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(path.string() + suffix, ec);
  }
  int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    Fail(rc);
    return;
  }
  // The rows are written once and in one piece: a crash leaves a file we throw away anyway.
  // secure_delete stays as the library has it; nothing is ever deleted here.
  Exec("PRAGMA journal_mode=OFF;");
  Exec("PRAGMA synchronous=OFF;");
  Exec("BEGIN;");
}

void SqlWriter::Exec(const char* sql) {
  if (code_ != SQLITE_OK || db_ == nullptr) return;
  Fail(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

void SqlWriter::ExecList(const char* const* statements) {
  for (; *statements != nullptr; ++statements) Exec(*statements);
}

int SqlWriter::Finish() {
  Exec("COMMIT;");
  Exec("PRAGMA journal_mode=DELETE;");
  if (db_ != nullptr) {
    // close_v2: inserters still alive finalize their statements later.
    int rc = sqlite3_close_v2(db_);
    db_ = nullptr;
    Fail(rc);
  }
  return code_;
}

std::vector<std::string> SqlWriter::Columns(std::string_view table) {
  std::vector<std::string> names;
  if (db_ == nullptr) return names;
  std::string sql = "PRAGMA table_info('" + std::string(table) + "');";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return names;
  while (sqlite3_step(st) == SQLITE_ROW) {
    // table_info columns: cid, name, type, notnull, dflt_value, pk.
    const unsigned char* name = sqlite3_column_text(st, 1);
    if (name != nullptr) names.emplace_back(reinterpret_cast<const char*>(name));
  }
  sqlite3_finalize(st);
  return names;
}

Inserter::Inserter(SqlWriter& db, std::string_view table,
                   std::initializer_list<const char*> columns)
    : db_(db) {
  std::vector<std::string> have = db.Columns(table);
  std::string names;
  std::string marks;
  for (const char* c : columns) {
    bool keep = std::find(have.begin(), have.end(), c) != have.end();
    keep_.push_back(keep);
    if (!keep) continue;
    kept_names_.emplace_back(c);
    if (!names.empty()) names += ", ", marks += ", ";
    names += c;
    marks += "?";
  }
  if (db.code() != SQLITE_OK || db.get() == nullptr) return;
  if (kept_names_.empty()) {
    db.Fail(SQLITE_ERROR);  // a table the schema does not have
    return;
  }
  std::string sql =
      "INSERT INTO " + std::string(table) + " (" + names + ") VALUES (" + marks + ");";
  db.Fail(sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt_, nullptr));
}

Inserter::~Inserter() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
}

bool Inserter::has(std::string_view column) const {
  return std::find(kept_names_.begin(), kept_names_.end(), column) != kept_names_.end();
}

void Inserter::Row(std::initializer_list<SqlValue> values) {
  if (stmt_ == nullptr || db_.code() != SQLITE_OK) return;
  int index = 0;
  size_t i = 0;
  for (const SqlValue& v : values) {
    if (i >= keep_.size()) break;
    if (!keep_[i++]) continue;
    ++index;
    int rc = SQLITE_OK;
    switch (v.kind) {
      case SqlValue::kNull:
        rc = sqlite3_bind_null(stmt_, index);
        break;
      case SqlValue::kInt:
        rc = sqlite3_bind_int64(stmt_, index, v.i);
        break;
      case SqlValue::kReal:
        rc = sqlite3_bind_double(stmt_, index, v.r);
        break;
      case SqlValue::kText:
        rc = sqlite3_bind_text(stmt_, index, v.s.data(), static_cast<int>(v.s.size()),
                               SQLITE_STATIC);
        break;
      case SqlValue::kBlob:
        rc = sqlite3_bind_blob(stmt_, index, v.s.data(), static_cast<int>(v.s.size()),
                               SQLITE_STATIC);
        break;
    }
    db_.Fail(rc);
  }
  int rc = sqlite3_step(stmt_);
  if (rc != SQLITE_DONE) db_.Fail(rc);
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

}  // namespace salvora::sample

#include "records/sqlite_db.h"

#include <cstdio>

namespace salvora {

SqliteDb& SqliteDb::operator=(SqliteDb&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = other.db_;
    other.db_ = nullptr;
  }
  return *this;
}

std::string SqliteDb::ReadOnlyUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      uri.push_back(static_cast<char>(c));
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      uri += buf;
    }
  }
  uri += "?mode=ro&immutable=1";
  return uri;
}

int SqliteDb::OpenReadOnly(const std::string& utf8_path) {
  Close();
  if (utf8_path.empty()) return SQLITE_CANTOPEN;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(ReadOnlyUri(utf8_path).c_str(), &db,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);  // a handle is returned even when the open fails
    return rc;
  }
  db_ = db;
  return SQLITE_OK;
}

int SqliteDb::Exec(const char* sql, RowCallback callback, void* arg, std::string* error) {
  if (db_ == nullptr) return SQLITE_MISUSE;
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql, callback, arg, &message);
  if (message != nullptr) {
    if (error != nullptr) *error = message;
    sqlite3_free(message);
    if (rc == SQLITE_OK) rc = SQLITE_ERROR;
  }
  return rc;
}

int SqliteDb::TableColumns(const std::string& table, std::vector<std::string>& names) {
  names.clear();
  // The table name is quoted as an SQL string literal, doubling any quote inside it.
  std::string sql = "PRAGMA table_info('";
  for (char c : table) {
    if (c == '\'') sql.push_back('\'');
    sql.push_back(c);
  }
  sql += "');";
  // table_info rows: cid, name, type, notnull, dflt_value, pk.
  return ForEachRow(sql.c_str(), [&names](int columns, char** values) {
    if (columns > 1 && values[1] != nullptr) names.emplace_back(values[1]);
  });
}

void SqliteDb::Close() {
  if (db_ != nullptr) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

}  // namespace salvora

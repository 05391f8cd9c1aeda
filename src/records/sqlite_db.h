// An owning connection to one SQLite database of the phone, opened read-only and immutable.
//
// "Immutable" tells SQLite that nobody changes the file while we read it: it takes no locks
// and never creates a journal, a WAL, a shared-memory file or anything else beside the
// database, so reading a user's backup leaves the backup folder exactly as it was. (A WAL
// file lying beside the database is then not replayed; a backup holds checkpointed files.)
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include <sqlite3.h>

namespace salvora {

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb() { Close(); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;
  SqliteDb(SqliteDb&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
  SqliteDb& operator=(SqliteDb&& other) noexcept;

  // Opens `utf8_path` read-only and immutable. Returns SQLITE_OK, or SQLite's open code
  // (SQLITE_CANTOPEN for a missing file). A failed open leaves no connection.
  [[nodiscard]] int OpenReadOnly(const std::string& utf8_path);

  // The row callback of sqlite3_exec: column values as UTF-8 texts, NULL as a null pointer.
  using RowCallback = int (*)(void* arg, int columns, char** values, char** names);

  // Runs `sql` through sqlite3_exec. Returns SQLITE_OK, or SQLite's code when the text
  // fails; rows delivered before the failure have reached the callback. `error`, when
  // given, receives SQLite's message. Without a connection the result is SQLITE_MISUSE.
  [[nodiscard]] int Exec(const char* sql, RowCallback callback, void* arg,
                         std::string* error = nullptr);

  // Runs `sql` and calls `row(columns, values)` for each row; `row` returns nothing.
  template <typename Row>
  [[nodiscard]] int ForEachRow(const char* sql, Row&& row, std::string* error = nullptr) {
    return Exec(
        sql,
        [](void* arg, int columns, char** values, char**) -> int {
          (*static_cast<std::remove_reference_t<Row>*>(arg))(columns, values);
          return 0;
        },
        const_cast<void*>(static_cast<const void*>(&row)), error);
  }

  // The column names of `table` in declaration order (PRAGMA table_info). Returns SQLITE_OK
  // (an unknown table gives an empty list), or SQLite's code when the pragma fails.
  [[nodiscard]] int TableColumns(const std::string& table, std::vector<std::string>& names);

  void Close();
  [[nodiscard]] bool is_open() const { return db_ != nullptr; }
  [[nodiscard]] sqlite3* get() const { return db_; }

  // The "file:" URI of a path with mode=ro&immutable=1 (characters that a URI reserves are
  // percent-encoded).
  [[nodiscard]] static std::string ReadOnlyUri(const std::string& utf8_path);

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace salvora

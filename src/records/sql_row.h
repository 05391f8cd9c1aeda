// One result row as sqlite3_exec hands it to a row callback, with the conversion rules that
// every extractor applies to its columns.
//
// Columns are addressed by their position in the select list (0 first). A column that is
// SQL NULL arrives as a null pointer; a position at or beyond the row's column count is
// treated the same way, so a callback never reads past the array SQLite passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/text.h"

namespace salvora {

class SqlRow {
 public:
  // `values` is the callback's array of `columns` NUL-terminated UTF-8 texts (not owned; valid
  // only during the callback).
  SqlRow(int columns, char** values) : columns_(values == nullptr ? 0 : columns), values_(values) {}

  // The column's UTF-8 text, or nullptr for NULL or a missing column.
  [[nodiscard]] const char* Raw(int i) const {
    return (i >= 0 && i < columns_) ? values_[i] : nullptr;
  }
  [[nodiscard]] bool IsNull(int i) const { return Raw(i) == nullptr; }

  // Length of the column's text in bytes; 0 for NULL.
  [[nodiscard]] size_t Length(int i) const {
    const char* v = Raw(i);
    return v == nullptr ? 0 : std::strlen(v);
  }

  // Text rule: UTF-8 to UTF-16 (bad sequences become U+FFFD); NULL gives empty text.
  [[nodiscard]] std::u16string Text(int i) const {
    const char* v = Raw(i);
    return v == nullptr ? std::u16string() : Utf8ToUtf16(v);
  }

  // Integer rule: leading white space and sign, then digits up to the first other character
  // ("12.9" reads 12, "abc" 0); NULL gives 0.
  [[nodiscard]] int32_t Int(int i) const { return ParseLeadingInt(Raw(i)); }

 private:
  int columns_;
  char** values_;
};

}  // namespace salvora

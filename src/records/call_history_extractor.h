// The call-history category: ZCALLRECORD of CallHistory.storedata (the older call_history.db
// has no such table and yields no calls), named from the address book.
//
// Columns of the calls query, by position:
//   0 ZANSWERED   integer rule
//   1 ZDURATION   seconds, a real value; the integer rule drops the fraction
//   2 ZADDRESS    the other party's number or address; rows without one are dropped
//   3 DateString  UTC date text of ZDATE (seconds since 2001)
#pragma once

#include <string>

#include "core/progress.h"
#include "core/records.h"

namespace salvora {

class CallHistoryExtractor {
 public:
  static constexpr const char* kCallsSql =
      "SELECT ZANSWERED, ZDURATION, ZADDRESS, datetime(ZDATE + 978307200, 'unixepoch') AS "
      "DateString FROM ZCALLRECORD ORDER BY ZDATE DESC;";

  // `progress` is the engine's progress state; this job reports nothing itself.
  explicit CallHistoryExtractor(const ProgressState& progress = {}) : progress_(progress) {}

  // Reads the call-history database and the address book (UTF-8 paths). When the call-history
  // database opens, `calls` is replaced with its calls (none when the query fails) and each
  // call whose address is longer than 4 characters takes the name of the first address-book
  // person whose phone text contains it (shorter ones, such as service numbers, take none).
  // `calls` is then sorted by date ascending, oldest first (equal dates keep query order).
  //
  // Returns the first of: SQLite's open code of the call-history database (and then `calls`
  // keeps its records and names, only re-sorted); 1006 when that file is not a readable
  // database (a database without ZCALLRECORD is not a failure: it has no calls); SQLite's open
  // code of the address book, or 1006 when its first layout failed; else 0.
  [[nodiscard]] int Run(const std::string& callHistoryPath, const std::string& addressBookPath,
                        CallList& calls);

  [[nodiscard]] const ProgressState& progress() const { return progress_; }

 private:
  ProgressState progress_;
};

}  // namespace salvora

#include "records/call_history_extractor.h"

#include <algorithm>

#include "core/result_codes.h"
#include "core/text.h"
#include "records/contact_lookup.h"
#include "records/sql_row.h"
#include "records/sqlite_db.h"

namespace salvora {
namespace {

enum Column { kAnswered = 0, kDuration, kAddress, kDateString };

// Short codes and service numbers ("911", "1234") are contained in many phone texts by
// chance, so only longer addresses are named.
constexpr size_t kMinNamedAddressLength = 5;

void AddRow(CallList& rows, int columns, char** values) {
  SqlRow row(columns, values);
  CallRecord call;
  // ZADDRESS is a BLOB on some generations; its bytes are the number's UTF-8 text.
  call.address = row.Text(kAddress);
  if (call.address.empty()) return;
  call.answered = row.Int(kAnswered);
  call.duration = row.Int(kDuration);
  call.date = row.Text(kDateString);
  rows.push_back(std::move(call));
}

}  // namespace

int CallHistoryExtractor::Run(const std::string& callHistoryPath,
                              const std::string& addressBookPath, CallList& calls) {
  int code = kOk;
  SqliteDb history;
  int rc = history.OpenReadOnly(callHistoryPath);
  if (rc != SQLITE_OK) {
    code = rc;  // the caller's list keeps its records and names
  } else {
    CallList rows;
    rc = history.ForEachRow(kCallsSql,
                            [&rows](int columns, char** values) { AddRow(rows, columns, values); });
    // A database without ZCALLRECORD (the older call_history.db) simply has no calls and
    // keeps the code; a file that is not a readable database (SQLite's codes other than the
    // plain SQL error of a missing table) is a failure.
    if (rc != SQLITE_OK && rc != SQLITE_ERROR) code = kSqlFailed;
    history.Close();
    calls = std::move(rows);

    ContactLookup lookup;
    SqliteDb addressBook;
    rc = addressBook.OpenReadOnly(addressBookPath);
    int bookCode = rc != SQLITE_OK ? rc : lookup.Read(addressBook);
    addressBook.Close();
    if (code == kOk) code = bookCode;
    for (CallRecord& call : calls) {
      if (call.address.size() >= kMinNamedAddressLength) {
        call.contactName = lookup.NameFor(call.address);
      } else {
        call.contactName.clear();
      }
    }
  }
  // Oldest call first; the query's descending order only decides between equal dates.
  std::stable_sort(calls.begin(), calls.end(), [](const CallRecord& a, const CallRecord& b) {
    return CompareNoCase(a.date, b.date) < 0;
  });
  return code;
}

}  // namespace salvora

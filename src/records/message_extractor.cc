#include "records/message_extractor.h"

#include "core/result_codes.h"
#include "core/text.h"
#include "records/contact_lookup.h"
#include "records/internal/date_groups.h"
#include "records/sql_row.h"
#include "records/sqlite_db.h"

namespace salvora {
namespace {

enum Column {
  kText = 0,
  kIsFromMe,
  kDateStr,
  kRowId,
  kHandleId,
  kSenderName,
  kRawDate,
  kDateStrOld
};

// message.date became nanoseconds since 2001 with iOS 11: a present-day value then has 18
// digits, while a second count has 9. Up to 14 characters is read as seconds.
constexpr size_t kMaxSecondsLength = 14;

using MessageRows = internal::DatedRows<MessageRecord>;

void AddRow(MessageRows& rows, int columns, char** values) {
  SqlRow row(columns, values);
  // Messages without text (attachment-only ones, for example) are not listed.
  const char* text = row.Raw(kText);
  if (text == nullptr || *text == '\0') return;
  MessageRecord& m = rows.records.emplace_back();
  m.text = Utf8ToUtf16(text);
  m.isFromMe = row.Int(kIsFromMe);
  m.rowId = row.Int(kRowId);
  m.handleId = row.Int(kHandleId);
  m.address = row.Text(kSenderName);
  if (!row.IsNull(kDateStrOld) && row.Length(kRawDate) <= kMaxSecondsLength) {
    m.date = row.Text(kDateStrOld);
  } else {
    m.date = row.Text(kDateStr);
  }
  rows.NoteDate(m.date);
}

}  // namespace

int MessageExtractor::Run(const std::string& messagesDbPath, const std::string& addressBookPath,
                          MessageMap& conversations) {
  const bool reporting = progress_.callback != nullptr;
  // The first failure or stop answer; a non-zero answer of the last report overrides it, so a
  // stop request always comes back, and a failure is not hidden by a last answer of 0.
  int code = kOk;
  MessageRows rows;
  ContactLookup lookup;
  {
    SqliteDb messages;
    int rc = messages.OpenReadOnly(messagesDbPath);
    if (rc != SQLITE_OK) {
      code = rc;
    } else if (messages.ForEachRow(kMessagesSql, [&rows](int columns, char** values) {
                 AddRow(rows, columns, values);
               }) != SQLITE_OK) {
      // An older schema (no handle or chat_message_join table) or a damaged file; what came
      // before the failure is not used.
      code = kSqlFailed;
      rows.Clear();
    } else {
      messages.Close();
      int answer =
          reporting ? progress_.Report(progress_.progressBase + progress_.progressSpan / 5) : 0;
      if (answer != 0) {
        code = answer;  // stop: nothing goes into the map
        rows.Clear();
      } else {
        SqliteDb addressBook;
        rc = addressBook.OpenReadOnly(addressBookPath);
        if (rc != SQLITE_OK) {
          code = rc;  // the messages are still grouped, without names
        } else {
          code = lookup.Read(addressBook);
          if (reporting) {
            answer = progress_.Report(progress_.progressBase + progress_.progressSpan / 4);
            if (answer != 0) code = answer;
          }
        }
      }
    }
  }

  for (MessageRecord& m : rows.records) m.contactName = lookup.NameFor(m.address);
  internal::MoveIntoDateGroups(
      rows, conversations, [](const MessageRecord& m) { return m.handleId; },
      [](const MessageRecord&) { return true; });
  rows.Clear();

  if (reporting) {
    int answer = progress_.Report(progress_.progressBase + progress_.progressSpan);
    if (answer != 0) code = answer;
  }
  return code;
}

}  // namespace salvora

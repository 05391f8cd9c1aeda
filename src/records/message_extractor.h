// The messages category: the live SMS and iMessage messages of sms.db, named from the address
// book and grouped into conversations by handle.
//
// Columns of the messages query, by position:
//   0 message.text        the body; rows without text (attachment-only messages) are dropped
//   1 message.is_from_me  integer rule
//   2 DateStr             UTC date text of message.date read as nanoseconds since 2001
//   3 message.ROWID
//   4 message.handle_id   the conversation key
//   5 handle.id           the other party's phone number or e-mail address
//   6 message.date        raw; its length picks the date column: more than 14 characters is a
//                         nanosecond count (iOS 11 and later), 14 or fewer a second count
//   7 DateStrOld          UTC date text of message.date read as seconds since 2001
// Only messages that belong to a chat (chat_message_join) and have a handle row are returned;
// a message that two chats share comes back, and is listed, twice.
#pragma once

#include <string>

#include "core/progress.h"
#include "core/records.h"

namespace salvora {

class MessageExtractor {
 public:
  static constexpr const char* kMessagesSql =
      "SELECT  message.text, message.is_from_me, datetime(message.date/1000000000 + 978307200, "
      "'unixepoch') AS DateStr, message.RowID,message.handle_id, handle.id as "
      "sender_name,message.date, datetime(message.date + 978307200, 'unixepoch') AS DateStrOld "
      "FROM chat_message_join INNER JOIN message  ON message.rowid = chat_message_join.message_id "
      "INNER JOIN handle  ON handle.rowid = message.handle_id;";

  // `progress` is a copy of the engine's progress state; this job reports through it.
  explicit MessageExtractor(const ProgressState& progress) : progress_(progress) {}

  // Reads the messages database and the address book (UTF-8 paths) and appends each message
  // to `conversations[handleId]` (the map is not cleared; each handle's messages are added
  // in ascending date order, equal dates in query order). `contactName` is the name of the
  // first address-book person whose phone text contains the message's address.
  //
  // Progress, when a callback is set: base + span / 5 after the messages query, base + span / 4
  // after the address book, base + span at the end (always made). A non-zero answer to the
  // first report adds nothing to the map.
  //
  // Returns 0; SQLite's open code of the messages database or 1006 for its failed query
  // (nothing added); SQLite's open code of the address book or 1006 for its failed first
  // layout (conversations still added, names only from what was read); a non-zero answer of
  // a report. A non-zero answer of the last report is returned whatever came before, so a
  // stop request always comes back.
  [[nodiscard]] int Run(const std::string& messagesDbPath, const std::string& addressBookPath,
                        MessageMap& conversations);

 private:
  ProgressState progress_;
};

}  // namespace salvora

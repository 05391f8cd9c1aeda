// Text transcripts and CSV tables of the export.
//
// Every file starts with the UTF-8 byte-order mark and ends each line with CR LF; a line
// break inside a value is written as CR LF too (a value's own CR LF stays one break).
//
// Transcript: per message three lines and a blank one, each label right-aligned in ten
// columns; the second label is "Data" as it always was:
//         To: Ann(555-12-12)
//       Data: 2015-03-07 09:05:02
//    Content: Hello
//
// Tables follow RFC 4180: a field holding a comma, a double quote, CR or LF is enclosed in
// double quotes and its own quotes are doubled, so a value never shifts the columns.
//   <chat>.csv    Chats,Name/Phone,Date,Type,Content   (sender, push name, date, Send or
//                 Received, text)
//   sms.csv       Contact,Address,Date,Direction,Text (contact name, address, date, Sent or
//                 Received, text), one row per message of every exported conversation
//   Contacts.csv  Name,PhoneOne..PhoneFour,EmailOne..EmailFour,Address,Url,Social,Company,
//                 Department,Job Title,Birthday,Note, (the line ends with a comma, and so does
//                 every row): one line per phone and e-mail text fill the four columns; a
//                 fifth and further ones go into the fourth column, one per line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"

namespace salvora {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// UTF-8 of `text` with every line break (LF, CR LF, CR) written as CR LF.
[[nodiscard]] std::string WithCrLf(std::u16string_view text);
// One CSV field (RFC 4180 quoting; line breaks as CR LF inside the quotes).
[[nodiscard]] std::string CsvField(std::u16string_view value);

// The transcript party of a message: <contactName>(<address>), or the address alone when
// the contact name is empty or "Unknown"; of a WhatsApp message <senderName>(<pushName>), or
// the push name alone likewise.
[[nodiscard]] std::u16string TranscriptParty(const MessageRecord& message);
[[nodiscard]] std::u16string TranscriptParty(const ChatRecord& message);

// The three lines and the blank line of one message.
[[nodiscard]] std::string TranscriptEntry(bool from_me, std::u16string_view party,
                                          std::u16string_view date, std::u16string_view text);

// Write the transcript of the conversation of `row` (looked up by `handleId` or `chatId`;
// a key without a list gives a file without message lines), or the WhatsApp table. Each
// creates the parent folder. Returns 0 or the errno of the failed folder creation, open or
// write.
[[nodiscard]] int WriteMessageTranscript(const MessageRecord& row, const MessageMap& messages,
                                         const std::filesystem::path& path);
[[nodiscard]] int WriteWhatsAppTranscript(const ChatRecord& row, const ChatMap& chats,
                                          const std::filesystem::path& path);
[[nodiscard]] int WriteWhatsAppTable(const ChatRecord& row, const ChatMap& chats,
                                     const std::filesystem::path& path);

// sms.csv: one row per message of the conversations of `rows`, in that order. Returns 0 or
// the errno of the failure.
[[nodiscard]] int WriteMessagesTable(const std::vector<const MessageRecord*>& rows,
                                     const MessageMap& messages, const std::filesystem::path& path);

// Contacts.csv: the header line, then one row per contact. Returns 0 or the errno.
[[nodiscard]] std::string ContactsTableHeader();
[[nodiscard]] std::string ContactsTableRow(const ContactRecord& contact);
[[nodiscard]] int WriteContactsTable(const std::vector<const ContactRecord*>& contacts,
                                     const std::filesystem::path& path);

}  // namespace salvora

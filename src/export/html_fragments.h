// The pieces of markup the export and the print page generate around record values.
//
// Every value from a record is escaped before it enters a page: "&", "<", ">", '"' and "'"
// become character references, so a message that holds markup or script shows as text and
// never runs in the reader's browser. In contacts and notes, line breaks (LF, CR LF or CR)
// become "<br />". All results are UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "core/records.h"

namespace salvora {

// The value as HTML text.
[[nodiscard]] std::string EscapeHtml(std::u16string_view text);
[[nodiscard]] std::string EscapeHtml8(std::string_view utf8);
// As EscapeHtml, with every line break written as "<br />".
[[nodiscard]] std::string EscapeHtmlLines(std::u16string_view text);

// "Incoming" when the call was answered, else "Outgoing".
[[nodiscard]] std::u16string CallTypeText(const CallRecord& call);
// The duration text of a call: "Missed" (answered) or "Canceled" (not answered) for 0
// seconds, else "59 Sec", "1 Min 0 Sec", "1 Hour 0 Min" (FormatDuration).
[[nodiscard]] std::u16string CallDurationText(const CallRecord& call);

// Table rows of the category pages, each "\t<tr>" + cells + "</tr>\r\n":
// contacts: name, phone, email, (empty), url, (empty), organization;
// calls: contact name, address, date, type, duration;
// notes: title, date, content.
[[nodiscard]] std::string ContactRow(const ContactRecord& contact);
[[nodiscard]] std::string CallRow(const CallRecord& call);
[[nodiscard]] std::string NoteRow(const NoteRecord& note);

// The person line of a conversation page: "Name: <contact>, Phone: <address>" with "Unknown"
// for an empty contact name; for a WhatsApp chat "Name: <memberNames>, Phone: <memberJids>".
[[nodiscard]] std::string MessagePersonLine(const MessageRecord& row);
[[nodiscard]] std::string ChatPersonLine(const ChatRecord& row);

// One message of a conversation page: a "date" line naming the sender ("Me" for own
// messages; the contact name, or the address when that is empty or "Unknown"), then the text
// in a bubble of class "send_msg" or "recv_msg", "del_send_msg" / "del_recv_msg" for a
// deleted message. WhatsApp names a received message's sender by `senderName`, or by
// `pushName` when that is empty or "Unknown".
[[nodiscard]] std::string MessageBlock(const MessageRecord& message);
[[nodiscard]] std::string ChatBlock(const ChatRecord& message);

// Appending forms for writers that assemble large pages.
void AppendHtml(std::string& out, std::u16string_view text);
void AppendHtmlLines(std::string& out, std::u16string_view text);
void AppendMessageBlock(std::string& out, const MessageRecord& message);
void AppendChatBlock(std::string& out, const ChatRecord& message);

}  // namespace salvora

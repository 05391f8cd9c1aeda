#include "export/html_fragments.h"

#include <type_traits>

#include "core/format.h"
#include "core/text.h"

namespace salvora {
namespace {

// The character reference of a markup character, or nullptr for any other.
const char* Reference(char32_t c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return nullptr;
  }
}

// Appends `text` escaped, converting the runs between markup characters (and, with `lines`,
// line breaks) to UTF-8 in one go.
template <typename Char, typename AppendRun>
void AppendEscaped(std::string& out, std::basic_string_view<Char> text, bool lines,
                   AppendRun append_run) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = static_cast<std::make_unsigned_t<Char>>(text[i]);
    const char* ref = Reference(c);
    const bool brk = lines && (c == '\r' || c == '\n');
    if (ref == nullptr && !brk) continue;
    append_run(out, text.substr(run, i - run));
    if (ref != nullptr) {
      out += ref;
    } else {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
      out += "<br />";
    }
    run = i + 1;
  }
  append_run(out, text.substr(run));
}

void AppendRun16(std::string& out, std::u16string_view run) { AppendUtf16AsUtf8(out, run); }
void AppendRun8(std::string& out, std::string_view run) { out.append(run); }

void Cell(std::string& row, std::u16string_view value, bool lines = false) {
  row += "<td>";
  if (lines) {
    AppendHtmlLines(row, value);
  } else {
    AppendHtml(row, value);
  }
  row += "</td>";
}

// "Unknown" is what the extractors write for a party they could not name; the address
// says more then.
bool IsUnnamed(const std::u16string& name) { return name.empty() || name == u"Unknown"; }

void AppendBlock(std::string& out, bool from_me, bool deleted, std::u16string_view date,
                 std::u16string_view sender, std::u16string_view text) {
  out += "<div class=\"date\">Date: ";
  AppendHtml(out, date);
  out += ' ';
  if (from_me) {
    out += "Me";
  } else {
    AppendHtml(out, sender);
  }
  out += ":</div>\r\n";
  if (from_me) {
    out += deleted ? "<div class=\"del_send_msg\">" : "<div class=\"send_msg\">";
  } else {
    out += deleted ? "<div class=\"del_recv_msg\">" : "<div class=\"recv_msg\">";
  }
  AppendHtml(out, text);
  out += "</div>\r\n";
}

}  // namespace

void AppendHtml(std::string& out, std::u16string_view text) {
  AppendEscaped(out, text, false, AppendRun16);
}

void AppendHtmlLines(std::string& out, std::u16string_view text) {
  AppendEscaped(out, text, true, AppendRun16);
}

std::string EscapeHtml8(std::string_view utf8) {
  std::string out;
  AppendEscaped(out, utf8, false, AppendRun8);
  return out;
}

std::string EscapeHtml(std::u16string_view text) {
  std::string out;
  AppendHtml(out, text);
  return out;
}

std::string EscapeHtmlLines(std::u16string_view text) {
  std::string out;
  AppendHtmlLines(out, text);
  return out;
}

std::u16string CallTypeText(const CallRecord& call) {
  return call.answered != 0 ? u"Incoming" : u"Outgoing";
}

std::u16string CallDurationText(const CallRecord& call) {
  if (call.duration == 0) return call.answered != 0 ? u"Missed" : u"Canceled";
  return FormatDuration(call.duration);
}

std::string ContactRow(const ContactRecord& c) {
  std::string row = "\t<tr>";
  Cell(row, c.name, true);
  Cell(row, c.phone, true);
  Cell(row, c.email, true);
  Cell(row, {});  // the record has no value for this column
  Cell(row, c.url, true);
  Cell(row, {});
  Cell(row, c.organization, true);
  row += "</tr>\r\n";
  return row;
}

std::string CallRow(const CallRecord& c) {
  std::string row = "\t<tr>";
  Cell(row, c.contactName);
  Cell(row, c.address);
  Cell(row, c.date);
  Cell(row, CallTypeText(c));
  Cell(row, CallDurationText(c));
  row += "</tr>\r\n";
  return row;
}

std::string NoteRow(const NoteRecord& n) {
  std::string row = "\t<tr>";
  Cell(row, n.title, true);
  Cell(row, n.date);
  Cell(row, n.content, true);
  row += "</tr>\r\n";
  return row;
}

std::string MessagePersonLine(const MessageRecord& row) {
  std::u16string name = row.contactName.empty() ? std::u16string(u"Unknown") : row.contactName;
  return "Name: " + EscapeHtml(name) + ", Phone: " + EscapeHtml(row.address);
}

std::string ChatPersonLine(const ChatRecord& row) {
  return "Name: " + EscapeHtml(row.memberNames) + ", Phone: " + EscapeHtml(row.memberJids);
}

void AppendMessageBlock(std::string& out, const MessageRecord& m) {
  AppendBlock(out, m.isFromMe != 0, m.isDeleted != 0, m.date,
              IsUnnamed(m.contactName) ? m.address : m.contactName, m.text);
}

void AppendChatBlock(std::string& out, const ChatRecord& m) {
  AppendBlock(out, m.isFromMe != 0, m.isDeleted != 0, m.date,
              IsUnnamed(m.senderName) ? m.pushName : m.senderName, m.text);
}

std::string MessageBlock(const MessageRecord& m) {
  std::string out;
  AppendMessageBlock(out, m);
  return out;
}

std::string ChatBlock(const ChatRecord& m) {
  std::string out;
  AppendChatBlock(out, m);
  return out;
}

}  // namespace salvora

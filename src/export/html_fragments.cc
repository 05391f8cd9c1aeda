#include "export/html_fragments.h"

#include "core/format.h"
#include "core/text.h"

namespace salvora {
namespace {

void AppendEscaped(std::string& out, std::string_view utf8, bool lines) {
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\r':
        if (!lines) {
          out.push_back(c);
          break;
        }
        if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;  // CR LF is one break
        out += "<br />";
        break;
      case '\n':
        if (lines) {
          out += "<br />";
        } else {
          out.push_back(c);
        }
        break;
      default:
        out.push_back(c);
    }
  }
}

void Cell(std::string& row, const std::string& escaped) {
  row += "<td>";
  row += escaped;
  row += "</td>";
}

// "Unknown" is what the extractors write for a party they could not name; the address
// says more then.
bool IsUnnamed(const std::u16string& name) { return name.empty() || name == u"Unknown"; }

std::string Block(bool from_me, bool deleted, const std::u16string& date,
                  const std::u16string& sender, const std::u16string& text) {
  std::string out = "<div class=\"date\">Date: ";
  out += EscapeHtml(date);
  out += ' ';
  out += from_me ? std::string("Me") : EscapeHtml(sender);
  out += ":</div>\r\n";
  if (from_me) {
    out += deleted ? "<div class=\"del_send_msg\">" : "<div class=\"send_msg\">";
  } else {
    out += deleted ? "<div class=\"del_recv_msg\">" : "<div class=\"recv_msg\">";
  }
  out += EscapeHtml(text);
  out += "</div>\r\n";
  return out;
}

}  // namespace

std::string EscapeHtml8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 16);
  AppendEscaped(out, utf8, false);
  return out;
}

std::string EscapeHtml(std::u16string_view text) { return EscapeHtml8(Utf16ToUtf8(text)); }

std::string EscapeHtmlLines(std::u16string_view text) {
  std::string utf8 = Utf16ToUtf8(text);
  std::string out;
  out.reserve(utf8.size() + 16);
  AppendEscaped(out, utf8, true);
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
  Cell(row, EscapeHtmlLines(c.name));
  Cell(row, EscapeHtmlLines(c.phone));
  Cell(row, EscapeHtmlLines(c.email));
  Cell(row, {});  // the record has no value for this column
  Cell(row, EscapeHtmlLines(c.url));
  Cell(row, {});
  Cell(row, EscapeHtmlLines(c.organization));
  row += "</tr>\r\n";
  return row;
}

std::string CallRow(const CallRecord& c) {
  std::string row = "\t<tr>";
  Cell(row, EscapeHtml(c.contactName));
  Cell(row, EscapeHtml(c.address));
  Cell(row, EscapeHtml(c.date));
  Cell(row, EscapeHtml(CallTypeText(c)));
  Cell(row, EscapeHtml(CallDurationText(c)));
  row += "</tr>\r\n";
  return row;
}

std::string NoteRow(const NoteRecord& n) {
  std::string row = "\t<tr>";
  Cell(row, EscapeHtmlLines(n.title));
  Cell(row, EscapeHtml(n.date));
  Cell(row, EscapeHtmlLines(n.content));
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

std::string MessageBlock(const MessageRecord& m) {
  return Block(m.isFromMe != 0, m.isDeleted != 0, m.date,
               IsUnnamed(m.contactName) ? m.address : m.contactName, m.text);
}

std::string ChatBlock(const ChatRecord& m) {
  return Block(m.isFromMe != 0, m.isDeleted != 0, m.date,
               IsUnnamed(m.senderName) ? m.pushName : m.senderName, m.text);
}

}  // namespace salvora

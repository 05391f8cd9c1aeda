#include "export/text_export.h"

#include <cerrno>

#include "core/text.h"
#include "export/output_file.h"

namespace salvora {
namespace {

constexpr std::string_view kWhatsAppTableHeader = "Chats,Name/Phone,Date,Type,Content\r\n";
constexpr std::string_view kMessagesTableHeader = "Contact,Address,Date,Direction,Text\r\n";
constexpr std::string_view kContactsHeader =
    "Name,PhoneOne,PhoneTwo,PhoneThree,PhoneFour,EmailOne,EmailTwo,EmailThree,EmailFour,"
    "Address,Url,Social,Company,Department,Job Title,Birthday,Note,\r\n";
constexpr size_t kContactColumns = 4;

bool IsUnnamed(const std::u16string& name) { return name.empty() || name == u"Unknown"; }

// "%10s: %s" with the label right-aligned.
void AppendLabelled(std::string& out, std::string_view label, std::u16string_view value) {
  if (label.size() < 10) out.append(10 - label.size(), ' ');
  out += label;
  out += ": ";
  out += WithCrLf(value);
  out += "\r\n";
}

// Splits a multi-line value at its line breaks (LF, CR LF, CR).
std::vector<std::u16string> Lines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  if (text.empty()) return lines;
  std::u16string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  lines.push_back(std::move(line));
  return lines;
}

// Four columns of a multi-line value; lines past the fourth join the fourth column.
void AppendColumns(std::vector<std::u16string>& fields, std::u16string_view value) {
  std::vector<std::u16string> lines = Lines(value);
  for (size_t i = 0; i < kContactColumns; ++i) {
    if (i + 1 < kContactColumns || lines.size() <= kContactColumns) {
      fields.push_back(i < lines.size() ? lines[i] : std::u16string());
      continue;
    }
    std::u16string rest = lines[i];
    for (size_t j = i + 1; j < lines.size(); ++j) rest += u"\n" + lines[j];
    fields.push_back(std::move(rest));
  }
}

std::string CsvLine(const std::vector<std::u16string>& fields, std::string_view end = "\r\n") {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += CsvField(fields[i]);
  }
  line += end;
  return line;
}

template <typename Map, typename Fill>
int WriteFile(const std::filesystem::path& path, std::string_view first_line, const Map& map,
              int32_t key, Fill fill) {
  OutputFile file;
  if (int rc = file.Create(path); rc != 0) return rc;
  file.Write(kUtf8Bom);
  file.Write(first_line);
  if (auto it = map.find(key); it != map.end()) {
    std::string piece;
    for (const auto& message : it->second) {
      piece.clear();
      fill(piece, message);
      file.Write(piece);
    }
  }
  return file.Close();
}

}  // namespace

std::string WithCrLf(std::u16string_view text) {
  std::string utf8 = Utf16ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string CsvField(std::u16string_view value) {
  bool quote = value.find_first_of(u",\"\r\n") != std::u16string_view::npos;
  std::string text = WithCrLf(value);
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::u16string TranscriptParty(const MessageRecord& m) {
  return IsUnnamed(m.contactName) ? m.address : m.contactName + u"(" + m.address + u")";
}

std::u16string TranscriptParty(const ChatRecord& m) {
  return IsUnnamed(m.senderName) ? m.pushName : m.senderName + u"(" + m.pushName + u")";
}

std::string TranscriptEntry(bool from_me, std::u16string_view party, std::u16string_view date,
                            std::u16string_view text) {
  std::string out;
  AppendLabelled(out, from_me ? "To" : "From", party);
  AppendLabelled(out, "Data", date);
  AppendLabelled(out, "Content", text);
  out += "\r\n";
  return out;
}

int WriteMessageTranscript(const MessageRecord& row, const MessageMap& messages,
                           const std::filesystem::path& path) {
  return WriteFile(path, {}, messages, row.handleId, [](std::string& out, const MessageRecord& m) {
    out = TranscriptEntry(m.isFromMe != 0, TranscriptParty(m), m.date, m.text);
  });
}

int WriteWhatsAppTranscript(const ChatRecord& row, const ChatMap& chats,
                            const std::filesystem::path& path) {
  return WriteFile(path, {}, chats, row.chatId, [](std::string& out, const ChatRecord& m) {
    out = TranscriptEntry(m.isFromMe != 0, TranscriptParty(m), m.date, m.text);
  });
}

int WriteWhatsAppTable(const ChatRecord& row, const ChatMap& chats,
                       const std::filesystem::path& path) {
  return WriteFile(path, kWhatsAppTableHeader, chats, row.chatId,
                   [](std::string& out, const ChatRecord& m) {
                     out = CsvLine({m.senderName, m.pushName, m.date,
                                    m.isFromMe != 0 ? u"Send" : u"Received", m.text});
                   });
}

int WriteMessagesTable(const std::vector<const MessageRecord*>& rows, const MessageMap& messages,
                       const std::filesystem::path& path) {
  OutputFile file;
  if (int rc = file.Create(path); rc != 0) return rc;
  file.Write(kUtf8Bom);
  file.Write(kMessagesTableHeader);
  for (const MessageRecord* row : rows) {
    auto it = messages.find(row->handleId);
    if (it == messages.end()) continue;
    for (const MessageRecord& m : it->second) {
      file.Write(CsvLine({m.contactName, m.address, m.date,
                          m.isFromMe != 0 ? u"Sent" : u"Received", m.text}));
    }
  }
  return file.Close();
}

std::string ContactsTableHeader() { return std::string(kContactsHeader); }

std::string ContactsTableRow(const ContactRecord& c) {
  std::vector<std::u16string> fields;
  fields.reserve(17);
  fields.push_back(c.name);
  AppendColumns(fields, c.phone);
  AppendColumns(fields, c.email);
  fields.emplace_back();  // Address: the record has none
  fields.push_back(c.url);
  fields.emplace_back();  // Social
  fields.push_back(c.organization);
  for (int i = 0; i < 4; ++i) fields.emplace_back();  // Department, Job Title, Birthday, Note
  return CsvLine(fields, ",\r\n");  // the header ends with a comma; so does every row
}

int WriteContactsTable(const std::vector<const ContactRecord*>& contacts,
                       const std::filesystem::path& path) {
  OutputFile file;
  if (int rc = file.Create(path); rc != 0) return rc;
  file.Write(kUtf8Bom);
  file.Write(kContactsHeader);
  for (const ContactRecord* c : contacts) file.Write(ContactsTableRow(*c));
  return file.Close();
}

}  // namespace salvora

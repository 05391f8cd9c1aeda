#include "export/text_export.h"

#include <cerrno>
#include <initializer_list>

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
constexpr size_t kPieceBytes = 64 * 1024;

bool IsUnnamed(const std::u16string& name) { return name.empty() || name == u"Unknown"; }

// UTF-8 of `text` with every line break as CR LF, appended; the runs between breaks are
// converted in one go.
void AppendCrLf(std::string& out, std::u16string_view text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    AppendUtf16AsUtf8(out, text.substr(run, i - run));
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out += "\r\n";
    run = i + 1;
  }
  AppendUtf16AsUtf8(out, text.substr(run));
}

// One CSV field, appended.
void AppendCsvField(std::string& out, std::u16string_view value) {
  if (value.find_first_of(u",\"\r\n") == std::u16string_view::npos) {
    AppendUtf16AsUtf8(out, value);
    return;
  }
  out += '"';
  size_t run = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c != u'"' && c != u'\r' && c != u'\n') continue;
    AppendUtf16AsUtf8(out, value.substr(run, i - run));
    if (c == u'"') {
      out += "\"\"";
    } else {
      if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n') ++i;
      out += "\r\n";
    }
    run = i + 1;
  }
  AppendUtf16AsUtf8(out, value.substr(run));
  out += '"';
}

// "%10s: " with the label right-aligned.
void AppendLabel(std::string& out, std::string_view label) {
  if (label.size() < 10) out.append(10 - label.size(), ' ');
  out += label;
  out += ": ";
}

// "%10s: %s" with the label right-aligned.
void AppendLabelled(std::string& out, std::string_view label, std::u16string_view value) {
  AppendLabel(out, label);
  AppendCrLf(out, value);
  out += "\r\n";
}

void AppendEntry(std::string& out, bool from_me, const std::u16string& name,
                 std::u16string_view detail, std::u16string_view date, std::u16string_view text) {
  AppendLabel(out, from_me ? "To" : "From");
  if (!IsUnnamed(name)) {
    AppendCrLf(out, name);
    out += '(';
    AppendCrLf(out, detail);
    out += ')';
  } else {
    AppendCrLf(out, detail);
  }
  out += "\r\n";
  AppendLabelled(out, "Data", date);
  AppendLabelled(out, "Content", text);
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

template <typename Fields>
void AppendCsvLine(std::string& out, const Fields& fields, std::string_view end = "\r\n") {
  bool first = true;
  for (std::u16string_view field : fields) {
    if (!first) out += ',';
    first = false;
    AppendCsvField(out, field);
  }
  out += end;
}

void AppendCsvLine(std::string& out, std::initializer_list<std::u16string_view> fields) {
  AppendCsvLine<std::initializer_list<std::u16string_view>>(out, fields);
}

template <typename Map, typename Fill>
int WriteFile(const std::filesystem::path& path, std::string_view first_line, const Map& map,
              int32_t key, Fill fill) {
  OutputFile file;
  if (int rc = file.Create(path); rc != 0) return rc;
  file.Write(kUtf8Bom);
  file.Write(first_line);
  if (auto it = map.find(key); it != map.end()) {
    // Messages are assembled in one reused buffer and handed over in large pieces.
    std::string piece;
    for (const auto& message : it->second) {
      fill(piece, message);
      if (piece.size() >= kPieceBytes) {
        file.Write(piece);
        piece.clear();
      }
    }
    file.Write(piece);
  }
  return file.Close();
}

}  // namespace

std::string WithCrLf(std::u16string_view text) {
  std::string out;
  AppendCrLf(out, text);
  return out;
}

std::string CsvField(std::u16string_view value) {
  std::string out;
  AppendCsvField(out, value);
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
  AppendEntry(out, from_me, std::u16string(), party, date, text);
  return out;
}

int WriteMessageTranscript(const MessageRecord& row, const MessageMap& messages,
                           const std::filesystem::path& path) {
  return WriteFile(path, {}, messages, row.handleId, [](std::string& out, const MessageRecord& m) {
    AppendEntry(out, m.isFromMe != 0, m.contactName, m.address, m.date, m.text);
  });
}

int WriteWhatsAppTranscript(const ChatRecord& row, const ChatMap& chats,
                            const std::filesystem::path& path) {
  return WriteFile(path, {}, chats, row.chatId, [](std::string& out, const ChatRecord& m) {
    AppendEntry(out, m.isFromMe != 0, m.senderName, m.pushName, m.date, m.text);
  });
}

int WriteWhatsAppTable(const ChatRecord& row, const ChatMap& chats,
                       const std::filesystem::path& path) {
  return WriteFile(path, kWhatsAppTableHeader, chats, row.chatId,
                   [](std::string& out, const ChatRecord& m) {
                     AppendCsvLine(out, {m.senderName, m.pushName, m.date,
                                         m.isFromMe != 0 ? u"Send" : u"Received", m.text});
                   });
}

int WriteMessagesTable(const std::vector<const MessageRecord*>& rows, const MessageMap& messages,
                       const std::filesystem::path& path) {
  OutputFile file;
  if (int rc = file.Create(path); rc != 0) return rc;
  file.Write(kUtf8Bom);
  file.Write(kMessagesTableHeader);
  std::string piece;
  for (const MessageRecord* row : rows) {
    auto it = messages.find(row->handleId);
    if (it == messages.end()) continue;
    for (const MessageRecord& m : it->second) {
      AppendCsvLine(piece, {m.contactName, m.address, m.date,
                            m.isFromMe != 0 ? u"Sent" : u"Received", m.text});
      if (piece.size() >= kPieceBytes) {
        file.Write(piece);
        piece.clear();
      }
    }
  }
  file.Write(piece);
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
  std::string line;
  AppendCsvLine(line, fields, ",\r\n");  // the header ends with a comma; so does every row
  return line;
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

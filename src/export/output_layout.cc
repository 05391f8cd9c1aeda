#include "export/output_layout.h"

#include <cstdint>
#include <cstdio>
#include <system_error>

#include "core/text.h"
#include "platform/local_time.h"

namespace salvora {
namespace {

constexpr size_t kMaxKeptExtensionBytes = 32;

size_t Utf8Length(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return 4;
}

size_t Utf8Length(std::u16string_view text) { return Utf16ToUtf8(text).size(); }

bool IsRefused(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) return true;  // control characters
  switch (cp) {
    case U'/':
    case U'\\':
    case U':':
    case U'*':
    case U'?':
    case U'"':
    case U'<':
    case U'>':
    case U'|':
      return true;
    default:
      return false;
  }
}

void TrimBlanksAndDots(std::u16string& text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'.')) text.pop_back();
}

// Cuts UTF-8 bytes to at most `max` without ending inside a character.
std::string CutUtf8(std::string bytes, size_t max) {
  if (bytes.size() <= max) return bytes;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  bytes.resize(end);
  return bytes;
}

std::filesystem::path Under(const std::filesystem::path& root, std::u16string_view folder) {
  return root / PathOf(folder);
}

}  // namespace

std::u16string FormatRunStamp(const std::tm& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return U(buf);
}

std::u16string RunStampNow() {
  std::tm t{};
  if (!platform::LocalCalendarTime(platform::NowUnixSeconds(), t)) {
    (void)platform::UtcCalendarTime(platform::NowUnixSeconds(), t);
  }
  return FormatRunStamp(t);
}

std::u16string SafeName(std::u16string_view name, size_t max_bytes) {
  std::u16string out;
  out.reserve(name.size());
  size_t bytes = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t unit = name[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() &&
                      name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
    if (pair) {
      if (bytes + 4 > max_bytes) break;
      bytes += 4;
      out.push_back(unit);
      out.push_back(name[++i]);
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;  // an unpaired surrogate has no UTF-8
    if (IsRefused(unit)) unit = u'_';
    const size_t len = Utf8Length(static_cast<char32_t>(unit));
    if (bytes + len > max_bytes) break;
    bytes += len;
    out.push_back(unit);
  }
  // Trailing blanks and dots vanish on some file systems and make "." and ".." out of
  // names such as "..": trimming them also removes those two.
  TrimBlanksAndDots(out);
  if (out.empty()) out = u"_";
  return out;
}

std::u16string SafeFileName(std::u16string_view name) {
  std::u16string whole = SafeName(name, SIZE_MAX);
  if (Utf8Length(whole) <= kMaxNameBytes) return whole;
  size_t dot = whole.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) {
    std::u16string_view ext = std::u16string_view(whole).substr(dot);
    size_t ext_bytes = Utf8Length(ext);
    if (ext_bytes <= kMaxKeptExtensionBytes) {
      return SafeName(std::u16string_view(whole).substr(0, dot), kMaxNameBytes - ext_bytes) +
             std::u16string(ext);
    }
  }
  return SafeName(whole, kMaxNameBytes);
}

std::u16string SafeNameWithSuffix(std::u16string_view name, std::u16string_view suffix) {
  size_t suffix_bytes = Utf8Length(suffix);
  size_t room = suffix_bytes < kMaxNameBytes ? kMaxNameBytes - suffix_bytes : 1;
  return SafeName(name, room) + std::u16string(suffix);
}

std::filesystem::path PathOf(std::u16string_view name) {
  return std::filesystem::path(Utf16ToUtf8(name));
}

std::u16string_view CategoryFolderName(CategoryId id) {
  switch (id) {
    case CategoryId::CameraRoll:
      return u"Camera Roll";
    case CategoryId::PhotoStream:
      return u"Photo Stream";
    case CategoryId::AppPhotos:
      return u"App Photos";
    case CategoryId::AppVideos:
      return u"App Video";  // singular, unlike the tree label
    case CategoryId::Messages:
      return u"Message";
    case CategoryId::MessageAttachments:
      return u"Message Attachments";
    case CategoryId::Contacts:
      return u"Contacts";
    case CategoryId::CallHistory:
      return u"CallHistory";
    case CategoryId::Notes:
      return u"Notes";
    case CategoryId::WhatsApp:
      return u"WhatsApp Message";
    case CategoryId::WhatsAppAttachments:
      return u"WhatsApp Attachments";
  }
  return {};
}

std::filesystem::path CategoryFolder(const std::filesystem::path& root, CategoryId id) {
  return Under(root, CategoryFolderName(id));
}

std::filesystem::path UniquePath(const std::filesystem::path& wanted) {
  auto taken = [](const std::filesystem::path& p) {
    std::error_code ec;
    // symlink_status: a link counts as a name in use even when its target is missing, so
    // a copy never lands where a link points.
    std::filesystem::file_status st = std::filesystem::symlink_status(p, ec);
    if (st.type() == std::filesystem::file_type::not_found) return false;
    return !ec;
  };
  if (!taken(wanted)) return wanted;

  const std::string name = wanted.filename().string();
  size_t dot = name.rfind('.');
  std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  const std::filesystem::path folder = wanted.parent_path();
  for (unsigned long long n = 1;; ++n) {
    std::string number = "(" + std::to_string(n) + ")";
    size_t fixed = number.size() + ext.size();
    std::string cut_base = fixed < kMaxNameBytes ? CutUtf8(base, kMaxNameBytes - fixed) : base;
    std::filesystem::path candidate = folder / (cut_base + number + ext);
    if (!taken(candidate)) return candidate;
  }
}

std::filesystem::path FileDestination(const std::filesystem::path& root, CategoryId id,
                                      const FileRecord& file) {
  return CategoryFolder(root, id) / PathOf(SafeFileName(file.name));
}

std::filesystem::path AppFolder(const std::filesystem::path& root, CategoryId id,
                                const AppFileRecord& file) {
  return CategoryFolder(root, id) / PathOf(SafeName(file.appName));
}

std::filesystem::path AppFileDestination(const std::filesystem::path& root, CategoryId id,
                                         const AppFileRecord& file) {
  return AppFolder(root, id, file) / PathOf(SafeFileName(file.fileName));
}

std::u16string MessageContactName(const MessageRecord& row) {
  return row.contactName.empty() ? std::u16string(u"Unknown") : row.contactName;
}

std::u16string MessageFileBase(const MessageRecord& row) {
  std::u16string base = MessageContactName(row);
  if (!row.address.empty()) base += u"(" + row.address + u")";
  return base;
}

std::u16string WhatsAppChatName(const ChatRecord& row) {
  std::u16string name =
      row.memberNames.empty() ? row.memberJids : row.memberNames + u"(" + row.memberJids + u")";
  if (Contains(row.memberNames, u",")) name = row.chatName;  // a group chat
  if (name.empty()) name = u"Unknown";
  return name;
}

std::filesystem::path MessageConversationFolder(const std::filesystem::path& root,
                                                const MessageRecord& row,
                                                std::u16string_view stamp) {
  return CategoryFolder(root, CategoryId::Messages) /
         PathOf(SafeNameWithSuffix(MessageContactName(row), u"-" + std::u16string(stamp)));
}

ConversationPaths MessageConversationPaths(const std::filesystem::path& root,
                                           const MessageRecord& row, std::u16string_view stamp) {
  ConversationPaths paths;
  paths.folder = MessageConversationFolder(root, row, stamp);
  std::u16string base = MessageFileBase(row);
  paths.transcript = UniquePath(paths.folder / PathOf(SafeNameWithSuffix(base, u".txt")));
  paths.page = UniquePath(paths.folder / PathOf(SafeNameWithSuffix(base, u".html")));
  return paths;
}

std::filesystem::path WhatsAppChatFolder(const std::filesystem::path& root, const ChatRecord& row,
                                         std::u16string_view stamp) {
  return CategoryFolder(root, CategoryId::WhatsApp) /
         PathOf(SafeNameWithSuffix(WhatsAppChatName(row), u"-" + std::u16string(stamp)));
}

ConversationPaths WhatsAppChatPaths(const std::filesystem::path& root, const ChatRecord& row,
                                    std::u16string_view stamp) {
  ConversationPaths paths;
  paths.folder = WhatsAppChatFolder(root, row, stamp);
  std::u16string name = WhatsAppChatName(row);
  paths.transcript = UniquePath(paths.folder / PathOf(SafeNameWithSuffix(name, u".txt")));
  paths.table = UniquePath(paths.folder / PathOf(SafeNameWithSuffix(name, u".csv")));
  paths.page = UniquePath(paths.folder / PathOf(SafeNameWithSuffix(name, u".html")));
  return paths;
}

std::filesystem::path ContactsFolder(const std::filesystem::path& root, std::u16string_view stamp) {
  return CategoryFolder(root, CategoryId::Contacts) / PathOf(SafeName(stamp));
}

std::filesystem::path ContactsPagePath(const std::filesystem::path& root,
                                       std::u16string_view stamp) {
  return ContactsFolder(root, stamp) / "Contacts.html";
}

std::filesystem::path ContactsTablePath(const std::filesystem::path& root,
                                        std::u16string_view stamp) {
  return ContactsFolder(root, stamp) / "Contacts.csv";
}

std::filesystem::path AddressBookCopyPath(const std::filesystem::path& root,
                                          std::u16string_view stamp) {
  return ContactsFolder(root, stamp) / "AddressBook.sqlitedb";
}

std::filesystem::path CallHistoryPagePath(const std::filesystem::path& root,
                                          std::u16string_view stamp) {
  return CategoryFolder(root, CategoryId::CallHistory) /
         PathOf(SafeNameWithSuffix(u"CallHistory_" + std::u16string(stamp), u".html"));
}

std::filesystem::path NotesPagePath(const std::filesystem::path& root, std::u16string_view stamp) {
  return CategoryFolder(root, CategoryId::Notes) /
         PathOf(SafeNameWithSuffix(u"Notes_" + std::u16string(stamp), u".html"));
}

std::filesystem::path MessagesTablePath(const std::filesystem::path& root) {
  return CategoryFolder(root, CategoryId::Messages) / "sms.csv";
}

std::filesystem::path MessagesDatabaseCopyPath(const std::filesystem::path& root) {
  return CategoryFolder(root, CategoryId::Messages) / "sms.db";
}

}  // namespace salvora

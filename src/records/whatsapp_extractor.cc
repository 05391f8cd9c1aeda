#include "records/whatsapp_extractor.h"

#include <deque>
#include <string_view>
#include <unordered_map>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "records/internal/date_groups.h"
#include "records/sql_row.h"
#include "records/sqlite_db.h"

namespace salvora {
namespace {

using Chat = WhatsAppExtractor::WhatsAppChat;
using Member = WhatsAppExtractor::WhatsAppMember;
using MediaTitle = WhatsAppExtractor::WhatsAppMediaTitle;
using MessageRows = internal::DatedRows<ChatRecord>;

template <typename T>
void Clear(std::vector<T>& rows) {
  rows.clear();
}
void Clear(MessageRows& rows) { rows.Clear(); }

// Runs one query on its own connection and hands each row to `add`. Returns 0, SQLite's open
// code, or 1006; after a failure `rows` is emptied, so a damaged table adds nothing partial.
template <typename Rows, typename Add>
int ReadTable(const std::string& path, const char* sql, Rows& rows, Add add) {
  SqliteDb db;
  int rc = db.OpenReadOnly(path);
  if (rc != SQLITE_OK) return rc;
  if (db.ForEachRow(sql, [&rows, &add](int columns, char** values) {
        add(rows, SqlRow(columns, values));
      }) != SQLITE_OK) {
    Clear(rows);
    return kSqlFailed;
  }
  return kOk;
}

void AddChat(std::vector<Chat>& rows, const SqlRow& row) {
  Chat chat;
  chat.chatId = row.Int(0);  // Z_PK
  if (chat.chatId == 0) return;
  chat.partnerName = row.Text(1);  // ZPARTNERNAME: contact or group name
  chat.contactJid = row.Text(2);   // ZCONTACTJID: "<number>@s.whatsapp.net" or "<id>@g.us"
  rows.push_back(std::move(chat));
}

void AddMember(std::vector<Member>& rows, const SqlRow& row) {
  Member member;
  member.chatId = row.Int(0);  // ZCHATSESSION
  if (member.chatId == 0) return;
  member.contactName = row.Text(1);  // ZCONTACTNAME
  member.memberJid = row.Text(2);    // ZMEMBERJID
  rows.push_back(std::move(member));
}

void AddMessage(MessageRows& rows, const SqlRow& row) {
  const int32_t chatId = row.Int(2);  // ZCHATSESSION
  if (chatId == 0) return;
  ChatRecord& m = rows.records.emplace_back();
  m.chatId = chatId;
  m.messageId = row.Int(0);  // Z_PK
  m.isFromMe = row.Int(1);   // ZISFROMME
  // ZMESSAGEDATE: seconds since 2001, integer or fractional; the integer part counts.
  m.date = LocalDateTextFromAppleSeconds(row.Raw(3));
  rows.NoteDate(m.date);
  m.pushName = row.Text(4);  // ZPUSHNAME
  m.text = row.Text(5);      // ZTEXT
}

void AddMediaTitle(std::vector<MediaTitle>& rows, const SqlRow& row) {
  MediaTitle media;
  media.messageId = row.Int(0);  // ZMESSAGE
  if (media.messageId == 0) return;
  media.title = row.Text(1);  // ZTITLE
  rows.push_back(std::move(media));
}

// The sender of an incoming group message: the first member in list order whose JID contains
// the push name without its first character, computed once per push name.
class MemberFinder {
 public:
  explicit MemberFinder(const std::vector<Member>& members) : members_(members) {}

  // `pushName` has at least two code units.
  const Member* Find(const std::u16string& pushName) {
    auto it = cache_.find(pushName);
    if (it == cache_.end()) {
      const std::u16string_view needle = std::u16string_view(pushName).substr(1);
      int64_t found = -1;
      for (size_t i = 0; i < members_.size(); ++i) {
        if (Contains(members_[i].memberJid, needle)) {
          found = static_cast<int64_t>(i);
          break;
        }
      }
      it = cache_.emplace(pushName, found).first;
    }
    return it->second < 0 ? nullptr : &members_[static_cast<size_t>(it->second)];
  }

 private:
  const std::vector<Member>& members_;
  std::unordered_map<std::u16string, int64_t> cache_;
};

// The join rules of the header over the rows read. Messages that end without text keep an
// empty text; the grouping leaves them out.
void Join(std::vector<Chat> chatRows, const std::vector<Member>& members,
          const std::vector<MediaTitle>& media, std::deque<ChatRecord>& messages) {
  // Members into chats, each chat's members in member row order.
  std::unordered_map<int32_t, std::vector<size_t>> membersOf;
  for (size_t i = 0; i < members.size(); ++i) membersOf[members[i].chatId].push_back(i);
  for (Chat& chat : chatRows) {
    auto it = membersOf.find(chat.chatId);
    if (it == membersOf.end()) continue;
    for (size_t i : it->second) {
      const Member& member = members[i];
      if (!chat.memberJids.empty()) {
        chat.memberJids += u',';
        chat.memberJids += member.memberJid;
        if (!member.contactName.empty()) {
          chat.memberNames += u',';
          chat.memberNames += member.contactName;
        }
      } else {
        chat.memberJids = member.memberJid;
        chat.memberNames = member.contactName;
      }
    }
  }

  // Chat details and sender of each message.
  std::unordered_map<int32_t, const Chat*> chatById;
  for (const Chat& chat : chatRows) chatById.emplace(chat.chatId, &chat);  // first one wins
  MemberFinder finder(members);
  for (ChatRecord& m : messages) {
    auto it = chatById.find(m.chatId);
    if (it == chatById.end()) continue;  // unknown chat: the message stays as read
    const Chat& chat = *it->second;
    m.chatName = chat.partnerName;
    m.memberJids = chat.memberJids.empty() ? chat.contactJid : chat.memberJids;
    m.memberNames = chat.memberNames.empty() ? chat.partnerName : chat.memberNames;
    const bool group = Contains(m.memberJids, u",");  // two or more member JIDs
    const Member* sender = nullptr;
    if (m.isFromMe != 0) {
      m.senderName = u"Me";
      m.pushName.clear();
    } else if (group && m.pushName.size() > 1 &&
               // The push name of a number is "+" and its digits; member JIDs hold the digits.
               (sender = finder.Find(m.pushName)) != nullptr) {
      m.senderName = sender->contactName;
    } else {
      m.senderName = chat.partnerName;
    }
  }

  // Media titles for messages without text.
  std::unordered_map<int32_t, const std::u16string*> titleOf;
  for (const MediaTitle& item : media) titleOf.emplace(item.messageId, &item.title);
  for (ChatRecord& m : messages) {
    if (m.messageId != 0 && m.text.empty()) {
      auto it = titleOf.find(m.messageId);
      if (it != titleOf.end()) m.text = *it->second;
    }
  }
}

}  // namespace

int WhatsAppExtractor::Run(const std::string& path, ChatMap& chats) {
  std::vector<Chat> chatRows;
  std::vector<Member> members;
  MessageRows messages;
  std::vector<MediaTitle> media;
  // Only the media query decides the result; the others fail silently with an empty list.
  (void)ReadTable(path, kChatsSql, chatRows, AddChat);
  (void)ReadTable(path, kMembersSql, members, AddMember);
  (void)ReadTable(path, kMessagesSql, messages, AddMessage);
  int code = ReadTable(path, kMediaSql, media, AddMediaTitle);

  Join(std::move(chatRows), members, media, messages.records);
  // Only messages with text are listed (group events, unnamed media drop out here).
  internal::MoveIntoDateGroups(
      messages, chats, [](const ChatRecord& m) { return m.chatId; },
      [](const ChatRecord& m) { return !m.text.empty(); });
  return code;
}

}  // namespace salvora

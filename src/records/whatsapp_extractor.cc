#include "records/whatsapp_extractor.h"

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
    rows.clear();
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

void AddMessage(ChatList& rows, const SqlRow& row) {
  ChatRecord m;
  m.chatId = row.Int(2);  // ZCHATSESSION
  if (m.chatId == 0) return;
  m.messageId = row.Int(0);  // Z_PK
  m.isFromMe = row.Int(1);   // ZISFROMME
  // ZMESSAGEDATE: seconds since 2001, integer or fractional; the integer part counts.
  m.date = LocalDateTextFromAppleSeconds(row.Raw(3));
  m.pushName = row.Text(4);  // ZPUSHNAME
  m.text = row.Text(5);      // ZTEXT
  rows.push_back(std::move(m));
}

void AddMediaTitle(std::vector<MediaTitle>& rows, const SqlRow& row) {
  MediaTitle media;
  media.messageId = row.Int(0);  // ZMESSAGE
  if (media.messageId == 0) return;
  media.title = row.Text(1);  // ZTITLE
  rows.push_back(std::move(media));
}

// The first member in list order whose JID contains `needle`, computed once per needle.
class MemberFinder {
 public:
  explicit MemberFinder(const std::vector<Member>& members) : members_(members) {}

  const Member* Find(const std::u16string& needle) {
    auto it = cache_.find(needle);
    if (it == cache_.end()) {
      int64_t found = -1;
      for (size_t i = 0; i < members_.size(); ++i) {
        if (Contains(members_[i].memberJid, needle)) {
          found = static_cast<int64_t>(i);
          break;
        }
      }
      it = cache_.emplace(needle, found).first;
    }
    return it->second < 0 ? nullptr : &members_[static_cast<size_t>(it->second)];
  }

 private:
  const std::vector<Member>& members_;
  std::unordered_map<std::u16string, int64_t> cache_;
};

}  // namespace

void WhatsAppExtractor::Join(std::vector<WhatsAppChat> chatRows,
                             const std::vector<WhatsAppMember>& members,
                             const std::vector<WhatsAppMediaTitle>& media, ChatList& messages) {
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
    m.senderName = chat.partnerName;
    m.chatName = chat.partnerName;
    m.memberJids = chat.memberJids.empty() ? chat.contactJid : chat.memberJids;
    m.memberNames = chat.memberNames.empty() ? chat.partnerName : chat.memberNames;
    const bool group = Contains(m.memberJids, u",");  // two or more member JIDs
    if (m.isFromMe != 0) {
      m.senderName = u"Me";
      m.pushName.clear();
    } else if (group && m.pushName.size() > 1) {
      // The push name of a number is "+" and its digits, which member JIDs hold without "+".
      if (const Member* member = finder.Find(m.pushName.substr(1))) {
        m.senderName = member->contactName;
      }
    }
  }

  // Media titles for messages without text, then only messages with text stay.
  std::unordered_map<int32_t, const std::u16string*> titleOf;
  for (const MediaTitle& item : media) titleOf.emplace(item.messageId, &item.title);
  size_t kept = 0;
  for (ChatRecord& m : messages) {
    if (m.messageId != 0 && m.text.empty()) {
      auto it = titleOf.find(m.messageId);
      if (it != titleOf.end()) m.text = *it->second;
    }
    if (m.text.empty()) continue;
    if (&messages[kept] != &m) messages[kept] = std::move(m);
    ++kept;
  }
  messages.resize(kept);
}

int WhatsAppExtractor::Run(const std::string& path, ChatMap& chats) {
  std::vector<Chat> chatRows;
  std::vector<Member> members;
  ChatList messages;
  std::vector<MediaTitle> media;
  // Only the media query decides the result; the others fail silently with an empty list.
  (void)ReadTable(path, kChatsSql, chatRows, AddChat);
  (void)ReadTable(path, kMembersSql, members, AddMember);
  (void)ReadTable(path, kMessagesSql, messages, AddMessage);
  int code = ReadTable(path, kMediaSql, media, AddMediaTitle);

  Join(std::move(chatRows), members, media, messages);
  internal::MoveIntoDateGroups(messages, chats, [](const ChatRecord& m) { return m.chatId; });
  return code;
}

}  // namespace salvora

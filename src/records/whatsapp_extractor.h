// The WhatsApp category: the messages of the app's ChatStorage.sqlite, joined in memory with
// their chat, the chat's group members and the media items, grouped by chat.
//
// Four queries, each on its own connection, columns by position:
//   chats     ZWACHATSESSION   0 Z_PK, 1 ZPARTNERNAME, 2 ZCONTACTJID
//   members   ZWAGROUPMEMBER   0 ZCHATSESSION, 1 ZCONTACTNAME, 2 ZMEMBERJID
//   messages  ZWAMESSAGE       0 Z_PK, 1 ZISFROMME, 2 ZCHATSESSION, 3 ZMESSAGEDATE (seconds
//                              since 2001, integer or fractional; shown in local time),
//                              4 ZPUSHNAME, 5 ZTEXT
//   media     ZWAMEDIAITEM     0 ZMESSAGE, 1 ZTITLE
// A chat, member or message row with chat 0, and a media row with message 0, is dropped.
//
// Join rules:
//   - A chat's member JIDs and names are comma-joined in member row order. Every member adds
//     its JID; after the first, a member adds its name only when it has one, so the two lists
//     need not line up (a nameless first member leaves a name list that starts with a comma).
//   - A message takes its chat's partner name as sender and chat name, the member JIDs (or
//     the chat's contact JID when there are none) and the member names (or the partner name).
//     A message whose chat is unknown stays as read.
//   - A chat is a group chat for a message when its member JIDs hold a comma. Own messages
//     are sent by "Me" and lose their push name; an incoming group message whose push name,
//     without its first character (the "+" of a number), occurs in a member JID anywhere in
//     the member list is sent by the first such member's contact name (a one-character push
//     name leaves nothing to search for and matches no member).
//   - A message without text takes the title of the first media item of the same message.
//     Messages still without text (group events, unnamed media) are not listed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/records.h"

namespace salvora {

class WhatsAppExtractor {
 public:
  static constexpr const char* kChatsSql =
      "SELECT Z_PK, ZPARTNERNAME, ZCONTACTJID FROM ZWACHATSESSION;";
  static constexpr const char* kMembersSql =
      "SELECT ZCHATSESSION, ZCONTACTNAME, ZMEMBERJID FROM ZWAGROUPMEMBER;";
  static constexpr const char* kMessagesSql =
      "SELECT Z_PK, ZISFROMME, ZCHATSESSION, ZMESSAGEDATE, ZPUSHNAME, ZTEXT FROM ZWAMESSAGE;";
  static constexpr const char* kMediaSql = "SELECT ZMESSAGE, ZTITLE FROM ZWAMEDIAITEM;";

  // One row of ZWACHATSESSION, with the member lists built from ZWAGROUPMEMBER.
  struct WhatsAppChat {
    int32_t chatId = 0;
    std::u16string contactJid;
    std::u16string partnerName;
    std::u16string memberNames;
    std::u16string memberJids;
  };
  // One row of ZWAGROUPMEMBER.
  struct WhatsAppMember {
    int32_t chatId = 0;
    std::u16string memberJid;
    std::u16string contactName;
  };
  // One row of ZWAMEDIAITEM.
  struct WhatsAppMediaTitle {
    int32_t messageId = 0;
    std::u16string title;
  };

  // `progress` is the engine's progress state; this job reports nothing itself.
  explicit WhatsAppExtractor(const ProgressState& progress = {}) : progress_(progress) {}

  // Reads the chat database at `path` (UTF-8) and appends every message with text to
  // `chats[chatId]` (the map is not cleared; each chat's messages are added in ascending date
  // order, equal dates in row order).
  // Returns the result of the media query alone: 0, SQLite's open code (an empty path fails to
  // open), or 1006. A failure of the chats or members query only leaves that list empty; a
  // failed messages query adds nothing.
  [[nodiscard]] int Run(const std::string& path, ChatMap& chats);

  [[nodiscard]] const ProgressState& progress() const { return progress_; }

 private:
  ProgressState progress_;
};

}  // namespace salvora

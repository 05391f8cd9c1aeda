// The WhatsApp category.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "records/whatsapp_extractor.h"
#include "records_test_env.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

using testing::TempDir;

constexpr double kT = 700000000;  // seconds since 2001

std::u16string Local(double appleSeconds) {
  return LocalDateText(static_cast<int64_t>(appleSeconds) + kAppleEpochOffset);
}

sample::WhatsAppData Store() {
  sample::WhatsAppData data;
  data.chats = {
      {1, "15550100001@s.whatsapp.net", "Ann", false},
      {2, "120363000000000002@g.us", "Friends", true},
      {3, "120363000000000003@g.us", "Others", true},
      {4, "120363000000000004@g.us", "Solo", true},
  };
  data.members = {
      {1, 2, "15550100002@s.whatsapp.net", "Bob"},
      {2, 3, "15550100005@s.whatsapp.net", std::nullopt},  // nameless first member
      {3, 2, "15550100003@s.whatsapp.net", std::nullopt},
      {4, 2, "15550100004@s.whatsapp.net", "Dee"},
      {5, 3, "15550100002@s.whatsapp.net", "Bobby"},
      {6, 4, "15550100006@s.whatsapp.net", "Fay"},  // one member: not a group
  };
  auto msg = [](int64_t pk, int64_t chat, bool mine, double date, sample::OptText push,
                sample::OptText text) {
    sample::WaMessage m;
    m.pk = pk;
    m.chat = chat;
    m.is_from_me = mine;
    m.date = date;
    m.push_name = std::move(push);
    m.text = std::move(text);
    return m;
  };
  data.messages = {
      // A group's messages interleaved with another chat's: every one keeps its text.
      msg(1, 2, false, kT + 1, "+15550100002", "first"),
      msg(2, 2, false, kT + 2, "~Zed", "second"),
      msg(3, 2, false, kT + 3, "X", "third"),
      msg(4, 1, false, kT + 4, "+15550100001", "hello"),
      msg(5, 2, true, kT + 5, "+15550100009", "fourth"),
      msg(6, 1, true, kT + 0.9, std::nullopt, "earliest"),   // fraction dropped
      msg(7, 1, false, kT + 6, std::nullopt, std::nullopt),  // media with a title
      msg(8, 1, false, kT + 7, std::nullopt, ""),            // media without a title
      msg(9, 1, false, kT + 8, std::nullopt, std::nullopt),  // no media: dropped
      msg(10, 3, false, kT + 9, "+15550100002", "other group"),
      msg(11, 4, false, kT + 10, "+15550100006", "solo"),
      msg(12, 9, true, kT + 11, "+1", "unknown chat"),
      msg(13, 0, false, kT + 12, std::nullopt, "no chat"),
  };
  data.media = {{1, 7, "photo.jpg"}, {2, 7, "second title"}, {3, 8, ""}};
  return data;
}

struct Expected {
  int32_t messageId;
  const char16_t* text;
  const char16_t* sender;
  const char16_t* pushName;
  const char16_t* memberNames;
  const char16_t* memberJids;
  const char16_t* chatName;
};

void ExpectChat(const ChatList& list, const std::vector<Expected>& expected) {
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const ChatRecord& m = list[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.messageId);
    EXPECT_EQ(m.messageId, e.messageId);
    EXPECT_EQ(m.text, e.text);
    EXPECT_EQ(m.senderName, e.sender);
    EXPECT_EQ(m.pushName, e.pushName);
    EXPECT_EQ(m.memberNames, e.memberNames);
    EXPECT_EQ(m.memberJids, e.memberJids);
    EXPECT_EQ(m.chatName, e.chatName);
    EXPECT_EQ(m.isDeleted, 0);
  }
}

TEST(WhatsAppExtractorTest, JoinsChatsMembersSendersAndMedia) {
  TempDir dir;
  ASSERT_EQ(sample::WriteWhatsAppDb(dir.File("ChatStorage.sqlite"), Store()), 0);
  ChatMap chats;
  ASSERT_EQ(WhatsAppExtractor().Run(dir.File("ChatStorage.sqlite"), chats), kOk);
  ASSERT_EQ(chats.size(), 5u);

  const char16_t* kAnnJid = u"15550100001@s.whatsapp.net";
  ExpectChat(chats[1], {
                           {6, u"earliest", u"Me", u"", u"Ann", kAnnJid, u"Ann"},
                           {4, u"hello", u"Ann", u"+15550100001", u"Ann", kAnnJid, u"Ann"},
                           {7, u"photo.jpg", u"Ann", u"", u"Ann", kAnnJid, u"Ann"},
                       });
  EXPECT_EQ(chats[1][0].date, Local(kT));
  EXPECT_EQ(chats[1][0].isFromMe, 1);
  EXPECT_EQ(chats[1][1].date, Local(kT + 4));

  const char16_t* kFriendsJids =
      u"15550100002@s.whatsapp.net,15550100003@s.whatsapp.net,15550100004@s.whatsapp.net";
  ExpectChat(chats[2],
             {
                 {1, u"first", u"Bob", u"+15550100002", u"Bob,Dee", kFriendsJids, u"Friends"},
                 {2, u"second", u"Friends", u"~Zed", u"Bob,Dee", kFriendsJids, u"Friends"},
                 // A one-character push name leaves nothing to look for.
                 {3, u"third", u"Friends", u"X", u"Bob,Dee", kFriendsJids, u"Friends"},
                 {5, u"fourth", u"Me", u"", u"Bob,Dee", kFriendsJids, u"Friends"},
             });
  // The sender is searched in every chat's members, in member row order.
  ExpectChat(chats[3], {{10, u"other group", u"Bob", u"+15550100002", u",Bobby",
                         u"15550100005@s.whatsapp.net,15550100002@s.whatsapp.net", u"Others"}});
  ExpectChat(chats[4], {{11, u"solo", u"Solo", u"+15550100006", u"Fay",
                         u"15550100006@s.whatsapp.net", u"Solo"}});
  // A message whose chat is unknown stays as read.
  ExpectChat(chats[9], {{12, u"unknown chat", u"", u"+1", u"", u"", u""}});
}

TEST(WhatsAppExtractorTest, ResultIsTheMediaQuerysAndMissingTablesAreSilent) {
  TempDir dir;
  const char* kMessages =
      "CREATE TABLE ZWAMESSAGE (Z_PK INTEGER PRIMARY KEY, ZISFROMME, ZCHATSESSION, "
      "ZMESSAGEDATE, ZPUSHNAME, ZTEXT);"
      "INSERT INTO ZWAMESSAGE VALUES (1, 0, 5, 700000000, '+1555', 'b'),"
      " (2, 1, 5, 600000000, NULL, 'a'), (3, 0, 6, NULL, NULL, 'c'), (4, 0, 5, 1, NULL, '');";
  // Without chats and members: grouped by chat with empty chat details, no "Me".
  testing::WriteRawDb(
      dir.File("no_chats.db"),
      (std::string(kMessages) + "CREATE TABLE ZWAMEDIAITEM (Z_PK, ZMESSAGE, ZTITLE);"
                                "INSERT INTO ZWAMEDIAITEM VALUES (1, 4, 'clip.mp4');")
          .c_str());
  ChatMap chats;
  EXPECT_EQ(WhatsAppExtractor().Run(dir.File("no_chats.db"), chats), kOk);
  ASSERT_EQ(chats.size(), 2u);
  ASSERT_EQ(chats[5].size(), 3u);
  EXPECT_EQ(chats[5][0].text, u"clip.mp4");  // date 1 s: the oldest
  EXPECT_EQ(chats[5][1].text, u"a");
  EXPECT_EQ(chats[5][1].senderName, u"");
  EXPECT_EQ(chats[5][2].pushName, u"+1555");
  EXPECT_EQ(chats[6][0].date, u"");

  // Without the media table: the messages are still listed, the code is 1006.
  testing::WriteRawDb(dir.File("no_media.db"), kMessages);
  ChatMap again;
  EXPECT_EQ(WhatsAppExtractor().Run(dir.File("no_media.db"), again), kSqlFailed);
  EXPECT_EQ(again[5].size(), 2u);

  // Without the messages table nothing is added, whatever the media query gives.
  testing::WriteRawDb(dir.File("media_only.db"),
                      "CREATE TABLE ZWAMEDIAITEM (Z_PK, ZMESSAGE, ZTITLE);");
  ChatMap none;
  EXPECT_EQ(WhatsAppExtractor().Run(dir.File("media_only.db"), none), kOk);
  EXPECT_TRUE(none.empty());

  // Appends to what the map holds.
  EXPECT_EQ(WhatsAppExtractor().Run(dir.File("no_chats.db"), chats), kOk);
  EXPECT_EQ(chats[5].size(), 6u);
}

TEST(WhatsAppExtractorTest, RealStore) {
  REQUIRE_FIXTURE(path, "ios15-josh/ChatStorage.sqlite");
  ChatMap chats;
  ASSERT_EQ(WhatsAppExtractor().Run(path, chats), kOk);
  // The four group chats hold only event messages without text; the one-to-one chat has 15
  // messages with text.
  ASSERT_EQ(chats.size(), 1u);
  const ChatList& list = chats[5];
  ASSERT_EQ(list.size(), 15u);
  EXPECT_EQ(list.front().messageId, 12);
  EXPECT_EQ(list.front().text, u"I\u2019m here!");
  EXPECT_EQ(list.front().senderName, u"Me");
  EXPECT_EQ(list.front().date, Local(704735807));
  EXPECT_EQ(list[1].messageId, 13);
  EXPECT_EQ(list[1].senderName, u"This Is DFIR Two");
  EXPECT_EQ(list.back().text, u"Done. It\u2019s gone. \U0001F600");
  for (const ChatRecord& m : list) {
    EXPECT_EQ(m.chatName, u"This Is DFIR Two");
    EXPECT_EQ(m.memberJids, u"19198887386@s.whatsapp.net");
    EXPECT_EQ(m.memberNames, u"This Is DFIR Two");
  }
  for (size_t i = 1; i < list.size(); ++i) EXPECT_LE(list[i - 1].date, list[i].date);
}

}  // namespace
}  // namespace salvora

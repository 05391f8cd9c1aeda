#include "core/conversation_rows.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace salvora {
namespace {

MessageRecord Message(int32_t handle, int32_t deleted, const char* date, const char* text) {
  MessageRecord m;
  m.isDeleted = deleted;
  m.handleId = handle;
  m.date = U(date);
  m.text = U(text);
  return m;
}

TEST(ConversationRowsTest, MessageRowsMarkDeletedAndSortDeletedFirst) {
  MessageMap map;
  map[3] = {Message(3, 0, "2015-01-01 00:00:00", "a"), Message(3, 0, "2015-01-02 00:00:00", "b")};
  map[5] = {Message(5, 1, "2015-01-01 00:00:00", "old deleted"),
            Message(5, 0, "2015-01-03 00:00:00", "newest")};
  map[7] = {};  // no records: no row
  map[8] = {Message(8, 0, "2015-01-01 00:00:00", "c")};
  map[9] = {Message(9, 0, "2015-01-01 00:00:00", "d"), Message(9, 2, "2015-01-05 00:00:00", "e")};

  MessageList rows = BuildConversationRows(map);
  ASSERT_EQ(rows.size(), 4u);
  // Deleted conversations first, each part in key order; each row is the newest message.
  EXPECT_EQ(rows[0].handleId, 5);
  EXPECT_EQ(rows[0].text, U("newest"));
  EXPECT_EQ(rows[0].isDeleted, 1);
  EXPECT_EQ(rows[1].handleId, 9);
  EXPECT_EQ(rows[1].isDeleted, 1);  // a non-zero mark becomes 1
  EXPECT_EQ(rows[2].handleId, 3);
  EXPECT_EQ(rows[2].text, U("b"));
  EXPECT_EQ(rows[2].isDeleted, 0);
  EXPECT_EQ(rows[3].handleId, 8);
  // The map itself is untouched.
  EXPECT_EQ(map[5][1].isDeleted, 0);
}

TEST(ConversationRowsTest, ChatRows) {
  ChatMap map;
  ChatRecord live;
  live.chatId = 1;
  live.text = U("x");
  ChatRecord gone = live;
  gone.chatId = 2;
  gone.isDeleted = 1;
  map[1] = {live};
  map[2] = {gone, live};
  ChatList rows = BuildConversationRows(map);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].isDeleted, 1);
  EXPECT_EQ(rows[0].chatId, 1);  // copy of the last record of conversation 2
  EXPECT_EQ(rows[1].isDeleted, 0);
}

TEST(ConversationRowsTest, CallsByDateDescendingThenDeletedFirst) {
  auto call = [](int32_t deleted, const char* date, const char* address) {
    CallRecord c;
    c.isDeleted = deleted;
    c.date = U(date);
    c.address = U(address);
    return c;
  };
  CallList calls = {call(0, "2015-01-02 03:04:05", "a"), call(1, "2015-01-01 00:00:00", "b"),
                    call(0, "2015-01-10 00:00:00", "c"), call(1, "2016-01-01 00:00:00", "d"),
                    call(0, "2015-01-10 00:00:00", "e")};
  SortCallsForList(calls);
  std::u16string order;
  for (const CallRecord& c : calls) order += c.address;
  // Dates compare as text: 2015-01-10 is newer than 2015-01-02; equal dates keep their order.
  EXPECT_EQ(order, U("dbcea"));
}

TEST(ConversationRowsTest, DeletedFirstIsStable) {
  NoteList notes(5);
  const int32_t marks[] = {0, 1, 0, 3, 0};
  for (size_t i = 0; i < notes.size(); ++i) {
    notes[i].isDeleted = marks[i];
    notes[i].title = std::u16string(1, static_cast<char16_t>(u'a' + i));
  }
  SortDeletedFirst(notes);
  std::u16string order;
  for (const NoteRecord& n : notes) order += n.title;
  EXPECT_EQ(order, U("bdace"));
}

}  // namespace
}  // namespace salvora

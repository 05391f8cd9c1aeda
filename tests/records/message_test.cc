// The messages category.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "records/message_extractor.h"
#include "records_test_env.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

using sample::SmsDate;
using testing::TempDir;

constexpr int64_t kT = 1600000000;  // 2020-09-13 12:26:40 UTC

// Three handles: a number that a contact knows, an e-mail address, an unknown number.
sample::MessagesData Messages() {
  sample::MessagesData data;
  data.handles = {{1, "+15550100001"}, {2, "ann@x.org", "iMessage"}, {3, "+15550100003"}};
  data.chats = {{1, "+15550100001", {}, false, {1}},
                {2, "ann@x.org", {}, false, {2}},
                {3, "group", std::string("Group"), true, {1, 3}}};
  auto msg = [](int64_t rowid, sample::OptText text, int64_t handle, std::optional<int64_t> date,
                std::vector<int64_t> chats, bool fromMe = false) {
    sample::SmsMessage m;
    m.rowid = rowid;
    m.text = std::move(text);
    m.handle_id = handle;
    m.date = date;
    m.chat_rowids = std::move(chats);
    m.is_from_me = fromMe;
    return m;
  };
  data.messages = {
      msg(10, "in seconds", 1, SmsDate(9, kT + 100), {1}),  // 9 digits
      msg(11, "in nanoseconds", 1, SmsDate(12, kT), {1}),   // 18 digits
      msg(12, std::nullopt, 1, SmsDate(12, kT), {1}),       // no text
      msg(13, "", 1, SmsDate(12, kT), {1}),                 // empty text
      msg(14, "no handle", 0, SmsDate(12, kT), {1}),        // handle id 0
      msg(15, "no chat", 2, SmsDate(12, kT), {}),           // in no chat
      msg(16, "mail", 2, SmsDate(12, kT + 5), {2}),
      msg(17, "twice", 3, SmsDate(12, kT + 7), {1, 3}),  // in two chats
      msg(18, "mine", 1, SmsDate(12, kT + 50), {1}, true),
      msg(19, "no date", 3, std::nullopt, {3}),
  };
  return data;
}

sample::AddressBookData People() {
  sample::AddressBookData book;
  book.people = {{1, "Ann", "Lee", {}, sample::PhoneSpellings("+15550100001"), {}, "ann@x.org"},
                 {2, "Nobody", {}, {}, std::string("+15550100002")}};
  return book;
}

std::vector<int32_t> RowIds(const MessageList& list) {
  std::vector<int32_t> ids;
  for (const MessageRecord& m : list) ids.push_back(m.rowId);
  return ids;
}

TEST(MessageExtractorTest, GroupsNamedMessagesByHandleInDateOrder) {
  struct Case {
    sample::AddressBookLayout layout;
    int code;
  };
  constexpr Case kCases[] = {{sample::AddressBookLayout::kC16Phone, kOk},
                             {sample::AddressBookLayout::kC15Phone, kSqlFailed}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.code);
    TempDir dir;
    ASSERT_EQ(sample::WriteMessagesDb(dir.File("sms.db"), 12, Messages()), 0);
    ASSERT_EQ(sample::WriteAddressBookDb(dir.File("ab.db"), 15, c.layout, People()), 0);

    MessageMap map;
    ASSERT_EQ(MessageExtractor(ProgressState{}).Run(dir.File("sms.db"), dir.File("ab.db"), map),
              c.code);
    ASSERT_EQ(map.size(), 3u);
    // The message stored in seconds is 100 s after the one stored in nanoseconds.
    EXPECT_EQ(RowIds(map[1]), (std::vector<int32_t>{11, 18, 10}));
    EXPECT_EQ(map[1][0].date, UtcDateText(kT));
    EXPECT_EQ(map[1][1].isFromMe, 1);
    EXPECT_EQ(map[1][2].date, UtcDateText(kT + 100));
    EXPECT_EQ(map[1][2].text, u"in seconds");
    for (const MessageRecord& m : map[1]) {
      EXPECT_EQ(m.address, u"+15550100001");
      EXPECT_EQ(m.contactName, u"Ann Lee");
      EXPECT_EQ(m.handleId, 1);
      EXPECT_EQ(m.isDeleted, 0);
    }
    // An e-mail handle is its own conversation; an e-mail never names anyone.
    EXPECT_EQ(RowIds(map[2]), (std::vector<int32_t>{16}));
    EXPECT_EQ(map[2][0].contactName, u"");
    // Listed once per chat; a NULL date sorts first with an empty date text.
    EXPECT_EQ(RowIds(map[3]), (std::vector<int32_t>{19, 17, 17}));
    EXPECT_EQ(map[3][0].date, u"");
    EXPECT_EQ(map[3][1].contactName, u"");
  }
}

TEST(MessageExtractorTest, RawDateLengthPicksTheUnit) {
  TempDir dir;
  // Fractional raw values reach the 14/15-character boundary with valid second counts.
  testing::WriteRawDb(dir.File("sms.db"),
                      "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);"
                      "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, is_from_me "
                      "INTEGER, date, handle_id INTEGER);"
                      "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
                      "INSERT INTO handle VALUES (1, '+15550100001');"
                      "INSERT INTO message VALUES (1, 'fourteen', 0, 123456789.1234, 1),"
                      " (2, 'fifteen', 0, 123456789.12345, 1), (3, 'zero', 0, 0, 1),"
                      " (4, 'real flag', '1.9', 999999999, 1);"
                      "INSERT INTO chat_message_join VALUES (1, 1), (1, 2), (1, 3), (1, 4);");
  MessageMap map;
  EXPECT_EQ(MessageExtractor(ProgressState{}).Run(dir.File("sms.db"), dir.File("none"), map),
            SQLITE_CANTOPEN);  // no address book: still grouped, without names
  ASSERT_EQ(map[1].size(), 4u);
  struct Case {
    int32_t rowId;
    const char16_t* date;
  };
  constexpr Case kCases[] = {
      {1, u"2004-11-29 21:33:09"},  // 14 characters: seconds
      {2, u"2001-01-01 00:00:00"},  // 15 characters: nanoseconds
      {3, u"2001-01-01 00:00:00"},  // 0: the start of Apple's clock, UTC
      {4, u"2032-09-09 01:46:39"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.rowId);
    bool found = false;
    for (const MessageRecord& m : map[1]) {
      if (m.rowId != c.rowId) continue;
      found = true;
      EXPECT_EQ(m.date, c.date);
      if (c.rowId == 4) {
        EXPECT_EQ(m.isFromMe, 1);  // integer rule on "1.9"
      }
    }
    EXPECT_TRUE(found);
  }
}

struct Reports {
  std::vector<int> seen;
  std::vector<int> answers;  // answer of each call; 0 when the list runs out
  static int Callback(void* self, int percent) {
    auto* r = static_cast<Reports*>(self);
    size_t i = r->seen.size();
    r->seen.push_back(percent);
    return i < r->answers.size() ? r->answers[i] : 0;
  }
};

TEST(MessageExtractorTest, ReportsProgressAndStops) {
  TempDir dir;
  ASSERT_EQ(sample::WriteMessagesDb(dir.File("sms.db"), 12, Messages()), 0);
  ASSERT_EQ(sample::WriteAddressBookDb(dir.File("ab.db"), 15, sample::AddressBookLayout::kC16Phone,
                                       People()),
            0);
  struct Case {
    std::vector<int> answers;
    std::vector<int> seen;
    int code;
    size_t conversations;
  };
  const Case kCases[] = {
      {{}, {22, 22, 30}, kOk, 3},
      {{2, 2}, {22, 30}, kStopped, 0},  // stop at the first report: nothing added
      {{2, 0}, {22, 30}, kStopped, 0},  // the stop comes back even if the last answer is 0
      {{0, 0, 2}, {22, 22, 30}, kStopped, 3},
      {{0, -1}, {22, 22, 30}, kStoppedSilently, 3},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.code);
    Reports reports{{}, c.answers};
    ProgressState progress{&Reports::Callback, &reports, 20, 10};
    MessageMap map;
    EXPECT_EQ(MessageExtractor(progress).Run(dir.File("sms.db"), dir.File("ab.db"), map), c.code);
    EXPECT_EQ(reports.seen, c.seen);
    EXPECT_EQ(map.size(), c.conversations);
  }
  // A failed query with a callback: the failure comes back, and the final report is made.
  Reports reports;
  MessageMap map;
  EXPECT_EQ(MessageExtractor({&Reports::Callback, &reports, 20, 10})
                .Run(dir.File("ab.db"), dir.File("ab.db"), map),
            kSqlFailed);
  EXPECT_EQ(reports.seen, (std::vector<int>{30}));
}

TEST(MessageExtractorTest, RunningTwiceAppendsEveryMessageTwice) {
  TempDir dir;
  ASSERT_EQ(sample::WriteMessagesDb(dir.File("sms.db"), 12, Messages()), 0);
  MessageMap map;
  for (int i = 0; i < 2; ++i) {
    (void)MessageExtractor(ProgressState{}).Run(dir.File("sms.db"), dir.File("ab.db"), map);
  }
  EXPECT_EQ(RowIds(map[1]), (std::vector<int32_t>{11, 18, 10, 11, 18, 10}));
}

TEST(MessageExtractorTest, RealSmsDatabases) {
  {
    REQUIRE_FIXTURE(path, "ios12-sms/sms.db");
    MessageMap map;
    ASSERT_EQ(MessageExtractor(ProgressState{}).Run(path, "", map), SQLITE_CANTOPEN);
    size_t total = 0;
    std::set<int32_t> rows;
    for (const auto& [handle, list] : map) {
      total += list.size();
      for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].handleId, handle);
        EXPECT_EQ(list[i].date.size(), 19u);
        if (i > 0) {
          EXPECT_LE(list[i - 1].date, list[i].date);
        }
        rows.insert(list[i].rowId);
      }
    }
    EXPECT_EQ(total, 105u);
    EXPECT_EQ(rows.size(), 105u);
    EXPECT_EQ(map.size(), 7u);
    // Nanosecond dates in UTC: message 26 was received 2020-01-01 18:17:26 UTC.
    ASSERT_EQ(map.count(10), 1u);
    ASSERT_FALSE(map[10].empty());
    EXPECT_EQ(map[10].front().rowId, 26);
    EXPECT_EQ(map[10].front().date, u"2020-01-01 18:17:26");
    EXPECT_EQ(map[10].front().address, u"+12092664939");
  }
  {
    REQUIRE_FIXTURE(path, "ios5-sms/sms.db");
    MessageMap map;
    EXPECT_EQ(MessageExtractor(ProgressState{}).Run(path, "", map), kSqlFailed);
    EXPECT_TRUE(map.empty());
  }
}

}  // namespace
}  // namespace salvora

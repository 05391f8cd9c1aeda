// The call-history category.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "records/call_history_extractor.h"
#include "records_test_env.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

using testing::TempDir;

constexpr int64_t kT = 1650000000;

sample::CallHistoryData Calls() {
  auto call = [](int64_t rowid, sample::OptText address, int64_t when, double duration,
                 bool answered) {
    sample::Call c;
    c.rowid = rowid;
    c.address = std::move(address);
    c.unix_date = when;
    c.duration = duration;
    c.answered = answered;
    return c;
  };
  sample::CallHistoryData data;
  data.calls = {
      call(1, "+15550100001", kT + 30, 12.7, true),
      call(2, std::nullopt, kT + 40, 1, true),  // no address: not listed
      call(3, "", kT + 50, 1, true),
      call(4, "5555", kT + 10, 0, false),   // 4 characters: never named
      call(5, "55501", kT + 20, 30, true),  // 5 characters: first contact containing it
      call(6, "+15550100002", kT, 0, true),
  };
  return data;
}

sample::AddressBookData People() {
  sample::AddressBookData book;
  book.people = {{1, "Ann", "Lee", {}, sample::PhoneSpellings("+15550100001")},
                 {2, "Bob", {}, {}, std::string("+15550100002")}};
  return book;
}

TEST(CallHistoryExtractorTest, ListsCallsOldestFirstWithNames) {
  for (int generation : {9, 12, 17}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    ASSERT_EQ(sample::WriteCallHistoryDb(dir.File("calls.db"), generation,
                                         sample::CallStore::kCurrent, Calls()),
              0);
    ASSERT_EQ(sample::WriteAddressBookDb(dir.File("ab.db"), 15,
                                         sample::AddressBookLayout::kC16Phone, People()),
              0);
    CallList calls(2);  // replaced
    ASSERT_EQ(CallHistoryExtractor().Run(dir.File("calls.db"), dir.File("ab.db"), calls), kOk);
    struct Expected {
      const char16_t* address;
      int64_t when;
      int32_t duration;
      int32_t answered;
      const char16_t* name;
    };
    const Expected kExpected[] = {
        {u"+15550100002", kT, 0, 1, u"Bob"},
        {u"5555", kT + 10, 0, 0, u""},
        {u"55501", kT + 20, 30, 1, u"Ann Lee"},
        {u"+15550100001", kT + 30, 12, 1, u"Ann Lee"},  // 12.7 s reads as 12
    };
    ASSERT_EQ(calls.size(), std::size(kExpected));
    for (size_t i = 0; i < calls.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(calls[i].address, kExpected[i].address);
      EXPECT_EQ(calls[i].date, UtcDateText(kExpected[i].when));
      EXPECT_EQ(calls[i].duration, kExpected[i].duration);
      EXPECT_EQ(calls[i].answered, kExpected[i].answered);
      EXPECT_EQ(calls[i].contactName, kExpected[i].name);
      EXPECT_EQ(calls[i].isDeleted, 0);
    }
  }
}

TEST(CallHistoryExtractorTest, FailuresAndTheOlderStore) {
  TempDir dir;
  ASSERT_EQ(
      sample::WriteCallHistoryDb(dir.File("calls.db"), 12, sample::CallStore::kCurrent, Calls()),
      0);
  ASSERT_EQ(sample::WriteCallHistoryDb(dir.File("old.db"), 9, sample::CallStore::kOlder, Calls()),
            0);
  ASSERT_EQ(sample::WriteAddressBookDb(dir.File("ab9.db"), 9, sample::AddressBookLayout::kC15Phone,
                                       People()),
            0);
  {
    // Address book missing: calls without names, the open code.
    CallList calls;
    EXPECT_EQ(CallHistoryExtractor().Run(dir.File("calls.db"), dir.File("none"), calls),
              SQLITE_CANTOPEN);
    ASSERT_EQ(calls.size(), 4u);
    for (const CallRecord& c : calls) EXPECT_EQ(c.contactName, u"");
  }
  {
    // Second address-book layout: named, code 1006.
    CallList calls;
    EXPECT_EQ(CallHistoryExtractor().Run(dir.File("calls.db"), dir.File("ab9.db"), calls),
              kSqlFailed);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].contactName, u"Bob");
  }
  {
    // The older call_history.db has no ZCALLRECORD: no calls, and that is no failure.
    CallList calls(1);
    EXPECT_EQ(CallHistoryExtractor().Run(dir.File("old.db"), dir.File("ab9.db"), calls),
              kSqlFailed);  // from the address book's layout only
    EXPECT_TRUE(calls.empty());
  }
  {
    // A failed open keeps the caller's calls and names, only re-sorted.
    CallList calls(2);
    calls[0].date = u"2020-01-01 00:00:00";
    calls[0].contactName = u"kept";
    calls[1].date = u"2001-01-01 00:00:00";
    EXPECT_EQ(CallHistoryExtractor().Run(dir.File("none"), dir.File("ab9.db"), calls),
              SQLITE_CANTOPEN);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].contactName, u"kept");
  }
}

TEST(CallHistoryExtractorTest, RealOlderStoreHasNoCalls) {
  REQUIRE_FIXTURE(path, "ios4-tracy/call_history.db");
  CallList calls;
  const std::string book = testing::FixtureFile("ios4-tracy/AddressBook.sqlitedb");
  EXPECT_EQ(CallHistoryExtractor().Run(path, book, calls),
            book.empty() ? SQLITE_CANTOPEN : kSqlFailed);
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace salvora

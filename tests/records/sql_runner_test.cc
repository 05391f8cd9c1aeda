// The conventions every extractor shares: column conversion, the read-only connection, and
// what happens with files that are not usable databases.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "records/call_history_extractor.h"
#include "records/contact_extractor.h"
#include "records/message_extractor.h"
#include "records/note_extractor.h"
#include "records/sql_row.h"
#include "records/sqlite_db.h"
#include "records/whatsapp_extractor.h"
#include "records_test_env.h"

namespace salvora {
namespace {

using testing::TempDir;
using testing::WriteBytes;
using testing::WriteRawDb;

TEST(SqlRowTest, ConvertsColumnsByTheTextAndIntegerRules) {
  char text[] = "J\xC3\xBCrgen \xFF";
  char real[] = "12.9";
  char word[] = "abc";
  char negative[] = " -7x";
  char* values[] = {text, nullptr, real, word, negative};
  SqlRow row(5, values);

  EXPECT_EQ(row.Text(0), u"J\u00FCrgen \uFFFD");
  EXPECT_EQ(row.Text(1), u"");  // NULL
  EXPECT_TRUE(row.IsNull(1));
  struct Case {
    int column;
    int32_t value;
  };
  constexpr Case kInts[] = {{1, 0}, {2, 12}, {3, 0}, {4, -7}, {0, 0}};
  for (const Case& c : kInts) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(row.Int(c.column), c.value);
  }
  EXPECT_EQ(row.Length(2), 4u);
  // A position beyond the row reads as NULL instead of past SQLite's array.
  EXPECT_TRUE(row.IsNull(5));
  EXPECT_TRUE(row.IsNull(-1));
  EXPECT_EQ(row.Int(9), 0);
  EXPECT_EQ(SqlRow(3, nullptr).Raw(0), nullptr);
}

// Every extractor's date text goes through the core formatter; its digit fast path must give
// what the formatted print gives, and fall back outside the widths.
TEST(DateTextTest, FormatterMatchesThePrintfLayout) {
  struct Case {
    int year, mon, mday, hour, min, sec;
  };
  constexpr Case kCases[] = {
      {2001, 0, 1, 0, 0, 0},   {2023, 11, 31, 23, 59, 60}, {0, 0, 1, 0, 0, 0},
      {9999, 11, 31, 1, 2, 3}, {10000, 0, 1, 0, 0, 0},     {-5, 0, 1, 0, 0, 0},
      {1969, 5, 7, 8, 9, 10},  {2020, 0, 1, -1, 0, 0},     {2020, 99, 1, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    std::tm t{};
    t.tm_year = c.year - 1900;
    t.tm_mon = c.mon;
    t.tm_mday = c.mday;
    t.tm_hour = c.hour;
    t.tm_min = c.min;
    t.tm_sec = c.sec;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.mon + 1,
                  c.mday, c.hour, c.min, c.sec);
    SCOPED_TRACE(expected);
    EXPECT_EQ(FormatDateText8(t), expected);
    EXPECT_EQ(FormatDateText(t), Utf8ToUtf16(expected));
  }
  EXPECT_EQ(UtcDateText(0), u"1970-01-01 00:00:00");
}

TEST(SqliteDbTest, ReadsWithoutWritingAnythingBesideTheDatabase) {
  TempDir dir;
  const std::string path = dir.File("odd name #1?.db");
  WriteRawDb(path,
             "PRAGMA journal_mode=WAL; CREATE TABLE t (a, b); INSERT INTO t VALUES (1, 'x');");
  // A WAL database that nobody checkpointed keeps its -wal and -shm files while open; after a
  // clean close only the database is left. Reading must not bring any back.
  auto before = testing::Listing(dir.path());
  ASSERT_EQ(before.size(), 1u);
  ::chmod(path.c_str(), 0444);

  SqliteDb db;
  ASSERT_EQ(db.OpenReadOnly(path), SQLITE_OK);
  int rows = 0;
  EXPECT_EQ(db.ForEachRow("SELECT a, b FROM t;", [&rows](int, char**) { ++rows; }), SQLITE_OK);
  EXPECT_EQ(rows, 1);
  std::vector<std::string> columns;
  EXPECT_EQ(db.TableColumns("t", columns), SQLITE_OK);
  EXPECT_EQ(columns, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(db.TableColumns("no'such", columns), SQLITE_OK);
  EXPECT_TRUE(columns.empty());
  std::string error;
  EXPECT_NE(db.Exec("INSERT INTO t VALUES (2, 'y');", nullptr, nullptr, &error), SQLITE_OK);
  EXPECT_FALSE(error.empty());
  EXPECT_NE(db.Exec("SELECT nothing FROM t;", nullptr, nullptr), SQLITE_OK);
  db.Close();
  EXPECT_EQ(testing::Listing(dir.path()), before);
}

// Runs every extractor on `path` (also as the address book) and expects a failure code and no
// record in any output, whatever the output held before for the operations that append.
void ExpectEveryExtractorFails(const std::string& path) {
  MessageMap conversations;
  EXPECT_NE(MessageExtractor(ProgressState{}).Run(path, path, conversations), kOk);
  EXPECT_TRUE(conversations.empty());

  ContactList contacts;
  EXPECT_NE(ContactExtractor().Run(path, contacts), kOk);
  EXPECT_TRUE(contacts.empty());

  CallList calls;
  EXPECT_NE(CallHistoryExtractor().Run(path, path, calls), kOk);
  EXPECT_TRUE(calls.empty());

  NoteList notes;
  NoteExtractor noteJob;
  EXPECT_NE(noteJob.RunOlderStore(path, notes), kOk);
  EXPECT_NE(noteJob.RunNewerStore(path, notes), kOk);
  EXPECT_TRUE(notes.empty());

  ChatMap chats;
  EXPECT_NE(WhatsAppExtractor().Run(path, chats), kOk);
  EXPECT_TRUE(chats.empty());
}

TEST(ExtractorFailureTest, UnusableFilesGiveAFailureCodeAndNoRecords) {
  TempDir dir;
  WriteRawDb(dir.File("real.db"),
             "CREATE TABLE ZWAMESSAGE (Z_PK, ZISFROMME, ZCHATSESSION, ZMESSAGEDATE, ZPUSHNAME, "
             "ZTEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
             "2000) INSERT INTO ZWAMESSAGE SELECT i, 0, 1, i, 'p', hex(randomblob(40)) FROM n;");
  std::string real;
  {
    std::ifstream in(dir.File("real.db"), std::ios::binary);
    real.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_GT(real.size(), 16384u);
  // A copy whose header promises more pages than the file holds, and one whose b-tree pages
  // past the header page were overwritten.
  WriteBytes(dir.File("truncated.db"), real.substr(0, 6000));
  std::string garbled = real;
  for (size_t i = 4096; i < garbled.size(); ++i) garbled[i] = static_cast<char>(i * 7);
  WriteBytes(dir.File("garbled.db"), garbled);
  WriteBytes(dir.File("zeros.db"), std::string(8192, '\0'));
  WriteBytes(dir.File("text.db"), "This is not a database at all.\n");
  WriteBytes(dir.File("empty.db"), "");
  std::filesystem::create_directory(dir.path() / "folder.db");
  const auto before = testing::Listing(dir.path());

  const std::string kPaths[] = {
      dir.File("missing.db"), "",
      dir.File("folder.db"),  dir.File("text.db"),
      dir.File("zeros.db"),   dir.File("truncated.db"),
      dir.File("garbled.db"), dir.File("empty.db"),
  };
  for (const std::string& path : kPaths) {
    SCOPED_TRACE(path.empty() ? "(empty path)" : path);
    ExpectEveryExtractorFails(path);
  }
  EXPECT_EQ(testing::Listing(dir.path()), before);
}

TEST(ExtractorFailureTest, FailedOpenLeavesTheCallersListsAlone) {
  ContactList contacts(1);
  contacts[0].name = u"kept";
  EXPECT_EQ(ContactExtractor().Run("/nonexistent/AddressBook.sqlitedb", contacts), SQLITE_CANTOPEN);
  ASSERT_EQ(contacts.size(), 1u);

  NoteList notes(2);
  notes[0].date = u"2001-01-01 00:00:00";
  notes[1].date = u"2020-01-01 00:00:00";
  NoteExtractor job;
  EXPECT_EQ(job.RunOlderStore("/nonexistent/notes.sqlite", notes), SQLITE_CANTOPEN);
  EXPECT_EQ(notes[0].date, u"2001-01-01 00:00:00");
  // The newer store's operation sorts what the list holds even when its open fails.
  EXPECT_EQ(job.RunNewerStore("/nonexistent/NoteStore.sqlite", notes), SQLITE_CANTOPEN);
  EXPECT_EQ(notes[0].date, u"2020-01-01 00:00:00");
}

}  // namespace
}  // namespace salvora

// The notes category: both stores and the text conversion.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "records/note_extractor.h"
#include "records_test_env.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

using testing::TempDir;

TEST(NoteExtractorTest, ConvertsMarkupInOrderAndOnlyTheListedForms) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  constexpr Case kCases[] = {
      {u"<div>Hello</div><div>World</div>", u"\nHello\nWorld"},
      {u"&amp;lt;", u"&lt;"},  // twice escaped keeps one level
      {u"Tom &amp; Jerry", u"Tom & Jerry"},
      {u"it&#39;s &quot;q&quot; a&nbsp;b &lt;i&gt;", u"it's \"q\" a b <i>"},
      {u"a<br>b<BR>c<b>d</b>", u"a\nb<BR>c<b>d</b>"},  // capital or other tags stay
      {u"&AMP; &Lt; &#039;", u"&AMP; &Lt; &#039;"},    // case-sensitive, exact forms only
      {u"&amp;amp;", u"&amp;"},
      {u"", u""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(Utf16ToUtf8(c.in));
    std::u16string text = c.in;
    NoteExtractor::ConvertMarkup(text);
    EXPECT_EQ(text, c.out);
  }
}

sample::NotesData Notes() {
  sample::NotesData data;
  auto note = [](int64_t rowid, sample::OptText title, sample::OptText body,
                 std::optional<double> created) {
    sample::Note n;
    n.rowid = rowid;
    n.title = std::move(title);
    n.body = body;
    n.snippet = std::move(body);
    n.created = created;
    return n;
  };
  data.notes = {
      note(1, "Tom &amp; Jerry", "<div>Hello</div><div>World</div>", 600000000.75),
      note(2, "Empty body", std::nullopt, 700000000),
      note(3, std::nullopt, std::nullopt, 650000000),  // neither title nor body: not a note
      note(4, std::nullopt, "body only", 500000000),
      note(5, "No date", "x", std::nullopt),
  };
  return data;
}

TEST(NoteExtractorTest, OlderStoreGivesConvertedNotesNewestFirstInLocalTime) {
  for (int generation : {7, 9}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    const std::string path = dir.File("notes.sqlite");
    ASSERT_EQ(sample::WriteNotesDb(path, generation, sample::NoteStore::kOlder, Notes()), 0);
    NoteList notes(3);  // replaced
    ASSERT_EQ(NoteExtractor().RunOlderStore(path, notes), kOk);
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].title, u"Empty body");
    EXPECT_EQ(notes[0].content, u"");
    EXPECT_EQ(notes[0].date, LocalDateText(700000000 + kAppleEpochOffset));
    EXPECT_EQ(notes[1].title, u"Tom & Jerry");
    EXPECT_EQ(notes[1].content, u"\nHello\nWorld");
    EXPECT_EQ(notes[1].date, LocalDateText(600000000 + kAppleEpochOffset));  // fraction dropped
    EXPECT_EQ(notes[2].content, u"body only");
    EXPECT_EQ(notes[3].title, u"No date");
    EXPECT_EQ(notes[3].date, u"");
  }
}

TEST(NoteExtractorTest, NewerStoreFindsTheCreationDateOfEachGeneration) {
  // iOS 9 fills ZCREATIONDATE, iOS 12 ZCREATIONDATE1, iOS 15 and 17 ZCREATIONDATE3.
  for (int generation : {9, 12, 15, 17}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    const std::string path = dir.File("NoteStore.sqlite");
    ASSERT_EQ(sample::WriteNotesDb(path, generation, sample::NoteStore::kNewer, Notes()), 0);
    NoteList notes;
    ASSERT_EQ(NoteExtractor().RunNewerStore(path, notes), kOk);
    // The account and folder rows have no title or snippet and drop out.
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].title, u"Empty body");
    EXPECT_EQ(notes[0].date, UtcDateText(700000000 + kAppleEpochOffset));
    EXPECT_EQ(notes[1].title, u"Tom & Jerry");
    EXPECT_EQ(notes[1].content, u"\nHello\nWorld");
    EXPECT_EQ(notes[1].date, UtcDateText(600000000 + kAppleEpochOffset));
    EXPECT_EQ(notes[3].date, u"");
  }
}

TEST(NoteExtractorTest, NewerStoreQueryFollowsTheTablesColumns) {
  struct Case {
    std::vector<std::string> columns;
    const char* date;  // expected date expression; nullptr: the original text
  };
  const Case kCases[] = {
      {{"Z_PK", "ZTITLE1", "ZSNIPPET", "ZCREATIONDATE"}, "datetime(ZCREATIONDATE +"},
      {{"ZCREATIONDATE", "ZCREATIONDATE1", "ZCREATIONDATE2", "zcreationdate3"},
       "datetime(COALESCE(ZCREATIONDATE3, ZCREATIONDATE2, ZCREATIONDATE1, ZCREATIONDATE) +"},
      {{"ZCREATIONDATE1", "ZCREATIONDATE"}, "datetime(COALESCE(ZCREATIONDATE1, ZCREATIONDATE) +"},
      {{"ZTITLE1"}, nullptr},
      {{}, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.columns.size());
    std::string sql = NoteExtractor::NewerStoreSql(c.columns);
    if (c.date == nullptr) {
      EXPECT_EQ(sql, NoteExtractor::kNewerStoreSql);
    } else {
      EXPECT_NE(sql.find(c.date), std::string::npos) << sql;
    }
  }
}

TEST(NoteExtractorTest, FailedNewerStoreLeavesTheListSortedAndTheOlderStoreFailsAsSuch) {
  TempDir dir;
  const std::string older = dir.File("notes.sqlite");
  ASSERT_EQ(sample::WriteNotesDb(older, 9, sample::NoteStore::kOlder, Notes()), 0);
  NoteList notes(2);
  notes[0].date = u"2001-01-01 00:00:00";
  notes[1].date = u"2020-01-01 00:00:00";
  NoteExtractor job;
  // An older store handed to the newer store's operation: no ZICCLOUDSYNCINGOBJECT.
  EXPECT_EQ(job.RunNewerStore(older, notes), kSqlFailed);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].date, u"2020-01-01 00:00:00");
  EXPECT_EQ(job.RunOlderStore(dir.File("none"), notes), SQLITE_CANTOPEN);
  testing::WriteRawDb(dir.File("other.db"), "CREATE TABLE ZNOTE (Z_PK);");
  EXPECT_EQ(job.RunOlderStore(dir.File("other.db"), notes), kSqlFailed);
  EXPECT_EQ(notes.size(), 2u);
}

TEST(NoteExtractorTest, RealNewerStore) {
  REQUIRE_FIXTURE(path, "ios15-notes/NoteStore.sqlite");
  NoteList notes;
  ASSERT_EQ(NoteExtractor().RunNewerStore(path, notes), kOk);
  // Eight notes, one of which (a locked note) has neither title nor snippet.
  ASSERT_EQ(notes.size(), 7u);
  EXPECT_EQ(notes[0].title, u"Secure iOS 15 Note");
  EXPECT_EQ(notes[0].content, u"");
  EXPECT_EQ(notes[0].date, u"2023-05-10 00:59:13");
  EXPECT_EQ(notes[1].title, u"iOS 15 Note");
  EXPECT_EQ(notes[1].content, u"Here is the test iOS 15 note.");
  EXPECT_EQ(notes[1].date, u"2023-05-10 00:56:26");
  EXPECT_EQ(notes.back().title, u"My First Note");
  EXPECT_EQ(notes.back().content, u"This is my first note. Nothing special.");
  for (size_t i = 1; i < notes.size(); ++i) EXPECT_GE(notes[i - 1].date, notes[i].date);
}

}  // namespace
}  // namespace salvora

#include "core/statistics_label.h"

#include <gtest/gtest.h>

#include "core/result_codes.h"
#include "core/shown_percent.h"
#include "core/text.h"

namespace salvora {
namespace {

constexpr char16_t kFormat[] = u"You select %s in %d item(s) of %s in %d item(s)";

TEST(StatisticsLabelTest, LabelBeforeAndAfterAScan) {
  CStatisticsObj s;
  EXPECT_EQ(Utf16ToUtf8(FormatStatisticsLabel(kFormat, s)),
            "You select 0 MB in 0 item(s) of 0 MB in 0 item(s)");

  FileList empty;
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, empty), kOk);
  EXPECT_EQ(Utf16ToUtf8(FormatStatisticsLabel(kFormat, s)),
            "You select 0 Bytes in 0 item(s) of 0 Bytes in 0 item(s)");

  FileList files = {{3u << 20, U("a"), {}}, {1024, U("b"), {}}};
  NoteList notes(2);
  notes[0].isDeleted = 1;
  ASSERT_EQ(s.AddCategory(CategoryId::PhotoStream, files), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::Notes, notes), kOk);
  EXPECT_EQ(Utf16ToUtf8(FormatStatisticsLabel(kFormat, s)),
            "You select 3.00 MB in 4 item(s) of 3.00 MB in 4 item(s)");

  // A hidden selected row counts neither in the items nor in the bytes.
  ASSERT_TRUE(s.Hide(s.KeyOf(&notes[1])));
  ASSERT_TRUE(s.Deselect(s.KeyOf(&files[0])));
  EXPECT_EQ(Utf16ToUtf8(FormatStatisticsLabel(kFormat, s)),
            "You select 2.00 KB in 2 item(s) of 3.00 MB in 4 item(s)");
}

TEST(StatisticsLabelTest, RecoverButton) {
  NoteList notes(1);
  CStatisticsObj s;
  EXPECT_FALSE(IsRecoverEnabled(true, s));  // nothing scanned
  ASSERT_EQ(s.AddCategory(CategoryId::Notes, notes), kOk);
  StatKey note = s.KeyOf(&notes[0]);
  EXPECT_TRUE(IsRecoverEnabled(true, s));
  EXPECT_FALSE(IsRecoverEnabled(false, s));  // still scanning, not paused
  ASSERT_TRUE(s.Hide(note));
  EXPECT_FALSE(IsRecoverEnabled(true, s));  // the only selection is hidden
  ASSERT_TRUE(s.Show(note));
  ASSERT_TRUE(s.Deselect(note));
  EXPECT_FALSE(IsRecoverEnabled(true, s));  // nothing selected after the scan
}

TEST(ShownPercentTest, Sequences) {
  struct Case {
    const char* what;
    std::vector<int> reports;
    std::vector<int> shown;  // after each report
    int firstSteps;
  } cases[] = {
      {"plain backup plan", {0, 1, 1, 23, 12, 34, 98}, {0, 2, 2, 23, 23, 34, 98}, 1},
      {"0 and 1 never lower", {5, 0, 1, 2}, {5, 5, 5, 5}, 0},
      {"below 2 shown as 2", {1, 2, 3}, {2, 2, 3}, 1},
      {"never above 99", {50, 100, 140, 99}, {50, 99, 99, 99}, 0},
      {"negative ignored", {-4, 1}, {0, 2}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int shown = kShownPercentAtStart;
    int firstSteps = 0;
    for (size_t i = 0; i < c.reports.size(); ++i) {
      ShownPercentStep step = NextShownPercent(shown, c.reports[i]);
      EXPECT_EQ(step.raised, c.reports[i] > shown) << i;
      firstSteps += step.firstStep;
      shown = step.shown;
      EXPECT_EQ(shown, c.shown[i]) << i;
    }
    EXPECT_EQ(firstSteps, c.firstSteps);
  }
}

}  // namespace
}  // namespace salvora

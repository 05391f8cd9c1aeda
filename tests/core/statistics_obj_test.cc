#include "core/statistics_obj.h"

#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "core/result_codes.h"
#include "core/text.h"

namespace salvora {
namespace {

FileList Files(std::initializer_list<uint32_t> sizes) {
  FileList list;
  for (uint32_t s : sizes) list.push_back({s, U("f"), {}});
  return list;
}

AppFileList AppFiles(const char* app, std::initializer_list<uint32_t> sizes) {
  AppFileList list;
  for (uint32_t s : sizes) list.push_back({s, U(app), U("a.jpg"), {}});
  return list;
}

NoteList Notes(std::initializer_list<int32_t> deletedMarks) {
  NoteList notes;
  for (int32_t d : deletedMarks) notes.push_back({d, U("2015-01-01 00:00:00"), U("t"), {}});
  return notes;
}

// Every node's counts must equal what its records say, and the root's the sum.
void ExpectConsistent(const CStatisticsObj& s) {
  uint64_t selectedBytes = 0;
  std::vector<StatNode> expect(s.NodeCount());
  for (StatKey k = 0; k < s.EntryCount(); ++k) {
    StatEntry e = s.Entry(k);
    if (e.group) continue;
    if (e.selected && !e.hidden) selectedBytes += e.size;
    for (int32_t n = static_cast<int32_t>(e.node); n >= 0; n = s.Node(n).parent) {
      expect[n].total++;
      expect[n].selected += e.selected;
      expect[n].hidden += e.hidden;
      expect[n].hiddenSelected += e.selected && e.hidden;
    }
  }
  EXPECT_EQ(s.SelectedBytes(), selectedBytes);
  for (uint32_t n = 0; n < s.NodeCount(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(s.Node(n).total, expect[n].total);
    EXPECT_EQ(s.Node(n).selected, expect[n].selected);
    EXPECT_EQ(s.Node(n).hidden, expect[n].hidden);
    EXPECT_EQ(s.Node(n).hiddenSelected, expect[n].hiddenSelected);
  }
}

TEST(StatisticsObjTest, RecordSizesCountAtLeast1024) {
  std::u16string text700(700, u'x');
  std::u16string text400(400, u'y');
  FileList files = Files({10, 5000, 0});
  MessageList messages = {{0, 0, 1, 1, {}, {}, {}, text700 + text400}};
  ChatList chats = {{0, 0, 1, 7, {}, {}, U("hi")}};
  ContactList contacts = {{0, {}, {}, text400, {}, text700}};  // name + phone = 1100
  CallList calls = {{0, 1, 0, {}, text700, text400}};          // contactName + address
  NoteList notes = Notes({0});                                 // empty content
  AppFileMap apps = {{u"app", AppFiles("app", {2048})}};
  struct Case {
    const char* what;
    std::function<int(CStatisticsObj&)> add;
    uint64_t bytes;
  } cases[] = {
      {"files 10, 5000, 0",
       [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::CameraRoll, files); },
       1024 + 5000 + 1024},
      {"message row",
       [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::Messages, messages); }, 1100},
      {"chat row", [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::WhatsApp, chats); },
       1024},
      {"contact", [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::Contacts, contacts); },
       1100},
      {"call", [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::CallHistory, calls); },
       1100},
      {"empty note", [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::Notes, notes); },
       1024},
      {"app file", [&](CStatisticsObj& s) { return s.AddCategory(CategoryId::AppPhotos, apps); },
       2048},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CStatisticsObj s;
    ASSERT_EQ(c.add(s), kOk);
    EXPECT_EQ(s.TotalBytes(), c.bytes);
    EXPECT_EQ(s.SelectedBytes(), c.bytes);
    EXPECT_EQ(s.Root().selected, s.Root().total);
  }
}

TEST(StatisticsObjTest, CategoriesAndIndexOrder) {
  FileList camera = Files({100, 200});
  NoteList notes = Notes({0, 1});
  FileList empty;
  AppFileMap apps = {{u"b.app", AppFiles("b.app", {1, 2})}, {u"a.app", AppFiles("a.app", {3})}};
  CStatisticsObj s;
  // Added in scan order; the tree lists categories in CategoryId order.
  ASSERT_EQ(s.AddCategory(CategoryId::Notes, notes), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, camera), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::PhotoStream, empty), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::AppVideos, apps), kOk);
  ASSERT_EQ(s.Root().children.size(), 4u);
  EXPECT_EQ(s.Node(s.Root().children[0]).category, CategoryId::CameraRoll);
  EXPECT_EQ(s.Node(s.Root().children[1]).category, CategoryId::PhotoStream);
  EXPECT_EQ(s.Node(s.Root().children[2]).category, CategoryId::AppVideos);
  EXPECT_EQ(s.Node(s.Root().children[3]).category, CategoryId::Notes);
  EXPECT_EQ(s.Root().total, 7u);

  // The empty category keeps its node with 0 and adds nothing.
  const StatNode* stream = s.CategoryNode(CategoryId::PhotoStream);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->total, 0u);
  EXPECT_EQ(s.StateOf(s.ContainerKey(CategoryId::PhotoStream)), SelectionState::None);

  // Index order: notes container, 2 notes, camera container, 2 files, photo-stream container,
  // app map, then per app (map order a.app, b.app) its list and its files.
  EXPECT_EQ(s.EntryCount(), 3u + 3u + 1u + (1u + 2u + 3u));
  EXPECT_EQ(s.ContainerKey(CategoryId::Notes), 0u);
  EXPECT_EQ(s.KeyOf(&notes[1]), 2u);
  EXPECT_EQ(s.RecordKey(CategoryId::CameraRoll, 1), 5u);
  EXPECT_EQ(s.KeyOf(&camera), 3u);
  EXPECT_EQ(s.KeyOf(&camera[1]), 5u);
  EXPECT_EQ(s.KeyOf(&apps), 7u);
  EXPECT_EQ(s.AppKey(CategoryId::AppVideos, u"a.app"), 8u);
  EXPECT_EQ(s.KeyOf(&apps.at(u"b.app")), 10u);
  EXPECT_EQ(s.AppRecordKey(CategoryId::AppVideos, u"b.app", 1), 12u);
  EXPECT_EQ(s.KeyOf(&apps.at(u"b.app")[1]), 12u);
  EXPECT_EQ(s.CountOf(s.AppKey(CategoryId::AppVideos, u"b.app")), 2u);
  EXPECT_EQ(s.CountOf(s.ContainerKey(CategoryId::AppVideos)), 3u);

  // Keys that name nothing.
  int outside = 0;
  EXPECT_EQ(s.KeyOf(&outside), kNoStatKey);
  EXPECT_EQ(s.KeyOf(reinterpret_cast<const char*>(&camera[0]) + 1), kNoStatKey);
  EXPECT_EQ(s.RecordKey(CategoryId::CameraRoll, 2), kNoStatKey);
  EXPECT_EQ(s.RecordKey(CategoryId::AppVideos, 0), kNoStatKey);
  EXPECT_EQ(s.AppKey(CategoryId::AppVideos, u"c.app"), kNoStatKey);
  EXPECT_EQ(s.RecordKey(CategoryId::Contacts, 0), kNoStatKey);

  // The record behind an entry, of the right type only.
  EXPECT_EQ(s.NoteAt(2), &notes[1]);
  EXPECT_TRUE(s.Entry(2).deleted);
  EXPECT_EQ(s.Entry(2).category, CategoryId::Notes);
  EXPECT_EQ(s.FileAt(5), &camera[1]);
  EXPECT_EQ(s.AppFileAt(12), &apps.at(u"b.app")[1]);
  EXPECT_EQ(s.FileAt(2), nullptr);
  EXPECT_EQ(s.NoteAt(0), nullptr);  // a container
  EXPECT_EQ(s.ChatRowAt(999), nullptr);
  ExpectConsistent(s);
}

TEST(StatisticsObjTest, AddCategoryRefusesMismatchAndRepeat) {
  FileList files = Files({1});
  NoteList notes = Notes({0});
  AppFileMap apps;
  CStatisticsObj s;
  EXPECT_EQ(s.AddCategory(CategoryId::Notes, files), kInvalidParameter);
  EXPECT_EQ(s.AddCategory(CategoryId::Contacts, notes), kInvalidParameter);
  EXPECT_EQ(s.AddCategory(CategoryId::CameraRoll, apps), kInvalidParameter);
  EXPECT_EQ(s.AddCategory(static_cast<CategoryId>(12), files), kInvalidParameter);
  EXPECT_FALSE(s.HasCategories());
  ASSERT_EQ(s.AddCategory(CategoryId::MessageAttachments, files), kOk);
  EXPECT_EQ(s.AddCategory(CategoryId::MessageAttachments, files), kInvalidParameter);
  EXPECT_EQ(s.EntryCount(), 2u);
  EXPECT_EQ(s.Root().total, 1u);
  EXPECT_EQ(s.TotalBytes(), 1024u);
}

TEST(StatisticsObjTest, ReselectingAfterPartialDeselectGivesTotals) {
  FileList files = Files({5000, 3000, 10});
  CStatisticsObj s;
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, files), kOk);
  StatKey category = s.ContainerKey(CategoryId::CameraRoll);
  StatKey second = s.KeyOf(&files[1]);

  EXPECT_TRUE(s.Deselect(second));
  EXPECT_EQ(s.SelectedBytes(), 5000u + 1024u);
  EXPECT_EQ(s.StateOf(category), SelectionState::Some);
  EXPECT_EQ(s.StateOf(second), SelectionState::Some);  // judged on its node
  EXPECT_FALSE(s.IsSelected(second));

  EXPECT_TRUE(s.Select(category));
  EXPECT_EQ(s.SelectedBytes(), s.TotalBytes());
  EXPECT_EQ(s.Root().selected, 3u);
  EXPECT_EQ(s.StateOf(category), SelectionState::All);

  // Selecting what is selected, or deselecting what is not, changes nothing.
  EXPECT_TRUE(s.Select(second));
  EXPECT_TRUE(s.Select(category));
  EXPECT_EQ(s.SelectedBytes(), s.TotalBytes());
  EXPECT_TRUE(s.Deselect(category));
  EXPECT_TRUE(s.Deselect(second));
  EXPECT_TRUE(s.Deselect(category));
  EXPECT_EQ(s.SelectedBytes(), 0u);
  EXPECT_EQ(s.Root().selected, 0u);
  EXPECT_EQ(s.StateOf(category), SelectionState::None);
  EXPECT_FALSE(s.Select(kNoStatKey));
  ExpectConsistent(s);
}

TEST(StatisticsObjTest, TwoAppsPartlySelected) {
  AppFileMap apps = {{u"one", AppFiles("one", {2000, 2000, 2000})},
                     {u"two", AppFiles("two", {3000, 3000, 3000, 3000})}};
  FileList camera = Files({100});
  CStatisticsObj s;
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, camera), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::AppPhotos, apps), kOk);
  StatKey category = s.ContainerKey(CategoryId::AppPhotos);
  StatKey one = s.AppKey(CategoryId::AppPhotos, u"one");
  StatKey two = s.AppKey(CategoryId::AppPhotos, u"two");

  EXPECT_TRUE(s.Deselect(one));
  EXPECT_TRUE(s.Deselect(s.AppRecordKey(CategoryId::AppPhotos, u"two", 2)));
  EXPECT_EQ(s.CategoryNode(CategoryId::AppPhotos)->selected, 3u);
  EXPECT_EQ(s.StateOf(one), SelectionState::None);
  EXPECT_EQ(s.StateOf(two), SelectionState::Some);

  EXPECT_TRUE(s.Select(two));
  EXPECT_EQ(s.CategoryNode(CategoryId::AppPhotos)->selected, 4u);
  EXPECT_EQ(s.StateOf(two), SelectionState::All);
  EXPECT_EQ(s.StateOf(category), SelectionState::Some);
  EXPECT_EQ(s.Root().selected, 5u);
  EXPECT_EQ(s.SelectedBytes(), 1024u + 4 * 3000u);

  EXPECT_TRUE(s.Select(category));
  EXPECT_EQ(s.SelectedBytes(), s.TotalBytes());
  EXPECT_EQ(s.StateOf(one), SelectionState::All);
  ExpectConsistent(s);
}

TEST(StatisticsObjTest, HideAndShowWithDeletedOnlyFilter) {
  NoteList notes = Notes({0, 1, 0});
  FileList camera = Files({4000});
  CStatisticsObj s;
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, camera), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::Notes, notes), kOk);
  StatKey category = s.ContainerKey(CategoryId::Notes);
  auto filter = [&](bool on) {
    for (size_t i = 0; i < notes.size(); ++i) {
      StatKey k = s.RecordKey(CategoryId::Notes, i);
      if (s.Entry(k).deleted) continue;
      EXPECT_TRUE(on ? s.Hide(k) : s.Show(k));
    }
  };

  filter(true);
  const StatNode& node = *s.CategoryNode(CategoryId::Notes);
  EXPECT_EQ(node.hidden, 2u);
  EXPECT_EQ(node.hiddenSelected, 2u);
  EXPECT_EQ(s.Root().hidden, 2u);
  EXPECT_EQ(s.Root().selected - s.Root().hiddenSelected, 2u);  // the file and the deleted note
  EXPECT_EQ(s.SelectedBytes(), 4000u + 1024u);
  filter(true);  // hiding twice changes nothing
  EXPECT_EQ(node.hidden, 2u);

  // Unchecking and checking the category while rows are hidden keeps the counts exact.
  EXPECT_TRUE(s.Deselect(category));
  EXPECT_EQ(node.hiddenSelected, 0u);
  EXPECT_EQ(s.SelectedBytes(), 4000u);
  EXPECT_TRUE(s.Select(category));
  EXPECT_EQ(node.hiddenSelected, 2u);
  EXPECT_EQ(s.SelectedBytes(), 4000u + 1024u);
  // A hidden record deselected and shown again comes back unselected.
  EXPECT_TRUE(s.Deselect(s.RecordKey(CategoryId::Notes, 0)));
  ExpectConsistent(s);

  filter(false);
  EXPECT_EQ(node.hidden, 0u);
  EXPECT_EQ(node.hiddenSelected, 0u);
  EXPECT_EQ(s.SelectedBytes(), 4000u + 2 * 1024u);
  EXPECT_EQ(s.Root().selected, 3u);
  EXPECT_FALSE(s.Hide(category));  // containers are never hidden
  ExpectConsistent(s);
}

TEST(StatisticsObjTest, RecomputeRootAndClear) {
  FileList camera = Files({1, 2});
  NoteList notes = Notes({1});
  CStatisticsObj s;
  ASSERT_EQ(s.AddCategory(CategoryId::CameraRoll, camera), kOk);
  ASSERT_EQ(s.AddCategory(CategoryId::Notes, notes), kOk);
  EXPECT_TRUE(s.Hide(s.KeyOf(&notes[0])));
  EXPECT_TRUE(s.Deselect(s.KeyOf(&camera[0])));
  StatNode before = s.Root();
  s.RecomputeRoot();
  EXPECT_EQ(s.Root().total, before.total);
  EXPECT_EQ(s.Root().selected, before.selected);
  EXPECT_EQ(s.Root().hidden, before.hidden);
  EXPECT_EQ(s.Root().hiddenSelected, before.hiddenSelected);

  s.Clear();
  EXPECT_FALSE(s.HasCategories());
  EXPECT_EQ(s.EntryCount(), 0u);
  EXPECT_EQ(s.NodeCount(), 1u);
  EXPECT_EQ(s.TotalBytes(), 0u);
  EXPECT_EQ(s.SelectedBytes(), 0u);
  EXPECT_EQ(s.Root().total, 0u);
  EXPECT_EQ(s.KeyOf(&camera[0]), kNoStatKey);
  // The same category may be added again after a clear.
  EXPECT_EQ(s.AddCategory(CategoryId::CameraRoll, camera), kOk);
}

}  // namespace
}  // namespace salvora

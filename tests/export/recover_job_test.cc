#include "export/recover_job.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "copying_engine.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "export_test_util.h"

namespace salvora {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

using FakeEngine = testing::CopyingEngine;

// Keeps what the window would show.
class Screen : public IRecoverObserver {
 public:
  void OnRecoverProgress(int percent, const std::filesystem::path& current,
                         const RecoverCounts& counts) override {
    percents.push_back(percent);
    last_path = current;
    last = counts;
  }
  void OnRecoverItem(const RecoverDetailRow& row) override {
    if (row.failed) {
      rows.insert(rows.begin(), row);  // failures go on top
    } else {
      rows.push_back(row);
    }
  }
  void OnRecoverFinished(const RecoverCounts& counts, bool was_cancelled) override {
    finished = counts;
    cancelled = was_cancelled;
    ++finish_calls;
  }
  std::vector<int> percents;
  std::filesystem::path last_path;
  RecoverCounts last;
  std::vector<RecoverDetailRow> rows;
  RecoverCounts finished;
  bool cancelled = false;
  int finish_calls = 0;
};

class RecoverJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_.path() / "out";
    source_dir_ = tmp_.path() / "backup";
  }

  std::filesystem::path Source(const std::string& name, const std::string& bytes) {
    WriteFile(source_dir_ / name, bytes);
    return source_dir_ / name;
  }

  RecoverSource MakeSource() {
    RecoverSource s;
    s.statistics = &stats_;
    s.engine = &engine_;
    s.messages = &messages_;
    s.whatsApp = &chats_;
    s.sourceName = u"Ann's iPhone";
    return s;
  }

  // A job with small templates that show the contract clearly.
  void UseTemplates(RecoverJob& job) {
    for (int i = 0; i < HtmlExport::kTemplateCount; ++i) {
      ASSERT_TRUE(job.html().SetTemplate(static_cast<HtmlExport::TemplateIndex>(i),
                                         "<h1>{|title|}</h1>{|person|}{|content|}</html>",
                                         u"Ann's iPhone"));
    }
  }

  TempFolder tmp_;
  std::filesystem::path root_;
  std::filesystem::path source_dir_;
  FakeEngine engine_;
  CStatisticsObj stats_;
  MessageMap messages_;
  ChatMap chats_;
};

TEST_F(RecoverJobTest, ThreePhotosWithOneUnreadable) {
  FileList photos(3);
  photos[0] = {3, u"IMG_0001.JPG", Source("a", "one")};
  photos[1] = {3, u"IMG_0002.JPG", source_dir_ / "missing"};
  photos[2] = {3, u"IMG_0001.JPG", Source("c", "three")};  // same name: numbered
  ASSERT_EQ(stats_.AddCategory(CategoryId::CameraRoll, photos), kOk);

  Screen screen;
  RecoverJob job(root_, MakeSource(), &screen);
  UseTemplates(job);
  job.Run();

  const RecoverCounts c = job.Counts();
  EXPECT_EQ(c.done, 3);
  EXPECT_EQ(c.failed, 1);
  EXPECT_EQ(c.total, 3);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_EQ(screen.finish_calls, 1);
  EXPECT_FALSE(screen.cancelled);
  const auto folder = root_ / "Camera Roll";
  EXPECT_EQ(ReadFile(folder / "IMG_0001.JPG"), "one");
  EXPECT_EQ(ReadFile(folder / "IMG_0001(1).JPG"), "three");

  std::vector<RecoverDetailRow> rows = job.DetailRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].failed);
  EXPECT_EQ(rows[0].code, kInvalidParameter);
  EXPECT_EQ(rows[0].path, folder / "IMG_0002.JPG");
  EXPECT_EQ(rows[1].status, u"Success");
  EXPECT_EQ(rows[1].path, folder / "IMG_0001.JPG");
  EXPECT_EQ(rows[2].path, folder / "IMG_0001(1).JPG");
  ASSERT_EQ(screen.rows.size(), 3u);
  EXPECT_EQ(screen.rows[0].path, rows[0].path);  // the window sees the same order
  EXPECT_EQ(screen.last.done, 3);
  EXPECT_EQ(FormatRecoveredText(u"%d/%d done, %d recovered, %d failed", c),
            u"3/3 done, 2 recovered, 1 failed");
  EXPECT_EQ(FormatPercentText(u"Current progress:", 42), u"Current progress: 42%");
}

TEST_F(RecoverJobTest, EmptyFilesAndAppFilesAreCounted) {
  AppFileMap apps;
  apps[u"whatsapp"] = {{0, u"whatsapp", u"empty.JPG", Source("e", "")},
                       {4, u"whatsapp", u"b.JPG", Source("b", "bbbb")}};
  ASSERT_EQ(stats_.AddCategory(CategoryId::AppPhotos, apps), kOk);
  RecoverJob job(root_, MakeSource(), nullptr);
  UseTemplates(job);
  job.Run();
  // The copy of an empty file reports nothing; the job still counts it.
  EXPECT_EQ(job.Counts().done, 2);
  EXPECT_EQ(job.Counts().failed, 0);
  EXPECT_TRUE(std::filesystem::exists(root_ / "App Photos" / "whatsapp" / "empty.JPG"));
  EXPECT_EQ(ReadFile(root_ / "App Photos" / "whatsapp" / "b.JPG"), "bbbb");
}

TEST_F(RecoverJobTest, DatabaseCategoriesWritePagesAndTablesAtTheEnd) {
  ContactList contacts(2);
  contacts[0].name = u"Ann";
  contacts[0].phone = u"1\n2";
  contacts[1].name = u"<b>Bob</b>";
  contacts[1].phone = u"3";
  CallList calls(1);
  calls[0].address = u"555";
  NoteList notes(1);
  notes[0].content = u"note";
  messages_[1] = {MessageRecord{0, 0, 1, 1, u"2015-01-01 00:00:00", u"555", u"", u"a"},
                  MessageRecord{0, 1, 2, 1, u"2015-01-01 00:01:00", u"555", u"", u"b"},
                  MessageRecord{0, 0, 3, 1, u"2015-01-01 00:02:00", u"555", u"", u"c"}};
  MessageList message_rows = {messages_[1].back()};
  ChatRecord chat;
  chat.chatId = 4;
  chat.memberNames = u"Ann,Bob";
  chat.chatName = u"Family";
  chat.text = u"x";
  chats_[4] = {chat};
  ChatList chat_rows = {chat};
  ASSERT_EQ(stats_.AddCategory(CategoryId::Messages, message_rows), kOk);
  ASSERT_EQ(stats_.AddCategory(CategoryId::Contacts, contacts), kOk);
  ASSERT_EQ(stats_.AddCategory(CategoryId::CallHistory, calls), kOk);
  ASSERT_EQ(stats_.AddCategory(CategoryId::Notes, notes), kOk);
  ASSERT_EQ(stats_.AddCategory(CategoryId::WhatsApp, chat_rows), kOk);

  Screen screen;
  RecoverJob job(root_, MakeSource(), &screen);
  UseTemplates(job);
  job.Run();
  EXPECT_EQ(job.Counts().done, 6);
  EXPECT_EQ(job.Counts().failed, 0);
  EXPECT_EQ(job.Counts().total, 6);
  // A conversation of three messages moves the bar 33, 66, 100 and counts once.
  ASSERT_GE(screen.percents.size(), 3u);
  EXPECT_EQ(std::vector<int>(screen.percents.begin(), screen.percents.begin() + 3),
            (std::vector<int>{33, 66, 100}));

  const std::string stamp = Utf16ToUtf8(job.stamp());
  const auto conversation = root_ / "Message" / ("Unknown-" + stamp);
  EXPECT_TRUE(std::filesystem::exists(conversation / "Unknown(555).txt"));
  EXPECT_NE(ReadFile(conversation / "Unknown(555).html").find("Name: Unknown, Phone: 555"),
            std::string::npos);
  EXPECT_NE(ReadFile(root_ / "Message" / "sms.csv").find(",555,2015-01-01 00:01:00,Sent,b\r\n"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(root_ / "Message" / "sms.db"));
  const auto chat_folder = root_ / "WhatsApp Message" / ("Family-" + stamp);
  for (const char* file : {"Family.txt", "Family.csv", "Family.html"}) {
    EXPECT_TRUE(std::filesystem::exists(chat_folder / file)) << file;
  }

  // Each contact row is a success row that shows the contacts page.
  const auto contacts_page = root_ / "Contacts" / stamp / "Contacts.html";
  int contact_rows = 0;
  for (const RecoverDetailRow& row : job.DetailRows()) contact_rows += row.path == contacts_page;
  EXPECT_EQ(contact_rows, 2);
  std::string page = ReadFile(contacts_page);
  EXPECT_NE(page.find("<h1>iPhone&#39;s Contacts of Ann&#39;s iPhone</h1>"), std::string::npos);
  EXPECT_NE(page.find("<td>&lt;b&gt;Bob&lt;/b&gt;</td>"), std::string::npos);
  EXPECT_NE(ReadFile(root_ / "Contacts" / stamp / "Contacts.csv").find("Ann,1,2,"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(root_ / "Contacts" / stamp / "AddressBook.sqlitedb"));
  EXPECT_TRUE(std::filesystem::exists(root_ / "CallHistory" / ("CallHistory_" + stamp + ".html")));
  EXPECT_TRUE(std::filesystem::exists(root_ / "Notes" / ("Notes_" + stamp + ".html")));
}

TEST_F(RecoverJobTest, HiddenAndUncheckedRowsStayOut) {
  ContactList contacts(3);
  for (auto& c : contacts) c.phone = u"1";
  contacts[0].name = u"Deleted";
  contacts[0].isDeleted = 1;
  contacts[1].name = u"Live";
  contacts[2].name = u"Unchecked";
  ASSERT_EQ(stats_.AddCategory(CategoryId::Contacts, contacts), kOk);
  // The deleted-only filter hides the live rows; one of them is also unchecked.
  ASSERT_TRUE(stats_.Deselect(stats_.KeyOf(&contacts[2])));
  ASSERT_TRUE(stats_.Hide(stats_.KeyOf(&contacts[1])));
  ASSERT_TRUE(stats_.Hide(stats_.KeyOf(&contacts[2])));

  RecoverJob job(root_, MakeSource(), nullptr);
  UseTemplates(job);
  job.Run();
  EXPECT_EQ(job.Counts().total, 2);  // the hidden selected row still counts in the total
  EXPECT_EQ(job.Counts().done, 1);
  std::string page = ReadFile(root_ / "Contacts" / Utf16ToUtf8(job.stamp()) / "Contacts.html");
  EXPECT_NE(page.find("Deleted"), std::string::npos);
  EXPECT_EQ(page.find("Live"), std::string::npos);
  EXPECT_EQ(page.find("Unchecked"), std::string::npos);
}

TEST_F(RecoverJobTest, HostileNamesStayInsideTheOutputRoot) {
  FileList files(1);
  files[0] = {1, u"../../escaped.jpg", Source("x", "x")};
  messages_[1] = {MessageRecord{0, 0, 1, 1, u"2015-01-01 00:00:00", u"/etc/passwd",
                                u"../../../escaped", u"<script>alert(1)</script>"}};
  MessageList rows = {messages_[1].back()};
  ASSERT_EQ(stats_.AddCategory(CategoryId::MessageAttachments, files), kOk);
  ASSERT_EQ(stats_.AddCategory(CategoryId::Messages, rows), kOk);
  RecoverJob job(root_, MakeSource(), nullptr);
  UseTemplates(job);
  job.Run();
  EXPECT_EQ(job.Counts().done, 2);
  EXPECT_EQ(job.Counts().failed, 0);
  // Only the backup and the output root lie beside each other.
  std::vector<std::string> beside;
  for (const auto& e : std::filesystem::directory_iterator(tmp_.path())) {
    beside.push_back(e.path().filename().string());
  }
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{"backup", "out"}));
  for (const auto& e : std::filesystem::recursive_directory_iterator(root_)) {
    if (e.path().extension() == ".html") {
      std::string html = ReadFile(e.path());
      EXPECT_EQ(html.find("<script>"), std::string::npos);
      EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    }
  }
}

TEST_F(RecoverJobTest, ConfirmedCancelEndsTheWalkAndRemovesThePartialCopy) {
  FileList photos(3);
  photos[0] = {3, u"small.JPG", Source("s", "abc")};
  photos[1] = {300000, u"big.MOV", Source("b", std::string(300000, 'v'))};
  photos[2] = {3, u"after.JPG", Source("a", "xyz")};
  ASSERT_EQ(stats_.AddCategory(CategoryId::CameraRoll, photos), kOk);
  ContactList contacts(1);
  contacts[0].name = u"Ann";
  contacts[0].phone = u"1";
  ASSERT_EQ(stats_.AddCategory(CategoryId::Contacts, contacts), kOk);

  Screen screen;
  RecoverJob job(root_, MakeSource(), &screen);
  UseTemplates(job);
  // The big copy stands still after its first chunk until the window has cancelled.
  std::atomic<bool> big_started{false};
  engine_.after_report = [&](const std::filesystem::path& destination) {
    if (destination.filename() != "big.MOV") return;
    big_started = true;
    for (int i = 0; i < 5000 && !job.IsCancelled(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  job.Start();
  while (!big_started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // The window's cancel: hold the reports, ask, confirm.
  job.Pause();
  EXPECT_FALSE(job.IsFinished());
  job.CancelWhilePaused();
  job.Wait();

  EXPECT_TRUE(job.IsFinished());
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_TRUE(screen.cancelled);
  EXPECT_EQ(job.Counts().done, 1);
  EXPECT_EQ(job.Counts().failed, 0);
  EXPECT_EQ(engine_.copies, 2);  // nothing after the cancelled copy is started
  EXPECT_TRUE(std::filesystem::exists(root_ / "Camera Roll" / "small.JPG"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "Camera Roll" / "big.MOV"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "Camera Roll" / "after.JPG"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "Contacts"));
  ASSERT_EQ(job.DetailRows().size(), 1u);
}

TEST(RecoverJobTemplatesTest, MissingTemplateStopsBeforeAnything) {
  TempFolder tmp;
  RecoverJob job(tmp.path() / "out", RecoverSource{}, nullptr);
  EXPECT_EQ(job.LoadTemplates(tmp.path()), ENOENT);
  EXPECT_EQ(job.failed_template().filename(), "CallHistory.html");
  // The shipped templates load and keep their contract.
  RecoverJob shipped(tmp.path() / "out", RecoverSource{}, nullptr);
  ASSERT_EQ(shipped.LoadTemplates(std::filesystem::path(SALVORA_SOURCE_DIR) / "resources"), 0);
  for (auto index : {HtmlExport::kMessages, HtmlExport::kWhatsApp}) {
    const std::string& text = shipped.html().Template(index).text();
    for (const char* cls : {".date", ".send_msg", ".recv_msg", ".del_send_msg", ".del_recv_msg"}) {
      EXPECT_NE(text.find(cls), std::string::npos) << cls;
    }
    EXPECT_NE(shipped.html().Template(index).head().find("{|person|}"), std::string::npos);
  }
}

TEST(RecoverErrorTextTest, ProjectCodesAndSystemTexts) {
  EXPECT_EQ(RecoverErrorText(0), u"Success");
  EXPECT_EQ(RecoverErrorText(kInvalidParameter),
            u"The file cannot be opened or the path is invalid.");
  EXPECT_EQ(RecoverErrorText(ENOSPC), u"No space left on device (error 28)");
}

}  // namespace
}  // namespace salvora

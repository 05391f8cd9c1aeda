#include "export/print_page.h"

#include <string>

#include <gtest/gtest.h>

#include "core/result_codes.h"
#include "export_test_util.h"

namespace salvora {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

const std::function<bool()> kNeverCancelled;

class PrintBodyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageRecord live;
    live.handleId = 1;
    live.contactName = u"Ann";
    live.address = u"555";
    live.date = u"2015-01-01 00:00:00";
    live.text = u"a<b";
    MessageRecord gone = live;
    gone.isDeleted = 1;
    gone.isFromMe = 1;
    gone.text = u"deleted";
    messages_[1] = {live, gone};
    MessageRecord unknown = live;
    unknown.handleId = 2;
    unknown.contactName = u"Unknown";
    messages_[2] = {unknown};
    message_rows_ = {gone, unknown};  // deleted rows first, as the scan lists them
    message_rows_[1].isDeleted = 0;

    for (char16_t c : std::u16string(u"ABCDE")) {
      ContactRecord contact;
      contact.name = std::u16string(1, c);
      contact.phone = u"1\n2";
      contacts_.push_back(contact);
    }
    CallRecord call;
    call.contactName = u"Bob";
    call.address = u"+1";
    call.date = u"2015-01-01 00:00:00";
    call.answered = 1;
    call.duration = 75;
    calls_ = {call};
    NoteRecord note;
    note.title = u"T";
    note.date = u"2015-01-01 00:00:00";
    note.content = u"<i>x</i>\ny";
    notes_ = {note};

    ChatRecord chat;
    chat.chatId = 5;
    chat.chatName = u"Family";
    chat.senderName = u"Ann";
    chat.pushName = u"Annie";
    chat.date = u"2015-01-01 00:00:00";
    chat.text = u"hi";
    ChatRecord mine = chat;
    mine.isFromMe = 1;
    mine.senderName = u"Me";
    mine.text = u"yo";
    whatsapp_[5] = {chat, mine};
    chat_rows_ = {mine};

    source_.messageRows = &message_rows_;
    source_.messages = &messages_;
    source_.contacts = &contacts_;
    source_.calls = &calls_;
    source_.notes = &notes_;
    source_.whatsAppRows = &chat_rows_;
    source_.whatsApp = &whatsapp_;
  }

  std::string Body(CategoryId category, bool deleted_only = false) {
    std::string body;
    EXPECT_EQ(BuildPrintBody(category, deleted_only, source_, kNeverCancelled, body), kOk);
    return body;
  }

  MessageMap messages_;
  MessageList message_rows_;
  ContactList contacts_;
  CallList calls_;
  NoteList notes_;
  ChatMap whatsapp_;
  ChatList chat_rows_;
  PrintSource source_;
};

TEST_F(PrintBodyTest, MessagesPrintEveryMessageOfASelectedConversation) {
  const std::string ann =
      "<div>\r\n<p><span>From:</span>Ann(555)</p>\r\n<p><span>Date:</span>2015-01-01 00:00:00</p>"
      "\r\n<p><span>Content:</span>a&lt;b</p>\r\n</div>\r\n"
      "<div>\r\n<p><span>To:</span>Ann(555)</p>\r\n<p><span>Date:</span>2015-01-01 00:00:00</p>"
      "\r\n<p><span>Content:</span>deleted</p>\r\n</div>\r\n";
  const std::string unknown =
      "<div>\r\n<p><span>From:</span>555</p>\r\n<p><span>Date:</span>2015-01-01 00:00:00</p>"
      "\r\n<p><span>Content:</span>a&lt;b</p>\r\n</div>\r\n";
  EXPECT_EQ(Body(CategoryId::Messages), ann + unknown);
  // The deleted-only view keeps the marked conversation whole, live messages included.
  EXPECT_EQ(Body(CategoryId::Messages, true), ann);
}

TEST_F(PrintBodyTest, ContactsCallsNotesAndWhatsApp) {
  // Two of five contacts checked: two blocks, in list order.
  source_.isSelected = [&](const void* row) {
    return row == &contacts_[1] || row == &contacts_[3];
  };
  auto contact = [](const char* name) {
    return std::string("<div>\r\n<p><span>Name:</span>") + name +
           "</p>\r\n<p><span>Phone Number:</span>1<br />2</p>\r\n<p><span>Company:</span></p>\r\n"
           "<p><span>Email:</span></p>\r\n<p><span>URL:</span></p>\r\n</div>\r\n";
  };
  EXPECT_EQ(Body(CategoryId::Contacts), contact("B") + contact("D"));
  source_.isSelected = nullptr;

  EXPECT_EQ(Body(CategoryId::CallHistory),
            "<div>\r\n<p><span>Name:</span>Bob</p>\r\n<p><span>Phone Number:</span>+1</p>\r\n"
            "<p><span>Date:</span>2015-01-01 00:00:00</p>\r\n<p><span>Type:</span>Incoming</p>\r\n"
            "<p><span>Duration:</span>1 Min 15 Sec</p>\r\n</div>\r\n");
  calls_[0].duration = 0;
  EXPECT_NE(Body(CategoryId::CallHistory).find("<span>Duration:</span>Missed<"), std::string::npos);
  calls_[0].answered = 0;
  EXPECT_NE(Body(CategoryId::CallHistory).find("<span>Duration:</span>Canceled<"),
            std::string::npos);

  EXPECT_EQ(Body(CategoryId::Notes),
            "<div>\r\n<p><span>Title:</span>T</p>\r\n<p><span>Date:</span>2015-01-01 00:00:00</p>"
            "\r\n<p><span>Notes:</span>&lt;i&gt;x&lt;/i&gt;<br />y</p>\r\n</div>\r\n");

  EXPECT_EQ(Body(CategoryId::WhatsApp),
            "<div>\r\n<p><span>Chats:</span>Family</p>\r\n<p><span>Name:</span>Me</p>\r\n"
            "<p><span>Phone Number:</span>Annie</p>\r\n<p><span>Content:</span></p>\r\n"
            "<p>Ann (2015-01-01 00:00:00): hi</p><p>Me (2015-01-01 00:00:00): yo</p></div>\r\n");
  source_.hasCurrentRow = false;
  EXPECT_EQ(Body(CategoryId::WhatsApp), "");
  EXPECT_EQ(Body(CategoryId::CameraRoll), "");
}

TEST_F(PrintBodyTest, CancelEndsTheBuildWithoutABody) {
  int asked = 0;
  std::function<bool()> cancel_second = [&] { return ++asked == 2; };
  std::string body = "old";
  EXPECT_EQ(BuildPrintBody(CategoryId::Contacts, false, source_, cancel_second, body), kStopped);
  EXPECT_EQ(body, "");
  EXPECT_EQ(asked, 2);
}

TEST(PrintPageTest, TemplateSplitAndPageFile) {
  TempFolder tmp;
  PrintPage missing;
  EXPECT_NE(missing.LoadTemplate(tmp.path()), 0);
  // Without a usable template the page still declares UTF-8.
  EXPECT_NE(missing.Compose("x").find("<meta charset=\"utf-8\">"), std::string::npos);

  WriteFile(tmp.path() / "template" / "Print.html", "<body>{|content|}</body>{|content|}");
  PrintPage page;
  ASSERT_EQ(page.LoadTemplate(tmp.path()), 0);
  EXPECT_EQ(page.Compose("B"), "<body>B</body>{|content|}");
  EXPECT_EQ(page.Compose(""), "<body></body>{|content|}");

  auto file = PrintPageFile(tmp.path());
  EXPECT_EQ(file, tmp.path() / "Print" / "page.html");
  ASSERT_EQ(page.Write(file, "one"), 0);
  ASSERT_EQ(page.Write(file, "two"), 0);
  EXPECT_EQ(ReadFile(file), "<body>two</body>{|content|}");
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".part"));
}

}  // namespace
}  // namespace salvora

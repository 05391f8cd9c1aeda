#include "export/html_export.h"

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/result_codes.h"
#include "core/text.h"
#include "export/html_fragments.h"
#include "export_test_util.h"

namespace salvora {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

struct Report {
  int percent;
  int code;
  std::filesystem::path path;
};

// Records every report; answers `stop_at` (1-based) with 2.
struct Recorder {
  std::vector<Report> reports;
  size_t stop_at = 0;
  static int Callback(void* self, int percent, int code, const std::filesystem::path& path) {
    auto* r = static_cast<Recorder*>(self);
    r->reports.push_back({percent, code, path});
    return r->reports.size() == r->stop_at ? kStopped : 0;
  }
  std::vector<int> Percents() const {
    std::vector<int> p;
    for (const Report& r : reports) p.push_back(r.percent);
    return p;
  }
};

MessageRecord Message(int from_me, int deleted, std::u16string date, std::u16string text) {
  MessageRecord m;
  m.isFromMe = from_me;
  m.isDeleted = deleted;
  m.handleId = 7;
  m.date = std::move(date);
  m.address = u"555-12-12";
  m.contactName = u"Unknown";
  m.text = std::move(text);
  return m;
}

TEST(HtmlFragmentsTest, EscapesEveryInsertedValue) {
  EXPECT_EQ(EscapeHtml(u"<script>alert('x') & \"y\"</script>"),
            "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
  EXPECT_EQ(EscapeHtml(u"a\nb"), "a\nb");
  EXPECT_EQ(EscapeHtmlLines(u"a\nb\r\nc\rd<"), "a<br />b<br />c<br />d&lt;");
}

TEST(HtmlFragmentsTest, CallTypeAndDurationTexts) {
  struct Case {
    int answered, duration;
    const char* type;
    const char* duration_text;
  } cases[] = {
      {1, 0, "Incoming", "Missed"},          {0, 0, "Outgoing", "Canceled"},
      {1, 59, "Incoming", "59 Sec"},         {0, 60, "Outgoing", "1 Min 0 Sec"},
      {1, 75, "Incoming", "1 Min 15 Sec"},   {1, 3599, "Incoming", "59 Min 59 Sec"},
      {1, 3600, "Incoming", "1 Hour 0 Min"}, {1, 3661, "Incoming", "1 Hour 1 Min"},
      {0, -5, "Outgoing", "-5 Sec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.duration);
    CallRecord call;
    call.answered = c.answered;
    call.duration = c.duration;
    EXPECT_EQ(Utf16ToUtf8(CallTypeText(call)), c.type);
    EXPECT_EQ(Utf16ToUtf8(CallDurationText(call)), c.duration_text);
  }
}

TEST(HtmlFragmentsTest, TableRows) {
  ContactRecord contact;
  contact.name = u"Ann <A&B>";
  contact.phone = u"555-1\n555-2";
  contact.email = u"ann@example.com";
  contact.url = u"https://example.com/?a=1&b=2";
  contact.organization = u"Org\nDept";
  EXPECT_EQ(ContactRow(contact),
            "\t<tr><td>Ann &lt;A&amp;B&gt;</td><td>555-1<br />555-2</td><td>ann@example.com</td>"
            "<td></td><td>https://example.com/?a=1&amp;b=2</td><td></td><td>Org<br />Dept</td>"
            "</tr>\r\n");

  CallRecord call;
  call.contactName = u"Bob";
  call.address = u"+49 30 1";
  call.date = u"2015-03-07 09:05:02";
  call.answered = 1;
  EXPECT_EQ(CallRow(call),
            "\t<tr><td>Bob</td><td>+49 30 1</td><td>2015-03-07 09:05:02</td><td>Incoming</td>"
            "<td>Missed</td></tr>\r\n");

  NoteRecord note;
  note.title = u"List";
  note.date = u"2015-03-07 09:05:02";
  note.content = u"eggs\n<b>milk</b>";
  EXPECT_EQ(NoteRow(note),
            "\t<tr><td>List</td><td>2015-03-07 09:05:02</td>"
            "<td>eggs<br />&lt;b&gt;milk&lt;/b&gt;</td></tr>\r\n");
}

TEST(HtmlTemplateTest, SplitsAtTheFirstContentMarker) {
  HtmlTemplate t;
  ASSERT_TRUE(
      t.SetText("\xEF\xBB\xBF<h1>{|title|}</h1><p>{|person|}</p>{|content|}<i>{|title|}</i>"
                "{|content|}",
                "T &amp; {|title|}"));
  // The title's own placeholder is not expanded again; markers after the content stay.
  EXPECT_EQ(t.head(), "\xEF\xBB\xBF<h1>T &amp; {|title|}</h1><p>{|person|}</p>");
  EXPECT_EQ(t.tail(), "<i>{|title|}</i>{|content|}");
  EXPECT_EQ(t.HeadWithPerson("Name: Ann"),
            "\xEF\xBB\xBF<h1>T &amp; {|title|}</h1><p>Name: Ann</p>");
  EXPECT_FALSE(t.SetText("<html>no marker</html>", "x"));
}

TEST(HtmlTemplateTest, LoadReportsTheFirstMissingOrBrokenTemplate) {
  TempFolder tmp;
  HtmlExport html;
  EXPECT_EQ(html.LoadTemplates(tmp.path(), u"Ann's iPhone"), ENOENT);
  EXPECT_EQ(html.failed_template(), tmp.path() / "template" / "CallHistory.html");

  for (const char* name : {"CallHistory.html", "Notes.html", "contacts.html", "Sms.html"}) {
    WriteFile(tmp.path() / "template" / name, "<title>{|title|}</title>{|content|}end");
  }
  WriteFile(tmp.path() / "template" / "WhatsApp.html", "no marker");
  HtmlExport broken;
  EXPECT_EQ(broken.LoadTemplates(tmp.path(), u""), kInvalidParameter);
  EXPECT_EQ(broken.failed_template().filename(), "WhatsApp.html");

  WriteFile(tmp.path() / "template" / "WhatsApp.html", "{|title|}{|content|}");
  HtmlExport good;
  ASSERT_EQ(good.LoadTemplates(tmp.path(), u"Ann's <Phone>"), 0);
  EXPECT_EQ(good.Template(HtmlExport::kNotes).head(),
            "<title>iPhone&#39;s Notes of Ann&#39;s &lt;Phone&gt;</title>");
  EXPECT_EQ(good.Template(HtmlExport::kWhatsApp).head(),
            "iPhone&#39;s WhatsApp Messages of Ann&#39;s &lt;Phone&gt;");
}

class ConversationPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        html_.SetTemplate(HtmlExport::kMessages, "<p>{|person|}</p>{|content|}</end>", u""));
    ASSERT_TRUE(
        html_.SetTemplate(HtmlExport::kWhatsApp, "<p>{|person|}</p>{|content|}</end>", u""));
    messages_[7] = {Message(1, 0, u"2015-01-01 10:00:00", u"Hi <b>"),
                    Message(0, 0, u"2015-01-01 10:01:00", u"Hello & bye"),
                    Message(0, 1, u"2015-01-01 10:02:00", u"gone")};
    messages_[7][2].contactName = u"Ann";
    row_ = messages_[7].back();
    row_.contactName = u"";
  }

  TempFolder tmp_;
  HtmlExport html_;
  MessageMap messages_;
  MessageRecord row_;
};

TEST_F(ConversationPageTest, MessagePageHoldsBubblesAndReportsEachMessage) {
  Recorder rec;
  auto page = tmp_.path() / "Message" / "Unknown-1" / "Unknown(555-12-12).html";
  ASSERT_EQ(html_.WriteMessagePage(row_, messages_, page, &Recorder::Callback, &rec), 0);
  EXPECT_EQ(rec.Percents(), (std::vector<int>{33, 66, 100}));
  EXPECT_EQ(rec.reports.back().path, page);
  EXPECT_EQ(ReadFile(page),
            "<p>Name: Unknown, Phone: 555-12-12</p>"
            "<div class=\"date\">Date: 2015-01-01 10:00:00 Me:</div>\r\n"
            "<div class=\"send_msg\">Hi &lt;b&gt;</div>\r\n"
            "<div class=\"date\">Date: 2015-01-01 10:01:00 555-12-12:</div>\r\n"
            "<div class=\"recv_msg\">Hello &amp; bye</div>\r\n"
            "<div class=\"date\">Date: 2015-01-01 10:02:00 Ann:</div>\r\n"
            "<div class=\"del_recv_msg\">gone</div>\r\n"
            "</end>");

  MessageRecord missing = row_;
  missing.handleId = 99;  // no conversation: head and tail, no report
  Recorder none;
  ASSERT_EQ(html_.WriteMessagePage(missing, messages_, tmp_.path() / "e.html", &Recorder::Callback,
                                   &none),
            0);
  EXPECT_TRUE(none.reports.empty());
  EXPECT_EQ(ReadFile(tmp_.path() / "e.html"), "<p>Name: Unknown, Phone: 555-12-12</p></end>");
}

TEST_F(ConversationPageTest, ChatPageNamesSendersByPushNameWhenUnknown) {
  ChatMap chats;
  ChatRecord sent;
  sent.chatId = 3;
  sent.isFromMe = 1;
  sent.isDeleted = 1;
  sent.senderName = u"Me";
  sent.date = u"2015-01-01 10:00:00";
  sent.text = u"x";
  ChatRecord got = sent;
  got.isFromMe = 0;
  got.isDeleted = 0;
  got.senderName = u"Unknown";
  got.pushName = u"Ann";
  chats[3] = {sent, got};
  ChatRecord row = got;
  row.memberNames = u"";
  row.memberJids = u"49@s.whatsapp.net";
  auto page = tmp_.path() / "c.html";
  ASSERT_EQ(html_.WriteChatPage(row, chats, page, nullptr, nullptr), 0);
  EXPECT_EQ(ReadFile(page),
            "<p>Name: , Phone: 49@s.whatsapp.net</p>"
            "<div class=\"date\">Date: 2015-01-01 10:00:00 Me:</div>\r\n"
            "<div class=\"del_send_msg\">x</div>\r\n"
            "<div class=\"date\">Date: 2015-01-01 10:00:00 Ann:</div>\r\n"
            "<div class=\"recv_msg\">x</div>\r\n"
            "</end>");
}

TEST_F(ConversationPageTest, StopAndOpenFailureAreReported) {
  Recorder stop;
  stop.stop_at = 1;
  auto page = tmp_.path() / "s.html";
  EXPECT_EQ(html_.WriteMessagePage(row_, messages_, page, &Recorder::Callback, &stop), kStopped);
  EXPECT_FALSE(std::filesystem::exists(page));  // no incomplete page is left
  ASSERT_EQ(stop.reports.size(), 2u);
  EXPECT_EQ(stop.reports[1].percent, 100);
  EXPECT_EQ(stop.reports[1].code, kStopped);

  WriteFile(tmp_.path() / "file", "x");
  Recorder fail;
  auto bad = tmp_.path() / "file" / "p.html";  // a file stands where the folder should be
  int rc = html_.WriteMessagePage(row_, messages_, bad, &Recorder::Callback, &fail);
  EXPECT_NE(rc, 0);
  ASSERT_EQ(fail.reports.size(), 1u);
  EXPECT_EQ(fail.reports[0].percent, 100);
  EXPECT_EQ(fail.reports[0].code, rc);
}

TEST(HtmlExportTest, CategoryPagesCollectRowsAndAreSkippedWhenEmpty) {
  TempFolder tmp;
  HtmlExport html;
  ASSERT_TRUE(html.SetTemplate(HtmlExport::kContacts, "<table>{|content|}</table>", u""));
  auto page = tmp.path() / "Contacts" / "1" / "Contacts.html";
  EXPECT_EQ(html.WriteContactsPage(page), 0);
  EXPECT_FALSE(std::filesystem::exists(page));

  Recorder rec;
  ContactRecord a;
  a.name = u"A";
  a.phone = u"1";
  ContactRecord b = a;
  b.name = u"B";
  EXPECT_EQ(html.AddContactRow(a, page, &Recorder::Callback, &rec), 0);
  EXPECT_EQ(html.AddContactRow(b, page, &Recorder::Callback, &rec), 0);
  ASSERT_EQ(rec.reports.size(), 2u);
  EXPECT_EQ(rec.reports[0].percent, 100);
  EXPECT_EQ(rec.reports[0].path, page);
  ASSERT_EQ(html.WriteContactsPage(page), 0);
  EXPECT_EQ(ReadFile(page), "<table>" + ContactRow(a) + ContactRow(b) + "</table>");
  html.ClearRows();
  EXPECT_FALSE(html.has_contacts());
}

}  // namespace
}  // namespace salvora

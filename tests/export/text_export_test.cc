#include "export/text_export.h"

#include <string>

#include <gtest/gtest.h>

#include "core/text.h"
#include "export_test_util.h"

namespace salvora {
namespace {

using testing::ReadFile;
using testing::TempFolder;

constexpr char kBom[] = "\xEF\xBB\xBF";

TEST(TextExportTest, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
  struct Case {
    std::u16string_view in;
    const char* out;
  } cases[] = {
      {u"plain", "plain"},
      {u"", ""},
      {u"a,b", "\"a,b\""},
      {u"say \"hi\"", "\"say \"\"hi\"\"\""},
      {u"two\nlines", "\"two\r\nlines\""},
      {u"crlf\r\nkept", "\"crlf\r\nkept\""},
      {u"cr\ronly", "\"cr\r\nonly\""},
      {u"Zoë", "Zoë"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(CsvField(c.in), c.out);
  }
}

TEST(TextExportTest, MessageTranscriptAlignsLabelsAndUsesCrLf) {
  TempFolder tmp;
  MessageMap messages;
  MessageRecord sent;
  sent.handleId = 4;
  sent.isFromMe = 1;
  sent.contactName = u"Ann";
  sent.address = u"555-12-12";
  sent.date = u"2015-03-07 09:05:02";
  sent.text = u"Line one\nline two";
  MessageRecord got = sent;
  got.isFromMe = 0;
  got.contactName = u"Unknown";
  got.text = u"ok";
  messages[4] = {sent, got};
  auto path = tmp.path() / "Message" / "Ann-1" / "Ann(555-12-12).txt";
  ASSERT_EQ(WriteMessageTranscript(sent, messages, path), 0);
  EXPECT_EQ(ReadFile(path), std::string(kBom) +
                                "        To: Ann(555-12-12)\r\n"
                                "      Data: 2015-03-07 09:05:02\r\n"
                                "   Content: Line one\r\nline two\r\n"
                                "\r\n"
                                "      From: 555-12-12\r\n"
                                "      Data: 2015-03-07 09:05:02\r\n"
                                "   Content: ok\r\n"
                                "\r\n");
  MessageRecord lonely = sent;
  lonely.handleId = 5;
  ASSERT_EQ(WriteMessageTranscript(lonely, messages, tmp.path() / "empty.txt"), 0);
  EXPECT_EQ(ReadFile(tmp.path() / "empty.txt"), kBom);
}

TEST(TextExportTest, WhatsAppTranscriptAndTable) {
  TempFolder tmp;
  ChatMap chats;
  ChatRecord got;
  got.chatId = 9;
  got.senderName = u"Unknown";
  got.pushName = u"Ann";
  got.date = u"2015-03-07 09:05:02";
  got.text = u"one, two";
  ChatRecord sent = got;
  sent.isFromMe = 1;
  sent.senderName = u"Me";
  sent.pushName = u"";
  sent.text = u"a \"quote\"\nand a line";
  chats[9] = {got, sent};

  ASSERT_EQ(WriteWhatsAppTranscript(got, chats, tmp.path() / "c.txt"), 0);
  std::string transcript = ReadFile(tmp.path() / "c.txt");
  const std::string first = std::string(kBom) + "      From: Ann\r\n";
  EXPECT_EQ(transcript.substr(0, first.size()), first);
  EXPECT_NE(transcript.find("        To: Me()\r\n"), std::string::npos);

  ASSERT_EQ(WriteWhatsAppTable(got, chats, tmp.path() / "c.csv"), 0);
  EXPECT_EQ(ReadFile(tmp.path() / "c.csv"),
            std::string(kBom) +
                "Chats,Name/Phone,Date,Type,Content\r\n"
                "Unknown,Ann,2015-03-07 09:05:02,Received,\"one, two\"\r\n"
                "Me,,2015-03-07 09:05:02,Send,\"a \"\"quote\"\"\r\nand a line\"\r\n");

  ChatRecord other = got;
  other.chatId = 10;
  ASSERT_EQ(WriteWhatsAppTable(other, chats, tmp.path() / "empty.csv"), 0);
  EXPECT_EQ(ReadFile(tmp.path() / "empty.csv"),
            std::string(kBom) + "Chats,Name/Phone,Date,Type,Content\r\n");
}

TEST(TextExportTest, MessagesTableListsEveryMessageOfTheExportedConversations) {
  TempFolder tmp;
  MessageMap messages;
  MessageRecord a;
  a.handleId = 1;
  a.contactName = u"Ann, Jr.";
  a.address = u"555";
  a.date = u"2015-01-01 00:00:00";
  a.text = u"hi";
  MessageRecord b = a;
  b.isFromMe = 1;
  b.text = u"yo";
  MessageRecord c = a;
  c.handleId = 2;
  messages[1] = {a, b};
  messages[2] = {c};
  ASSERT_EQ(WriteMessagesTable({&messages[1].back()}, messages, tmp.path() / "sms.csv"), 0);
  EXPECT_EQ(ReadFile(tmp.path() / "sms.csv"),
            std::string(kBom) +
                "Contact,Address,Date,Direction,Text\r\n"
                "\"Ann, Jr.\",555,2015-01-01 00:00:00,Received,hi\r\n"
                "\"Ann, Jr.\",555,2015-01-01 00:00:00,Sent,yo\r\n");
}

TEST(TextExportTest, ContactsTableFillsFourPhoneAndEmailColumns) {
  EXPECT_EQ(ContactsTableHeader(),
            "Name,PhoneOne,PhoneTwo,PhoneThree,PhoneFour,EmailOne,EmailTwo,EmailThree,EmailFour,"
            "Address,Url,Social,Company,Department,Job Title,Birthday,Note,\r\n");
  ContactRecord c;
  c.name = u"Ann";
  c.phone = u"1\n2";
  c.url = u"u";
  c.organization = u"Org, Inc";
  EXPECT_EQ(ContactsTableRow(c), "Ann,1,2,,,,,,,,u,,\"Org, Inc\",,,,,\r\n");
  c.phone = u"1\n2\n3\n4\n5\n6";
  c.email = u"a@x";
  EXPECT_EQ(ContactsTableRow(c), "Ann,1,2,3,\"4\r\n5\r\n6\",a@x,,,,,u,,\"Org, Inc\",,,,,\r\n");

  TempFolder tmp;
  ASSERT_EQ(WriteContactsTable({&c}, tmp.path() / "Contacts.csv"), 0);
  EXPECT_EQ(ReadFile(tmp.path() / "Contacts.csv"),
            std::string(kBom) + ContactsTableHeader() + ContactsTableRow(c));
}

}  // namespace
}  // namespace salvora

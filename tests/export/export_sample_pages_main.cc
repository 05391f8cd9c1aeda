// export-sample-pages: writes an export of a small, varied set of records (a conversation
// with sent, received and deleted messages, a WhatsApp group, contacts, calls, notes) into
// OUT with the templates beside the program, and prints the root of what it wrote. The
// headless-browser check renders its pages.
#include <cstdio>
#include <string>

#include "copying_engine.h"
#include "core/app_services.h"
#include "core/statistics_obj.h"
#include "core/text.h"
#include "export/recover_job.h"

using namespace salvora;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: export-sample-pages OUT\n");
    return 64;
  }
  MessageMap messages;
  auto msg = [](int from_me, int deleted, const char* date, const char* text) {
    MessageRecord m;
    m.isFromMe = from_me;
    m.isDeleted = deleted;
    m.handleId = 1;
    m.date = U(date);
    m.address = u"+49 30 1234567";
    m.contactName = u"Zoë Müller";
    m.text = Utf8ToUtf16(text);
    return m;
  };
  messages[1] = {
      msg(0, 0, "2015-03-07 09:05:02", "Good morning! Are we still on for lunch today?"),
      msg(1, 0, "2015-03-07 09:06:40", "Yes — 12:30 at the usual place 🍜"),
      msg(0, 1, "2015-03-07 09:07:10", "This one was deleted on the phone."),
      msg(1, 0, "2015-03-07 09:08:00", "A line break\nand <b>markup</b> that must show as text."),
  };
  MessageList message_rows = {messages[1].back()};
  message_rows[0].isDeleted = 1;

  ChatMap chats;
  auto chat = [](int from_me, const char* sender, const char* date, const char* text) {
    ChatRecord c;
    c.chatId = 7;
    c.isFromMe = from_me;
    c.senderName = Utf8ToUtf16(sender);
    c.pushName = from_me ? u"" : Utf8ToUtf16(sender);
    c.date = U(date);
    c.text = Utf8ToUtf16(text);
    c.memberNames = u"Ann,Bob";
    c.memberJids = u"491111@s.whatsapp.net,492222@s.whatsapp.net";
    c.chatName = u"Family";
    return c;
  };
  chats[7] = {chat(0, "Ann", "2015-03-08 18:00:00", "Dinner at 7?"),
              chat(1, "Me", "2015-03-08 18:01:00", "Sounds good, I'll bring dessert."),
              chat(0, "Bob", "2015-03-08 18:02:30", "👍")};
  ChatList chat_rows = {chats[7].back()};

  ContactList contacts(3);
  contacts[0] = {0,
                 u"ann@example.com",
                 u"https://ann.example.com",
                 u"+49 30 1111\n+49 170 2222",
                 u"Example GmbH",
                 u"Ann Schmidt"};
  contacts[1] = {0, u"bob@example.org", u"", u"+1 555 0100", u"", u"Bob O'Brien"};
  contacts[2] = {1, u"", u"", u"+33 1 23 45 67 89", u"Café <Paris> & Co", u"Élodie Durand"};
  CallList calls = {{0, 1, 75, u"2015-03-07 10:00:00", u"+49 30 1111", u"Ann Schmidt"},
                    {0, 1, 0, u"2015-03-07 11:00:00", u"+1 555 0100", u"Bob O'Brien"},
                    {1, 0, 3725, u"2015-03-06 20:00:00", u"+33 1 23 45 67 89", u""}};
  NoteList notes = {{0, u"2015-03-01 08:00:00", u"Shopping", u"eggs\nmilk\nbread"},
                    {0, u"2015-03-02 09:30:00", u"Ideas", u"Use <angle brackets> & ampersands"}};

  CStatisticsObj stats;
  if (stats.AddCategory(CategoryId::Messages, message_rows) != 0 ||
      stats.AddCategory(CategoryId::Contacts, contacts) != 0 ||
      stats.AddCategory(CategoryId::CallHistory, calls) != 0 ||
      stats.AddCategory(CategoryId::Notes, notes) != 0 ||
      stats.AddCategory(CategoryId::WhatsApp, chat_rows) != 0) {
    std::fprintf(stderr, "export-sample-pages: the statistics refused a category\n");
    return 1;
  }
  testing::CopyingEngine engine;
  RecoverSource source{&stats, &engine, &messages, &chats, u"Ann's iPhone"};
  RecoverJob job(argv[1], source, nullptr);
  if (int rc = job.LoadTemplates(GetAppDir()); rc != 0) {
    std::fprintf(stderr, "export-sample-pages: cannot read %s (%d)\n",
                 job.failed_template().c_str(), rc);
    return 1;
  }
  job.Run();
  RecoverCounts c = job.Counts();
  std::printf("%s\n%d of %d done, %d failed\n", argv[1], c.done, c.total, c.failed);
  return c.failed == 0 && c.done == c.total ? 0 : 1;
}

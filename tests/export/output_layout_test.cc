#include "export/output_layout.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "core/text.h"
#include "export_test_util.h"

namespace salvora {
namespace {

using testing::TempFolder;
using testing::WriteFile;

constexpr char16_t kStamp[] = u"20150307090502";

TEST(OutputLayoutTest, RunStampIsFourteenDigitsOfTheLocalTime) {
  std::tm t{};
  t.tm_year = 2015 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 2;
  EXPECT_EQ(FormatRunStamp(t), u"20150307090502");
  std::u16string now = RunStampNow();
  ASSERT_EQ(now.size(), 14u);
  EXPECT_EQ(now.find_first_not_of(u"0123456789"), std::u16string::npos);
}

TEST(OutputLayoutTest, SafeNameReplacesWhatCouldLeaveTheFolderOrFailToOpen) {
  struct Case {
    std::u16string_view in;
    std::u16string_view out;
  } cases[] = {
      {u"Ann", u"Ann"},
      {u"../../x", u".._.._x"},
      {u"a/b\\c", u"a_b_c"},
      {u".", u"_"},
      {u"..", u"_"},
      {u"...", u"_"},
      {u"", u"_"},
      {u"name. . ", u"name"},
      {u" lead stays", u" lead stays"},
      {u"a:b*c?d\"e<f>g|h", u"a_b_c_d_e_f_g_h"},
      {std::u16string_view(u"nul\0tab\tlf\ndel\x7f", 15), u"nul_tab_lf_del_"},
      {u"c1\x0085", u"c1_"},
      {u"\xD800x", u"\xFFFDx"},  // an unpaired surrogate has no UTF-8 form
      {u"Émile 😀", u"Émile 😀"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.in));
    EXPECT_EQ(SafeName(c.in), c.out);
  }
}

TEST(OutputLayoutTest, SafeNameCutsAtCharacterBoundaries) {
  std::u16string two_byte(200, u'é');  // 400 bytes of UTF-8
  std::u16string cut = SafeName(two_byte);
  EXPECT_EQ(cut.size(), 127u);  // 254 bytes; a 128th would split at byte 255
  std::u16string emoji;
  for (int i = 0; i < 70; ++i) emoji += u"😀";  // 280 bytes, surrogate pairs
  std::string utf8 = Utf16ToUtf8(SafeName(emoji));
  EXPECT_EQ(utf8.size(), 252u);
  EXPECT_EQ(Utf8ToUtf16(utf8), std::u16string(SafeName(emoji)));
  // A cut that ends in dots trims them as well.
  std::u16string dots = std::u16string(254, u'a') + u"...b";
  EXPECT_EQ(SafeName(dots), std::u16string(254, u'a'));

  // A file name keeps its extension when the base must be cut.
  std::u16string long_file = std::u16string(300, u'x') + u".JPG";
  std::u16string safe = SafeFileName(long_file);
  EXPECT_EQ(Utf16ToUtf8(safe).size(), 255u);
  EXPECT_EQ(safe.substr(safe.size() - 4), u".JPG");
  // Our own suffix survives, the record's part gives way.
  std::u16string folder = SafeNameWithSuffix(std::u16string(300, u'n'), u"-20150307090502");
  EXPECT_EQ(folder.size(), 255u);
  EXPECT_EQ(folder.substr(240), u"-20150307090502");
}

TEST(OutputLayoutTest, UniquePathNumbersTakenNames) {
  TempFolder tmp;
  const auto dir = tmp.path();
  EXPECT_EQ(UniquePath(dir / "IMG_0001.JPG"), dir / "IMG_0001.JPG");
  WriteFile(dir / "IMG_0001.JPG", "a");
  EXPECT_EQ(UniquePath(dir / "IMG_0001.JPG"), dir / "IMG_0001(1).JPG");
  WriteFile(dir / "IMG_0001(1).JPG", "b");
  EXPECT_EQ(UniquePath(dir / "IMG_0001.JPG"), dir / "IMG_0001(2).JPG");

  WriteFile(dir / "Recording", "c");
  EXPECT_EQ(UniquePath(dir / "Recording"), dir / "Recording(1)");
  std::filesystem::create_directory(dir / "folder.d");  // a folder takes the name too
  EXPECT_EQ(UniquePath(dir / "folder.d"), dir / "folder(1).d");
  // A link whose target is missing is a taken name: a copy never follows it out.
  ASSERT_EQ(::symlink("/nonexistent/target", (dir / "link.txt").c_str()), 0);
  EXPECT_EQ(UniquePath(dir / "link.txt"), dir / "link(1).txt");

  // The number fits into the 255-byte limit by cutting the base.
  std::string base(251, 'b');
  WriteFile(dir / (base + ".txt"), "d");
  std::filesystem::path numbered = UniquePath(dir / (base + ".txt"));
  EXPECT_EQ(numbered.filename().string(), std::string(248, 'b') + "(1).txt");
}

TEST(OutputLayoutTest, ConversationNamesAndFolders) {
  TempFolder tmp;
  const auto root = tmp.path();

  MessageRecord unknown;
  unknown.address = u"555-12-12";
  ConversationPaths paths = MessageConversationPaths(root, unknown, kStamp);
  EXPECT_EQ(paths.folder, root / "Message" / "Unknown-20150307090502");
  EXPECT_EQ(paths.transcript, paths.folder / "Unknown(555-12-12).txt");
  EXPECT_EQ(paths.page, paths.folder / "Unknown(555-12-12).html");

  MessageRecord no_address;
  no_address.contactName = u"Ann";
  EXPECT_EQ(MessageFileBase(no_address), u"Ann");

  struct ChatCase {
    std::u16string_view memberNames, memberJids, chatName, expected;
  } chats[] = {
      {u"Ann", u"4912345@s.whatsapp.net", u"Ann", u"Ann(4912345@s.whatsapp.net)"},
      {u"", u"4912345@s.whatsapp.net", u"", u"4912345@s.whatsapp.net"},
      {u"Ann,Bob", u"1@s,2@s", u"Family", u"Family"},
      {u"Ann,Bob", u"1@s,2@s", u"", u"Unknown"},
      {u"", u"", u"Chat", u"Unknown"},
  };
  for (const ChatCase& c : chats) {
    SCOPED_TRACE(Utf16ToUtf8(c.expected));
    ChatRecord row;
    row.memberNames = c.memberNames;
    row.memberJids = c.memberJids;
    row.chatName = c.chatName;
    EXPECT_EQ(WhatsAppChatName(row), c.expected);
  }
  ChatRecord group;
  group.memberNames = u"Ann,Bob";
  group.chatName = u"Family";
  ConversationPaths chat = WhatsAppChatPaths(root, group, kStamp);
  EXPECT_EQ(chat.folder, root / "WhatsApp Message" / "Family-20150307090502");
  EXPECT_EQ(chat.transcript.filename(), "Family.txt");
  EXPECT_EQ(chat.table.filename(), "Family.csv");
  EXPECT_EQ(chat.page.filename(), "Family.html");

  EXPECT_EQ(ContactsPagePath(root, kStamp), root / "Contacts" / "20150307090502" / "Contacts.html");
  EXPECT_EQ(CallHistoryPagePath(root, kStamp),
            root / "CallHistory" / "CallHistory_20150307090502.html");
  EXPECT_EQ(NotesPagePath(root, kStamp), root / "Notes" / "Notes_20150307090502.html");
  EXPECT_EQ(MessagesTablePath(root), root / "Message" / "sms.csv");
}

TEST(OutputLayoutTest, RecordNamesNeverLeaveTheirCategoryFolder) {
  const std::filesystem::path root = "/out";
  FileRecord photo;
  photo.name = u"../../etc/passwd";
  EXPECT_EQ(FileDestination(root, CategoryId::CameraRoll, photo),
            root / "Camera Roll" / ".._.._etc_passwd");
  AppFileRecord app;
  app.appName = u"..";
  app.fileName = u"a/../../b.MOV";
  EXPECT_EQ(AppFileDestination(root, CategoryId::AppVideos, app),
            root / "App Video" / "_" / "a_.._.._b.MOV");
  MessageRecord hostile;
  hostile.contactName = u"../../x";
  hostile.address = u"/etc";
  EXPECT_EQ(MessageConversationPaths(root, hostile, kStamp).transcript,
            root / "Message" / ".._.._x-20150307090502" / ".._.._x(_etc).txt");
}

}  // namespace
}  // namespace salvora

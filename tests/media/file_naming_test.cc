#include "media/file_naming.h"

#include <gtest/gtest.h>

namespace salvora {
namespace {

TEST(FileNamingTest, DisplayName) {
  struct Case {
    const char* key;
    const char* type;
    std::u16string_view name;
  };
  const Case cases[] = {
      {"MediaDomain-Library/SMS/Attachments/ab/01/IMG_0001.jpeg", "jpg", u"IMG_0001.JPG"},
      {"MediaDomain-Library/SMS/Attachments/ab/01/audio", "mp3", u"audio.MP3"},
      {"AppDomain-com.x-Documents/clip.final.mov", "mp4", u"clip.final.MP4"},
      {"no slash.at.all", "png", u"no slash.at.PNG"},
      {"AppDomain-com.x-Documents/.hidden", "gif", u".GIF"},
      {"AppDomain-com.x-Documents/", "jpg", u".JPG"},
      {"AppDomain-com.x-Documents/caf\xC3\xA9.png", "png", u"caf\u00E9.PNG"},
      {"AppDomain-com.x-Documents/bad\xFF.png", "png", u"bad\uFFFD.PNG"},
      {"AppDomain-com.x-Docs.d/name", "heic", u"name.HEIC"},  // the dot of a folder is not cut
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(DisplayName(c.key, c.type), c.name);
  }
}

TEST(FileNamingTest, PhotoNameKeepsTheKeysExtension) {
  EXPECT_EQ(PhotoName("CameraRollDomain-Media/DCIM/100APPLE/IMG_0002.MOV"), u"IMG_0002.MOV");
  EXPECT_EQ(PhotoName("CameraRollDomain-Media/DCIM/100APPLE/IMG_0003.HEIC"), u"IMG_0003.HEIC");
  EXPECT_EQ(PhotoName("plain"), u"plain");
  EXPECT_EQ(PhotoName("a/\xE2\x82"), u"\uFFFD");  // a cut sequence is one U+FFFD
}

TEST(FileNamingTest, AppNameOfKey) {
  struct Case {
    const char* key;
    std::u16string_view app;
  };
  const Case cases[] = {
      {"AppDomain-com.example.app-Documents/a.jpg", u"example.app"},
      {"AppDomain-net.example.tool-Library/x.png", u"example.tool"},
      {"AppDomain-org.example-Library/x.png", u"other"},
      {"AppDomain-org.x-Library/com.y-z/a.gif", u"y"},
      {"AppDomain-net.a-Library/com.b-c/x.png", u"b"},  // "com." anywhere wins over "net."
      {"AppDomain-com.example.app", u"other"},          // no "-" after the bundle id
      {"AppDomain-com.-Documents/a.jpg", u"other"},     // nothing between
      {"AppDomain-net.whatsapp.WhatsApp-Library/x.jpg", u"whatsapp.WhatsApp"},
      {"AppDomain-com.\xC3\xA9quipe-Documents/a.jpg", u"\u00E9quipe"},
      {"AppDomain-com.bad\xFF-Documents/a.jpg", u"bad\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(AppNameOfKey(c.key), c.app);
  }
}

}  // namespace
}  // namespace salvora

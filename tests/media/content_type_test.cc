#include "media/content_type.h"

#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "backup/manifest_test_util.h"
#include "media/extension_lists.h"

namespace salvora {
namespace {

using namespace std::string_view_literals;

struct SignatureCase {
  const char* label;
  std::string_view bytes;
  size_t padTo;      // zero bytes appended up to this size (0: the bytes as they are)
  const char* type;  // "" for no type
};

// Every row of the table, a near miss for each, the short-file rule and the order of the
// detectors.
constexpr SignatureCase kSignatures[] = {
    {"mpeg program stream",
     "\x00\x00\x01\xBA\x44\x00\x04\x00\x04\x01\x01\x89\xC3\xF8\x00\x00\x01\xBB"sv, 512, "mpeg"},
    {"mpeg system header ending at byte 32",
     "\x00\x00\x01\xBA"
     "0123456789abcdefghijklmn"
     "\x00\x00\x01\xBB"sv,
     512, "mpeg"},
    {"mpeg system header past byte 32",
     "\x00\x00\x01\xBA"
     "0123456789abcdefghijklmno"
     "\x00\x00\x01\xBB"sv,
     512, ""},
    {"mpeg pack without system header", "\x00\x00\x01\xBA\x44"sv, 512, ""},
    {"mpeg video sequence", "\x00\x00\x01\xB3\x14\x00\xF0\x13\xFF\xFF\xE0\x18\x00\x00\x01\xB8"sv,
     512, "mpeg"},
    {"mpeg sequence without group", "\x00\x00\x01\xB3\x14\x00\xF0\x13"sv, 512, ""},
    {"mp4 isom",
     "\x00\x00\x00\x20"
     "ftypisom"sv,
     512, "mp4"},
    {"mp4 iso2",
     "\x00\x00\x00\x20"
     "ftypiso2"sv,
     512, "mp4"},
    {"mp4 mp42",
     "\x00\x00\x00\x20"
     "ftypmp42"sv,
     512, "mp4"},
    {"mp4 mp41 is not listed",
     "\x00\x00\x00\x20"
     "ftypmp41"sv,
     512, ""},
    {"mp42 without ftyp",
     "\x00\x00\x00\x20"
     "freemp42"sv,
     512, ""},
    {"rmvb", ".RMF\x00\x00\x00\x12"sv, 512, "rmvb"},
    {"rmvb lower case", ".rmf"sv, 512, ""},
    {"wmv", "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv, 512, "wmv"},
    {"wmv guid last byte", "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6D"sv,
     512, ""},
    {"avi",
     "RIFF\x10\x00\x00\x00"
     "AVI LIST"sv,
     512, "avi"},
    {"avi without LIST",
     "RIFF\x10\x00\x00\x00"
     "AVI JUNK"sv,
     512, ""},
    {"3gp",
     "\x00\x00\x00\x14"
     "ftyp3gp4"sv,
     512, "3gp"},
    {"3gp2 brand",
     "\x00\x00\x00\x14"
     "ftyp3g2a"sv,
     512, ""},
    {"mp3 id3v2.3", "ID3\x03\x00\x00\x00\x00\x10\x7F"sv, 512, "mp3"},
    {"mp3 unsynchronised flag", "ID3\x04\x00\x80\x00\x00\x00\x01"sv, 512, "mp3"},
    {"mp3 flag in low bits", "ID3\x03\x00\x10\x00\x00\x00\x01"sv, 512, ""},
    {"mp3 version FF", "ID3\xFF\x00\x00\x00\x00\x00\x01"sv, 512, ""},
    {"mp3 minor version FF", "ID3\x03\xFF\x00\x00\x00\x00\x01"sv, 512, ""},
    {"mp3 size byte 80", "ID3\x03\x00\x00\x00\x00\x80\x01"sv, 512, ""},
    {"mid", "MThd\x00\x00\x00\x06\x00\x01\x00\x02\x01\xE0MTrk"sv, 512, "mid"},
    {"mid header length 7", "MThd\x00\x00\x00\x07\x00\x01\x00\x02\x01\xE0MTrk"sv, 512, ""},
    {"wav",
     "RIFF\x24\x08\x00\x00"
     "WAVEfmt "sv,
     512, "wav"},
    {"wav without fmt",
     "RIFF\x24\x08\x00\x00"
     "WAVEdata"sv,
     512, ""},
    {"mov moov first", "\x00\x00\x00\x08moov"sv, 512, "mov"},
    {"mov qt brand",
     "\x00\x00\x00\x14"
     "ftypqt  "sv,
     512, "mov"},
    {"mov qt brand without blanks",
     "\x00\x00\x00\x14"
     "ftypqt\x00\x00"sv,
     512, ""},
    {"gif89a", "GIF89a"sv, 512, "gif"},
    {"gif87a", "GIF87a"sv, 512, "gif"},
    {"gif letter in version", "GIF8Xa"sv, 512, ""},
    {"gif upper-case letter", "GIF89A"sv, 512, ""},
    {"bmp", "BM\x36\x00\x0C\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00"sv, 512, "bmp"},
    {"bmp BA", "BA\x36\x00\x0C\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00"sv, 512, "bmp"},
    {"bmp reserved word set",
     "BM\x36\x00\x0C\x00\x01\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00"sv, 512, ""},
    {"bmp core header", "BM\x36\x00\x0C\x00\x00\x00\x00\x00\x1A\x00\x00\x00\x0C\x00\x00\x00"sv, 512,
     ""},
    {"jpg jfif", "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00"sv, 512, "jpg"},
    {"jpg exif",
     "\xFF\xD8\xFF\xE1\x1C\x45"
     "Exif\x00\x00"sv,
     512, "jpg"},
    {"png", "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR"sv, 512, "png"},
    {"png damaged by a text transfer", "\x89PNG\n\x1A\n\x00"sv, 512, ""},
    {"ico one image",
     "\x00\x00\x01\x00\x01\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x16\x00\x00\x00"sv,
     512, "ico"},
    {"ico two images",
     "\x00\x00\x01\x00\x02\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x26\x00\x00\x00"
     "\x20\x20\x00\x00\x01\x00\x20\x00\xA8\x10\x00\x00\x8E\x04\x00\x00"sv,
     512, "ico"},
    {"ico second offset wrong",
     "\x00\x00\x01\x00\x02\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x26\x00\x00\x00"
     "\x20\x20\x00\x00\x01\x00\x20\x00\xA8\x10\x00\x00\x8F\x04\x00\x00"sv,
     512, ""},
    {"ico reserved byte set",
     "\x00\x00\x01\x00\x01\x00"
     "\x10\x10\x00\x01\x01\x00\x20\x00\x68\x04\x00\x00\x16\x00\x00\x00"sv,
     512, ""},
    {"ico no images", "\x00\x00\x01\x00\x00\x00"sv, 512, ""},
    {"ico directory beyond 512 bytes", "\x00\x00\x01\x00\x20\x00"sv, 512, ""},
    {"cursor, not icon",
     "\x00\x00\x02\x00\x01\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x16\x00\x00\x00"sv,
     512, ""},
    {"heic",
     "\x00\x00\x00\x18"
     "ftypheic"sv,
     512, "heic"},
    {"heix",
     "\x00\x00\x00\x18"
     "ftypheix"sv,
     512, "heic"},
    {"hevc",
     "\x00\x00\x00\x18"
     "ftyphevc"sv,
     512, "heic"},
    {"heim",
     "\x00\x00\x00\x18"
     "ftypheim"sv,
     512, "heic"},
    {"heis",
     "\x00\x00\x00\x18"
     "ftypheis"sv,
     512, "heic"},
    {"mif1",
     "\x00\x00\x00\x18"
     "ftypmif1"sv,
     512, "heic"},
    {"msf1",
     "\x00\x00\x00\x18"
     "ftypmsf1"sv,
     512, "heic"},
    {"avif is not heic",
     "\x00\x00\x00\x18"
     "ftypavif"sv,
     512, ""},
    {"heic brand without ftyp",
     "\x00\x00\x00\x18"
     "fre1heic"sv,
     512, ""},
    {"jpeg quantisation table first", "\xFF\xD8\xFF\xDB\x00\x43"sv, 512, "jpg"},
    {"jpeg adobe segment",
     "\xFF\xD8\xFF\xEE\x00\x0E"
     "Adobe"sv,
     512, "jpg"},
    {"jpeg app0 without JFIF", "\xFF\xD8\xFF\xE0\x00\x10XXXX"sv, 512, "jpg"},
    {"not a jpeg marker", "\xFF\xD8\xFE\xDB"sv, 512, ""},
    {"sqlite database", "SQLite format 3\x00"sv, 512, ""},
    {"zeros", ""sv, 512, ""},
    // Short files are typed on the bytes they have.
    {"empty", ""sv, 0, ""},
    {"three jpeg bytes", "\xFF\xD8\xFF"sv, 0, "jpg"},
    {"two jpeg bytes", "\xFF\xD8"sv, 0, ""},
    {"png signature only", "\x89PNG\r\n\x1A\n"sv, 0, "png"},
    {"png signature cut", "\x89PNG\r\n\x1A"sv, 0, ""},
    {"gif of six bytes", "GIF89a"sv, 0, "gif"},
    {"gif of five bytes", "GIF89"sv, 0, ""},
    {"id3 of nine bytes", "ID3\x03\x00\x00\x00\x00\x00"sv, 0, ""},
    {"heic box of twelve bytes",
     "\x00\x00\x00\x18"
     "ftypheic"sv,
     0, "heic"},
    {"heic box cut at eleven",
     "\x00\x00\x00\x18"
     "ftyphei"sv,
     0, ""},
    {"mp4 brand of three bytes",
     "\x00\x00\x00\x18"
     "ftypiso"sv,
     0, "mp4"},
    {"mpeg of eight bytes", "\x00\x00\x01\xBA\x00\x00\x01\xBB"sv, 0, "mpeg"},
    {"mpeg cut inside the system header", "\x00\x00\x01\xBA\x00\x00\x01"sv, 0, ""},
    {"ico of 22 bytes",
     "\x00\x00\x01\x00\x01\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x16\x00\x00\x00"sv,
     0, "ico"},
    {"ico cut at 21 bytes",
     "\x00\x00\x01\x00\x01\x00"
     "\x10\x10\x00\x00\x01\x00\x20\x00\x68\x04\x00\x00\x16\x00\x00"sv,
     0, ""},
    {"bmp cut at 17 bytes", "BM\x36\x00\x0C\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00"sv, 0,
     ""},
    {"short png attachment", "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR"sv, 300, "png"},
};

TEST(ContentTypeTest, SignatureTable) {
  for (const SignatureCase& c : kSignatures) {
    SCOPED_TRACE(c.label);
    std::string bytes(c.bytes);
    if (bytes.size() < c.padTo) bytes.resize(c.padTo, '\0');
    // A buffer of exactly the file's size, so that the sanitizers see any read past it.
    std::vector<uint8_t> buffer(bytes.begin(), bytes.end());
    EXPECT_EQ(DetectContentType(buffer), c.type);
  }
}

TEST(ContentTypeTest, OnlyTheFirst512BytesCount) {
  // An icon directory that needs more than 512 bytes is refused even when the bytes exist.
  std::string ico("\x00\x00\x01\x00\x20\x00", 6);
  uint32_t offset = 6 + 16 * 32;
  for (int i = 0; i < 32; ++i) {
    std::string entry(16, '\0');
    entry[8] = 1;  // one byte per image
    for (int b = 0; b < 4; ++b) entry[12 + b] = static_cast<char>((offset >> (8 * b)) & 0xFF);
    ++offset;
    ico += entry;
  }
  ico.resize(2048, '\0');
  std::vector<uint8_t> buffer(ico.begin(), ico.end());
  EXPECT_EQ(DetectContentType(buffer), "");
  // 31 images fit (6 + 16 * 31 = 502).
  ico[4] = 31;
  std::vector<uint8_t> fits(ico.begin(), ico.end());
  for (int i = 0; i < 31; ++i) {
    size_t at = 6 + 16 * static_cast<size_t>(i) + 12;
    uint32_t expected = 6 + 16 * 31 + static_cast<uint32_t>(i);
    for (int b = 0; b < 4; ++b) fits[at + b] = static_cast<uint8_t>((expected >> (8 * b)) & 0xFF);
  }
  EXPECT_EQ(DetectContentType(fits), "ico");
}

TEST(ProbeFileTest, OneLookAtAFile) {
  testing::TempDir dir;
  const std::filesystem::path& d = dir.path();
  std::string jpeg("\xFF\xD8\xFF\xDB", 4);
  jpeg.resize(70000, 'j');
  testing::WriteFile(d / "big.jpg", jpeg);
  testing::WriteFile(d / "small.png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(292, 'p'));
  testing::WriteFile(d / "empty", "");
  testing::WriteFile(d / "text", "hello");
  std::filesystem::create_directories(d / "folder");
  ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(d / "small.png", d / "link");
  std::filesystem::create_symlink(d / "gone", d / "dangling");

  struct Case {
    const char* name;
    FileProbe::State state;
    const char* type;
    uint64_t size;
  };
  const Case cases[] = {
      {"big.jpg", FileProbe::State::kRead, "jpg", 70000},
      {"small.png", FileProbe::State::kRead, "png", 300},
      {"empty", FileProbe::State::kRead, "", 0},
      {"text", FileProbe::State::kRead, "", 5},
      {"link", FileProbe::State::kRead, "png", 300},
      {"folder", FileProbe::State::kUnreadable, "", 0},
      {"fifo", FileProbe::State::kUnreadable, "", 0},  // must not block
      {"missing", FileProbe::State::kMissing, "", 0},
      {"dangling", FileProbe::State::kMissing, "", 0},
      {"text/below", FileProbe::State::kMissing, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileProbe probe = ProbeFile(d / c.name);
    EXPECT_EQ(probe.state, c.state);
    EXPECT_EQ(probe.type, c.type);
    EXPECT_EQ(probe.size, c.size);
    EXPECT_EQ(DetectFileType(d / c.name), c.type);
  }
  EXPECT_EQ(ProbeFile("").state, FileProbe::State::kMissing);
}

TEST(ExtensionListsTest, MediaKindOfExtension) {
  struct Case {
    const char* extension;
    MediaKind kind;
  };
  constexpr Case cases[] = {
      {"jpg", MediaKind::kImage},
      {"JPG", MediaKind::kImage},
      {"png", MediaKind::kImage},
      {"heic", MediaKind::kImage},
      {"ico", MediaKind::kImage},
      {"bmp", MediaKind::kImage},
      {"gif", MediaKind::kImage},
      {"mp3", MediaKind::kAudio},
      {"wav", MediaKind::kAudio},
      {"mid", MediaKind::kAudio},
      {"mp4", MediaKind::kVideo},
      {"mov", MediaKind::kVideo},
      {"mpeg", MediaKind::kVideo},
      {"avi", MediaKind::kVideo},
      {"wmv", MediaKind::kVideo},
      {"3gp", MediaKind::kVideo},
      {"rmvb", MediaKind::kVideo},
      {"rm", MediaKind::kAudio},
      {"txt", MediaKind::kNone},
      {"", MediaKind::kNone},
      // Substring search, as the lists are used: "pe" lies inside "*.jpeg".
      {"pe", MediaKind::kImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    EXPECT_EQ(MediaKindOfExtension(c.extension), c.kind);
  }
}

}  // namespace
}  // namespace salvora

#include "backup/mbdb_parser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/file_id_hasher.h"
#include "backup/manifest_reader.h"
#include "backup/manifest_test_util.h"
#include "core/result_codes.h"

namespace salvora {
namespace {

using testing::MbdbBytes;
using testing::MbdbRecordSpec;

TEST(MbdbParserTest, DeliversEveryFieldOfARecord) {
  MbdbRecordSpec spec;
  spec.domain = "HomeDomain";
  spec.path = "Library/SMS/sms.db";
  spec.linkTarget = std::nullopt;
  spec.dataHash = std::string("\x01\x02\x03", 3);
  spec.encryptionKey = std::string("\x00\x00\x00\x03wrapped", 11);
  spec.mode = 0x81A4;
  spec.inode = 0x0102030405060708ull;
  spec.userId = 501;
  spec.groupId = 20;
  spec.modificationTime = 0x5F000001;
  spec.accessTime = 0x5F000002;
  spec.creationTime = 0x5F000003;
  spec.size = 176128;
  spec.protectionClass = 3;
  spec.properties = {{"com.apple.assetsd.UUID", std::string("\xFF\x00", 2)}, {"", std::nullopt}};
  MbdbBytes bytes;
  bytes.Add(spec).AddFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG");

  MbdbParser parser(bytes.str());
  ASSERT_TRUE(parser.header_ok());
  MbdbRecord r;
  ASSERT_EQ(parser.Next(r), MbdbParser::Step::kRecord);
  EXPECT_EQ(r.offset, kMbdbHeaderSize);
  EXPECT_EQ(r.domain, "HomeDomain");
  EXPECT_EQ(r.path, "Library/SMS/sms.db");
  EXPECT_FALSE(r.linkTarget.has_value());
  EXPECT_EQ(r.dataHash, std::string_view("\x01\x02\x03", 3));
  EXPECT_EQ(r.encryptionKey, std::string_view("\x00\x00\x00\x03wrapped", 11));
  EXPECT_EQ(r.mode, 0x81A4);
  EXPECT_TRUE(r.IsRegularFile());
  EXPECT_EQ(r.inode, 0x0102030405060708ull);
  EXPECT_EQ(r.userId, 501u);
  EXPECT_EQ(r.groupId, 20u);
  EXPECT_EQ(r.modificationTime, 0x5F000001u);
  EXPECT_EQ(r.accessTime, 0x5F000002u);
  EXPECT_EQ(r.creationTime, 0x5F000003u);
  EXPECT_EQ(r.size, 176128u);
  EXPECT_EQ(r.protectionClass, 3);
  ASSERT_EQ(r.properties.size(), 2u);
  EXPECT_EQ(r.properties[0].name, "com.apple.assetsd.UUID");
  EXPECT_EQ(r.properties[0].value, std::string_view("\xFF\x00", 2));
  EXPECT_EQ(r.properties[1].name, "");
  EXPECT_FALSE(r.properties[1].value.has_value());

  ASSERT_EQ(parser.Next(r), MbdbParser::Step::kRecord);
  EXPECT_EQ(r.path, "Media/DCIM/100APPLE/IMG_0001.JPG");
  EXPECT_TRUE(r.properties.empty());  // the reused record's list was cleared
  EXPECT_EQ(parser.Next(r), MbdbParser::Step::kEnd);
  EXPECT_EQ(parser.Next(r), MbdbParser::Step::kEnd);
  EXPECT_EQ(parser.offset(), bytes.str().size());
}

TEST(MbdbParserTest, HeaderRules) {
  struct Case {
    std::string_view bytes;
    MbdbParser::Step first;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {""sv, MbdbParser::Step::kBadHeader},
      {"mbd"sv, MbdbParser::Step::kBadHeader},
      {"MBDB\x05\x00"sv, MbdbParser::Step::kBadHeader},
      {"mbdx\x05\x00"sv, MbdbParser::Step::kBadHeader},
      {"mbdb"sv, MbdbParser::Step::kEnd},  // the version bytes are missing
      {"mbdb\x05"sv, MbdbParser::Step::kEnd},
      {"mbdb\x05\x00"sv, MbdbParser::Step::kEnd},  // no records
      {"mbdb\x09\x09"sv, MbdbParser::Step::kEnd},  // the version is not checked
      {"mbdb\x05\x00\x00"sv, MbdbParser::Step::kTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.bytes)));
    MbdbParser parser(c.bytes);
    MbdbRecord r;
    EXPECT_EQ(parser.Next(r), c.first);
  }
}

TEST(MbdbParserTest, EveryTruncationKeepsTheRecordsBeforeIt) {
  MbdbRecordSpec with_properties;
  with_properties.domain = "MediaDomain";
  with_properties.path = "Media/PhotoStreamsData/a/b.jpg";
  with_properties.properties = {{"name", "value"}};
  MbdbBytes bytes;
  bytes.AddFile("HomeDomain", "Library/SMS/sms.db").Add(with_properties);
  const std::string& full = bytes.str();
  MbdbBytes first_only;
  first_only.AddFile("HomeDomain", "Library/SMS/sms.db");
  const size_t first_end = first_only.str().size();  // header and first record

  // Cut the file at every length, copying each prefix into a buffer of its own size so that
  // the sanitizers see any read past it.
  for (size_t length = kMbdbHeaderSize; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    MbdbParser parser{std::span<const uint8_t>(prefix)};
    MbdbRecord r;
    size_t records = 0;
    MbdbParser::Step step;
    while ((step = parser.Next(r)) == MbdbParser::Step::kRecord) ++records;
    size_t expected = length >= first_end ? 1 : 0;
    EXPECT_EQ(records, expected);
    EXPECT_EQ(step, length == kMbdbHeaderSize || length == first_end
                        ? MbdbParser::Step::kEnd
                        : MbdbParser::Step::kTruncated);

    ManifestIndex index;
    EXPECT_EQ(
        ParseMbdb(std::string_view(reinterpret_cast<const char*>(prefix.data()), length), index),
        kOk);
    EXPECT_EQ(index.size(), expected);
  }
}

TEST(MbdbParserTest, StringLengthsThatClaimTooMuchStopTheParse) {
  // A domain length of 0xFFFE with only a few bytes behind it.
  std::string bytes(
      "mbdb\x05\x00\xFF\xFE"
      "abc",
      11);
  MbdbParser parser(bytes);
  MbdbRecord r;
  EXPECT_EQ(parser.Next(r), MbdbParser::Step::kTruncated);
  EXPECT_EQ(parser.offset(), kMbdbHeaderSize);
}

// Which records become index entries.
TEST(ReadMbdbTest, RecordsThatBecomeEntries) {
  struct Case {
    const char* label;
    std::optional<std::string> domain;
    std::optional<std::string> path;
    uint16_t mode;
    bool entry;
  };
  const Case cases[] = {
      {"regular file", "HomeDomain", "Library/SMS/sms.db", 0x81A4, true},
      {"symbolic link", "HomeDomain", "Library/link", 0xA1ED, true},
      {"directory", "HomeDomain", "Library/SMS", 0x41ED, false},
      {"directory bits with others set", "HomeDomain", "Library/X", 0x4000 | 0x1FF, false},
      {"absent path", "HomeDomain", std::nullopt, 0x81A4, false},
      {"empty path", "HomeDomain", "", 0x81A4, false},
      {"absent domain", std::nullopt, "Library/a", 0x81A4, false},
      {"empty domain", "", "Library/a", 0x81A4, false},
      {"mode 0", "HomeDomain", "Library/zero", 0x0000, true},
      {"socket-like type", "HomeDomain", "Library/sock", 0xC000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    MbdbRecordSpec spec;
    spec.domain = c.domain;
    spec.path = c.path;
    spec.mode = c.mode;
    MbdbBytes bytes;
    bytes.Add(spec).AddFile("D", "after");  // the record after it is still read
    ManifestIndex index;
    ASSERT_EQ(ParseMbdb(bytes.str(), index), kOk);
    ASSERT_EQ(index.size(), c.entry ? 2u : 1u);
    if (c.entry) {
      EXPECT_EQ(index[0].key, *c.domain + "-" + *c.path);
      EXPECT_EQ(index[0].fileId, FileIdOfKey(index[0].key));
    }
    EXPECT_EQ(index.back().key, "D-after");
  }
}

TEST(ReadMbdbTest, KeysKeepTheirBytes) {
  // Invalid UTF-8 stays as it is in the key (it becomes U+FFFD only where shown) and the id
  // hashes the stored bytes.
  MbdbBytes bytes;
  bytes.AddFile("AppDomain-com.x", std::string("Documents/\xC3(bad\xFF.jpg"));
  ManifestIndex index;
  ASSERT_EQ(ParseMbdb(bytes.str(), index), kOk);
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].key, std::string("AppDomain-com.x-Documents/\xC3(bad\xFF.jpg"));
  EXPECT_EQ(index[0].fileId, FileIdOfKey(index[0].key));
}

TEST(ReadMbdbTest, FileResults) {
  testing::TempDir dir;
  MbdbBytes good;
  good.AddFile("HomeDomain", "Library/SMS/sms.db");
  testing::WriteFile(dir.path() / "good.mbdb", good.str());
  testing::WriteFile(dir.path() / "wrong.mbdb", "mbdx\x05\x00");
  testing::WriteFile(dir.path() / "empty.mbdb", "");
  std::filesystem::create_directories(dir.path() / "folder.mbdb");

  struct Case {
    const char* name;
    int result;
    size_t entries;
  };
  const Case cases[] = {
      {"good.mbdb", kOk, 1},
      {"wrong.mbdb", kInvalidParameter, 0},
      {"empty.mbdb", kInvalidParameter, 0},  // no signature at all
      {"missing.mbdb", kMbdbUnopenable, 0},
      {"folder.mbdb", kMbdbUnopenable, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManifestIndex index = {{"stale", "entry"}};  // replaced in every case
    EXPECT_EQ(ReadMbdb(dir.path() / c.name, index), c.result);
    EXPECT_EQ(index.size(), c.entries);
  }
  ManifestIndex index = {{"stale", "entry"}};
  EXPECT_EQ(ReadMbdb("", index), kInvalidParameter);
  EXPECT_TRUE(index.empty());
}

}  // namespace
}  // namespace salvora

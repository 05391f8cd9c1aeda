#include "backup/backup_reader.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>
#include <plist/plist.h>

#include "backup/plist_ptr.h"
#include "core/result_codes.h"
#include "core/text.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

// Runs a test in a fixed time zone: Central European, standard bias -60 minutes, with
// daylight saving in summer (which the summary must ignore).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      ::setenv("TZ", saved_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

struct Fields {
  std::string display_name;
  std::string date;  // "YYYY-MM-DDTHH:MM:SSZ" as a date node; empty: no key
  bool date_as_text = false;
  std::string phone;
  std::string version;
  std::string serial;
};

std::string PlistBytes(const Fields& f, bool binary) {
  PlistPtr dict(plist_new_dict());
  plist_dict_set_item(dict.get(), "Build Version", plist_new_string("18C66"));
  if (!f.display_name.empty()) {
    plist_dict_set_item(dict.get(), "Display Name", plist_new_string(f.display_name.c_str()));
  }
  if (!f.date.empty()) {
    if (f.date_as_text) {
      plist_dict_set_item(dict.get(), "Last Backup Date", plist_new_string(f.date.c_str()));
    } else {
      std::tm t{};
      ::strptime(f.date.c_str(), "%Y-%m-%dT%H:%M:%SZ", &t);
      int64_t unix_seconds = ::timegm(&t);
      plist_dict_set_item(dict.get(), "Last Backup Date",
                          plist_new_date(static_cast<int32_t>(unix_seconds - 978307200), 0));
    }
  }
  if (!f.phone.empty()) {
    plist_dict_set_item(dict.get(), "Phone Number", plist_new_string(f.phone.c_str()));
  }
  if (!f.version.empty()) {
    plist_dict_set_item(dict.get(), "Product Version", plist_new_string(f.version.c_str()));
  }
  if (!f.serial.empty()) {
    plist_dict_set_item(dict.get(), "Serial Number", plist_new_string(f.serial.c_str()));
  }
  char* data = nullptr;
  uint32_t length = 0;
  if (binary) {
    plist_to_bin(dict.get(), &data, &length);
  } else {
    plist_to_xml(dict.get(), &data, &length);
  }
  std::string bytes(data, length);
  free(data);
  return bytes;
}

class BackupReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("backup_reader_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path MakeBackup(const std::string& name, const std::string& info_plist) {
    fs::path folder = root_ / name;
    fs::create_directories(folder);
    std::ofstream(folder / "Info.plist", std::ios::binary) << info_plist;
    return folder;
  }
  static void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  fs::path root_;
  ScopedTimeZone tz_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(BackupReaderTest, SummaryFieldsFromXmlAndBinaryPlists) {
  Fields f{"J\xC3\xBCrgen's iPhone \xF0\x9F\x93\xB1", "2018-07-04T05:06:07Z", false,
           "+49 151 \xC3\xA4", "12.1", "F2LXYZ"};
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "xml");
    fs::path folder = MakeBackup(binary ? "bin" : "xml", PlistBytes(f, binary));
    BackupReader reader(root_);
    BackupInfo info;
    ASSERT_EQ(reader.ReadFolder(folder, info), kOk);
    EXPECT_EQ(info.displayName, u"J\u00FCrgen's iPhone \U0001F4F1");
    // 05:06:07 UTC is 06:06:07 in standard time, although July is daylight-saving time.
    EXPECT_EQ(info.lastBackupDate, "2018-07-04 06:06:07");
    EXPECT_EQ(info.phoneNumber, "+49 151 \xC3\xA4");  // raw bytes
    EXPECT_EQ(info.serialNumber, "F2LXYZ");
    EXPECT_EQ(info.isAboveVersion11, 1);
    EXPECT_EQ(info.isEncrypted, 0);
    EXPECT_EQ(info.folderPath, folder);
  }
}

TEST_F(BackupReaderTest, ProductVersionAndDateTextRules) {
  struct Case {
    const char* version;
    int above11;
    const char* date_text;
    const char* shown;
  } cases[] = {
      {"12.1", 1, "2018-03-04T05:06:07Z", "2018-03-04 06:06:07"},
      {"11.4", 0, "2018-12-31T23:30:00Z", "2019-01-01 00:30:00"},  // rolls over the year
      {"  +13", 1, "2018-03-04 05:06:07", "2018-03-04 06:06:07"},
      {"9.3.5", 0, "yesterday", "yesterday"},                    // kept as it stands
      {"beta", 0, "2018-03-04T05:06", "2018-03-04 05:06"},       // a separator is missing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Fields f{"Phone", c.date_text, true, "", c.version, "S"};
    fs::path folder = MakeBackup("b", PlistBytes(f, false));
    BackupInfo info;
    ASSERT_EQ(BackupReader(root_).ReadFolder(folder, info), kOk);
    EXPECT_EQ(info.isAboveVersion11, c.above11);
    EXPECT_EQ(info.lastBackupDate, c.shown);
  }
}

TEST_F(BackupReaderTest, UnreadableAndForeignInfoPlist) {
  fs::create_directories(root_ / "no-info");
  WriteFile(root_ / "stray-file", "not a backup");
  MakeBackup("not-a-plist", "this is not a property list\n<key>Display Name</key>\n");
  MakeBackup("good", PlistBytes({"Good", "2018-03-04T05:06:07Z", false, "", "14.3", "S1"}, true));

  BackupReader reader(root_);
  BackupInfo info;
  info.displayName = u"left alone";
  EXPECT_EQ(reader.ReadFolder(root_ / "no-info", info), kInvalidParameter);
  EXPECT_EQ(info.displayName, u"left alone");

  std::vector<BackupInfo> list;
  EXPECT_EQ(reader.ListBackups(list), kOk);
  ASSERT_EQ(list.size(), 2u);  // the folder without Info.plist and the stray file are left out
  EXPECT_EQ(list[0].displayName, u"Good");
  EXPECT_EQ(list[1].folderPath, root_ / "not-a-plist");  // empty summary, empty date, last
  EXPECT_TRUE(list[1].displayName.empty());
  EXPECT_TRUE(list[1].lastBackupDate.empty());
}

TEST_F(BackupReaderTest, ListIsNewestFirstAndStable) {
  MakeBackup("march", PlistBytes({"March", "2018-03-04T05:06:07Z"}, false));
  MakeBackup("december", PlistBytes({"December", "2018-12-01T00:00:00Z"}, false));
  MakeBackup(".hidden", PlistBytes({"Hidden", "2020-01-01T00:00:00Z"}, false));
  MakeBackup("twin-a", PlistBytes({"Twin", "2018-06-01T00:00:00Z"}, false));
  MakeBackup("twin-b", PlistBytes({"Twin", "2018-06-01T00:00:00Z"}, false));

  BackupReader reader(root_);
  std::vector<fs::path> twins;
  for (const auto& c : reader.candidates()) {
    std::string name = c.filename().string();
    if (name.rfind("twin", 0) == 0) twins.push_back(c);
  }
  std::vector<BackupInfo> list;
  reader.ListBackups(list);
  ASSERT_EQ(list.size(), 4u);  // dot names are skipped
  EXPECT_EQ(list[0].displayName, u"December");
  EXPECT_EQ(list[1].folderPath, twins[0]);  // equal dates keep the enumeration order
  EXPECT_EQ(list[2].folderPath, twins[1]);
  EXPECT_EQ(list[3].displayName, u"March");
}

TEST_F(BackupReaderTest, MissingRootIsAnEmptyList) {
  BackupReader reader(root_ / "does-not-exist");
  std::vector<BackupInfo> list;
  EXPECT_EQ(reader.ListBackups(list), kOk);
  EXPECT_TRUE(list.empty());
}

TEST_F(BackupReaderTest, EncryptionProbe) {
  const std::string ab = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
  const std::string sqlite = std::string("SQLite format 3\0", 16) + std::string(496, '\0');
  const std::string cipher = "\x8f\x1e\x33\x90 random bytes of an encrypted file";
  auto manifest = [](bool encrypted) {
    PlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "IsEncrypted", plist_new_bool(encrypted ? 1 : 0));
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict.get(), &data, &length);
    std::string bytes(data, length);
    free(data);
    return bytes;
  };
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    int encrypted;
  } cases[] = {
      {"flat plain", {{ab, sqlite}}, 0},
      {"flat encrypted", {{ab, cipher}}, 1},
      {"flat lower-case signature", {{ab, "sqlite format 3"}}, 0},
      {"two-level plain", {{"Manifest.db", "x"}, {"31/" + ab, sqlite}}, 0},
      {"two-level encrypted", {{"Manifest.db", "x"}, {"31/" + ab, cipher}}, 1},
      {"two-level ignores a flat file", {{"Manifest.db", "x"}, {ab, cipher}}, 0},
      {"mddata fallback", {{ab + ".mddata", cipher}}, 1},
      {"no address book", {}, 0},
      // The manifest's own flag decides, also without any address book.
      {"manifest says encrypted", {{"Manifest.plist", manifest(true)}}, 1},
      {"manifest says plain", {{"Manifest.plist", manifest(false)}, {ab, cipher}}, 0},
      {"manifest unreadable", {{"Manifest.plist", "garbage"}, {ab, cipher}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path folder = root_ / "probe";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [rel, bytes] : c.files) WriteFile(folder / rel, bytes);
    EXPECT_EQ(BackupReader::ProbeEncryption(folder), c.encrypted);
  }
}

// The real backups of the fixtures folder, listed from one backup root.
TEST(BackupReaderFixtureTest, ListsTheFixtureBackups) {
  const fs::path fixtures = SALVORA_FIXTURES_DIR;
  if (!fs::exists(fixtures / "ios14-backup-partial")) {
    GTEST_SKIP() << "fixtures folder " << fixtures << " is absent";
  }
  ScopedTimeZone tz("EST5EDT,M3.2.0,M11.1.0");  // standard bias +300 minutes
  fs::path root = fs::temp_directory_path() / ("fixture_root_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  fs::create_directory_symlink(fixtures / "ios14-backup-partial", root / "ios14");
  fs::create_directory_symlink(
      fixtures / "encrypted-synthetic/modern/00008030-001a2b3c4d5e6f70", root / "modern");
  fs::create_directory_symlink(
      fixtures / "encrypted-synthetic/legacy/0123456789abcdef0123456789abcdef01234567",
      root / "legacy");

  BackupReader reader(root);
  std::vector<BackupInfo> list;
  reader.ListBackups(list);
  ASSERT_EQ(list.size(), 3u);
  std::map<std::string, BackupInfo> by_folder;
  for (const auto& info : list) by_folder[info.folderPath.filename().string()] = info;

  const BackupInfo& ios14 = by_folder.at("ios14");  // a binary Info.plist
  EXPECT_EQ(ios14.displayName, u"iPhone");
  EXPECT_EQ(ios14.serialNumber, "F1234567890");
  EXPECT_EQ(ios14.isAboveVersion11, 1);
  EXPECT_EQ(ios14.isEncrypted, 0);
  EXPECT_EQ(ios14.lastBackupDate.size(), 19u);

  const BackupInfo& modern = by_folder.at("modern");
  EXPECT_EQ(modern.displayName, u"Fixture iPhone");
  EXPECT_EQ(modern.lastBackupDate, "2023-11-14 17:13:20");  // 22:13:20Z minus five hours
  EXPECT_EQ(modern.serialNumber, "FXTR00000001");
  EXPECT_EQ(modern.isAboveVersion11, 1);
  EXPECT_EQ(modern.isEncrypted, 1);

  const BackupInfo& legacy = by_folder.at("legacy");
  EXPECT_EQ(legacy.isEncrypted, 1);
  EXPECT_EQ(legacy.isAboveVersion11, 0);

  // Newest first: both synthetic backups (2023) before the iOS 14 one (2021).
  EXPECT_EQ(list.back().folderPath.filename(), "ios14");
  fs::remove_all(root);
}

}  // namespace
}  // namespace salvora

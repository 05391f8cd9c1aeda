#include "device/backup_job.h"

#include <gtest/gtest.h>

#include "core/abort_counter.h"
#include "core/result_codes.h"
#include "device/backup_info_plist.h"
#include "device/device_notifications.h"
#include "device/device_test_support.h"

namespace salvora::testing {
namespace {

namespace fs = std::filesystem;

plist_t Real(double value) { return plist_new_real(value); }

PlistPtr ReadPlistFile(const fs::path& file) { return ParsePlist(ReadFileBytes(file)); }

std::vector<std::string> DictKeys(plist_t dict) {
  std::vector<std::string> keys;
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  while (iter != nullptr) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, iter, &key, &value);
    if (value == nullptr) break;
    keys.push_back(key);
    std::free(key);
  }
  std::free(iter);
  return keys;
}

std::string StringOf(plist_t dict, const char* key) {
  std::string text;
  EXPECT_TRUE(PlistString(plist_dict_get_item(dict, key), text)) << key;
  return text;
}

std::string DataOf(plist_t dict, const char* key) {
  plist_t node = plist_dict_get_item(dict, key);
  if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) return "<none>";
  uint64_t length = 0;
  const char* bytes = plist_get_data_ptr(node, &length);
  return std::string(bytes, length);
}

plist_t LockdownValues() {
  plist_t values = plist_new_dict();
  plist_dict_set_item(values, "BuildVersion", plist_new_string("20B110"));
  plist_dict_set_item(values, "DeviceName", plist_new_string("Ann's iPhone"));
  plist_dict_set_item(values, "DeviceClass", plist_new_string("iPhone"));
  plist_dict_set_item(values, "InternationalMobileEquipmentIdentity",
                      plist_new_string("356938035643809"));
  plist_dict_set_item(values, "PhoneNumber", plist_new_uint(5550100));  // not a string
  plist_dict_set_item(values, "ProductType", plist_new_string("iPhone14,2"));
  plist_dict_set_item(values, "ProductVersion", plist_new_string("16.1"));
  plist_dict_set_item(values, "SerialNumber", plist_new_string("F2LXK0AAAAAA"));
  return values;
}

class BackupJobTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    device->SetLockdownValues(LockdownValues());
    root = temp / "root";
  }
  std::string U(const std::string& rest) const { return device->Udid() + "/" + rest; }
  fs::path BackupDir() const { return root / device->Udid(); }
  std::vector<std::string> SentNames() const {
    std::vector<std::string> names;
    for (const auto& m : device->messages) names.push_back(m.name);
    return names;
  }

  fs::path root;
};

TEST_F(BackupJobTest, FullBackupSession) {
  ASSERT_EQ(ConnectFake(), 0);
  static std::vector<int> seen;
  seen.clear();
  connection.progressWeight = 20;
  connection.progressCallback = [](void*, int percent) {
    seen.push_back(percent);
    return 0;
  };
  // A folder of an earlier backup that the device's move replaces.
  WriteFileBytes(BackupDir() / "3d" / "stale", "old");

  const std::string manifest = PatternBytes(70000, 3);
  const std::string sms = PatternBytes(5000, 4);
  const std::string smsId = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
  device->SetMaxRawChunk(1000);
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("Snapshot"))}));
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("Snapshot/3d"))}));
  device->Queue(DeviceMessage("DLMessageGetFreeDiskSpace"));
  device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(10)}),
                UploadStream()
                    .File(U("Snapshot/Manifest.db"), manifest)  // three blocks
                    .File(U("Snapshot/3d/" + smsId), sms, 4096, 0x0B)
                    .File(U("Snapshot/empty"), "")
                    .End()
                    .bytes());
  device->Queue(DeviceMessage("DLContentsOfDirectory", {Str(U("Snapshot"))}));
  device->Queue(DeviceMessage(
      "DLMessageMoveItems",
      {StringDict({{U("Snapshot/Manifest.db"), U("Manifest.db")}, {U("Snapshot/3d"), U("3d")}}),
       plist_new_dict(), Real(60)}));
  device->Queue(DeviceMessage("DLMessageRemoveItems", {StringArray({U("Snapshot"), U("gone.txt")}),
                                                       plist_new_dict(), Real(80)}));
  device->Queue(
      DeviceMessage("DLMessageCopyItem", {Str(U("Manifest.db")), Str(U("Manifest.copy"))}));
  device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(100)}),
                UploadStream().File(U("Status.plist"), "<plist/>").End().bytes());
  device->Queue(ProcessMessage(0));

  ASSERT_EQ(RunBackupJob(connection, root, ""), 0);

  EXPECT_EQ(connection.backupDir, BackupDir());
  EXPECT_EQ(ReadFileBytes(BackupDir() / "Manifest.db"), manifest);
  EXPECT_EQ(ReadFileBytes(BackupDir() / "Manifest.copy"), manifest);
  EXPECT_EQ(ReadFileBytes(BackupDir() / "3d" / smsId), sms);
  EXPECT_FALSE(fs::exists(BackupDir() / "3d" / "stale"));
  EXPECT_FALSE(fs::exists(BackupDir() / "Snapshot"));
  EXPECT_EQ(ReadFileBytes(BackupDir() / "Status.plist"), "<plist/>");
  EXPECT_EQ(SentNames(), (std::vector<std::string>{"Backup"}));
  EXPECT_EQ(StringOf(device->messages[0].options.get(), "TargetIdentifier"), device->Udid());
  EXPECT_EQ(StringOf(device->messages[0].options.get(), "SourceIdentifier"), device->Udid());

  // One answer per message, all successful; free space and the listing carry their values.
  ASSERT_EQ(device->statuses.size(), 9u);
  for (const FakeDevice::Status& status : device->statuses) EXPECT_EQ(status.code, 0);
  EXPECT_EQ(device->statuses[0].plist, nullptr);  // directory creation: no property list
  plist_t freeSpace = device->statuses[2].plist.get();
  ASSERT_NE(freeSpace, nullptr);
  EXPECT_EQ(plist_get_node_type(freeSpace), PLIST_UINT);
  plist_t listing = device->statuses[4].plist.get();
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(plist_dict_get_size(listing), 3u);
  plist_t manifestInfo = plist_dict_get_item(listing, "Manifest.db");
  ASSERT_NE(manifestInfo, nullptr);
  EXPECT_EQ(StringOf(manifestInfo, "DLFileType"), "DLFileTypeRegular");
  uint64_t size = 0;
  plist_get_uint_val(plist_dict_get_item(manifestInfo, "DLFileSize"), &size);
  EXPECT_EQ(size, manifest.size());
  EXPECT_EQ(plist_get_node_type(plist_dict_get_item(manifestInfo, "DLFileModificationDate")),
            PLIST_DATE);
  EXPECT_EQ(StringOf(plist_dict_get_item(listing, "3d"), "DLFileType"), "DLFileTypeDirectory");

  EXPECT_EQ(seen, (std::vector<int>{0, 0, 0, 2, 2, 12, 16, 16, 20}));
  EXPECT_EQ(connection.isIdle, 1);
  EXPECT_EQ(connection.syncLock, 0u);
  EXPECT_EQ(device->notifications.back(), kNotifySyncDidFinish);

  PlistPtr info = ReadPlistFile(BackupDir() / "Info.plist");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(StringOf(info.get(), "Target Identifier"), device->Udid());
}

TEST_F(BackupJobTest, UnplugMidFileDeletesThePartialFileAndCleansTheDirectory) {
  ASSERT_EQ(ConnectFake(), 0);
  WriteFileBytes(BackupDir() / "keep" / "x", "sub-folders stay");
  WriteFileBytes(BackupDir() / ".hidden", "dot names stay");
  std::string upload = UploadStream()
                           .File(U("Snapshot/a"), "complete")
                           .Name("/var/mobile/b")
                           .Name(U("Snapshot/b"))
                           .Raw(BigEndian32(100001))
                           .Raw(std::string(1, '\x0C'))
                           .Raw(PatternBytes(5000))  // and then the cable is pulled
                           .bytes();
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("Snapshot"))}));
  device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(1)}), upload);
  device->Queue(ProcessMessage(0));  // never reached

  EXPECT_EQ(RunBackupJob(connection, root, ""), -1);
  EXPECT_GE(BackupAbortCounter().load(), 1);
  EXPECT_FALSE(fs::exists(BackupDir() / "Snapshot"));
  EXPECT_FALSE(fs::exists(BackupDir() / "Info.plist"));
  EXPECT_TRUE(fs::exists(BackupDir() / "keep" / "x"));
  EXPECT_TRUE(fs::exists(BackupDir() / ".hidden"));
  EXPECT_EQ(connection.isIdle, 1);
}

TEST_F(BackupJobTest, EncryptionIsTurnedOffForTheBackupAndOnAgainAfterIt) {
  struct Case {
    const char* what;
    const char* password;
    std::optional<uint64_t> backupError;  // the device's answer to the backup; nullopt: unplug
    std::optional<uint64_t> turnOnFailure;
    int expected;
    std::vector<std::string> sent;
    const char* passwordAfter;
    uint8_t leftOff;
  };
  const std::vector<std::string> all = {"ChangePassword", "Backup", "ChangePassword"};
  const Case cases[] = {
      {"right password", "secret", 0, std::nullopt, 0, all, "secret", 0},
      {"wrong password", "nope", 0, std::nullopt, -207, {"ChangePassword"}, "secret", 0},
      {"no password", "", 0, std::nullopt, kInvalidParameter, {}, "secret", 0},
      {"backup fails", "secret", 208, std::nullopt, -208, all, "secret", 0},
      {"turning on fails", "secret", 0, 19, kBackupEncryptionLeftOff, all, "", 1},
      {"unplugged during the backup",
       "secret",
       std::nullopt,
       std::nullopt,
       -1,
       {"ChangePassword", "Backup"},
       "",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake = std::make_unique<FakeDevice>();
    device = fake.get();
    device->SetLockdownValues(LockdownValues());
    device->SetBackupPassword("secret");
    if (c.turnOnFailure) device->FailTurnOn(*c.turnOnFailure);
    if (c.backupError) {
      device->Queue(ProcessMessage(*c.backupError));
    } else {
      device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(1)}),
                    UploadStream().Name("/var/mobile/a").bytes());
    }
    ASSERT_EQ(ConnectFake(), 0);
    ASSERT_EQ(willEncrypt, 1);

    EXPECT_EQ(RunBackupJob(connection, root, c.password), c.expected);
    EXPECT_EQ(SentNames(), c.sent);
    EXPECT_EQ(device->backupPassword(), c.passwordAfter);
    EXPECT_EQ(connection.backupEncryptionLeftOff, c.leftOff);
    EXPECT_EQ(connection.willEncrypt, c.leftOff ? 0 : 1);
    if (c.sent.size() == 3) {
      // Off with the old password only, on again with it as the new one.
      plist_t off = device->messages[0].options.get();
      plist_t on = device->messages[2].options.get();
      EXPECT_EQ(StringOf(off, "OldPassword"), c.password);
      EXPECT_EQ(plist_dict_get_item(off, "NewPassword"), nullptr);
      EXPECT_EQ(StringOf(on, "NewPassword"), c.password);
      EXPECT_EQ(plist_dict_get_item(on, "OldPassword"), nullptr);
      EXPECT_EQ(StringOf(on, "TargetIdentifier"), device->Udid());
    }
    connection.Disconnect();
    connection.backupEncryptionLeftOff = 0;
    connection.ForgetEncryptionPassword();
  }
}

TEST_F(BackupJobTest, EncryptionTurnedOffBeforeTheJobIsTurnedOnByIt) {
  device->SetBackupPassword("secret");
  device->Queue(ProcessMessage(0));
  ASSERT_EQ(ConnectFake(), 0);
  // The device page turns encryption off when the user starts the scan...
  ASSERT_EQ(TurnOffBackupEncryption(connection, "secret"), 0);
  EXPECT_EQ(connection.willEncrypt, 0);
  EXPECT_EQ(device->backupPassword(), "");
  // ...and the job, which needs no password then, turns it on at its end.
  EXPECT_EQ(RunBackupJob(connection, root, ""), 0);
  EXPECT_EQ(SentNames(), (std::vector<std::string>{"ChangePassword", "Backup", "ChangePassword"}));
  EXPECT_EQ(device->backupPassword(), "secret");
  EXPECT_EQ(connection.willEncrypt, 1);
}

TEST_F(BackupJobTest, InfoPlistHoldsTheDeviceValuesInOrder) {
  device->SetDomainValue("com.apple.iTunes", "", [] {
    plist_t settings = plist_new_dict();
    plist_dict_set_item(settings, "LibraryApplications", plist_new_array());
    return settings;
  }());
  device->SetAfcFile("/Books/iBooksData2.plist", "books");
  device->SetAfcFile("/iTunes_Control/iTunes/iTunesPrefs", "prefs");
  device->SetAfcFile("/iTunes_Control/iTunes/PhotosFolderName", "");             // empty: left out
  device->SetAfcShortFile("/iTunes_Control/iTunes/IC-Info.sidb", "short", 100);  // short: out

  PlistPtr info = BuildBackupInfoPlist(*device, "00008030-001a2b3c4d5e6f70", 1700000000);
  EXPECT_EQ(DictKeys(info.get()),
            (std::vector<std::string>{"Build Version", "Device Name", "Display Name", "GUID",
                                      "IMEI", "Last Backup Date", "Product Type", "Product Version",
                                      "Serial Number", "Target Identifier", "Target Type",
                                      "Unique Identifier", "iBooks Data 2", "iTunes Files",
                                      "iTunes Settings", "iTunes Version"}));
  EXPECT_EQ(StringOf(info.get(), "Display Name"), "Ann's iPhone");
  EXPECT_EQ(StringOf(info.get(), "GUID"), "---");
  EXPECT_EQ(StringOf(info.get(), "Unique Identifier"), "00008030-001A2B3C4D5E6F70");
  EXPECT_EQ(StringOf(info.get(), "Target Type"), "Device");
  EXPECT_EQ(StringOf(info.get(), "iTunes Version"), "10.0.1");
  int32_t seconds = 0;
  int32_t usec = 0;
  plist_get_date_val(plist_dict_get_item(info.get(), "Last Backup Date"), &seconds, &usec);
  EXPECT_EQ(seconds, 1700000000 - 978307200);
  EXPECT_EQ(DataOf(info.get(), "iBooks Data 2"), "books");
  plist_t files = plist_dict_get_item(info.get(), "iTunes Files");
  EXPECT_EQ(DictKeys(files), (std::vector<std::string>{"iTunesPrefs"}));
  EXPECT_EQ(DataOf(files, "iTunesPrefs"), "prefs");
  EXPECT_NE(plist_dict_get_item(plist_dict_get_item(info.get(), "iTunes Settings"),
                                "LibraryApplications"),
            nullptr);

  // Written as XML and read back whole.
  fs::path file = temp / "Info.plist";
  ASSERT_EQ(WritePlistXml(info.get(), file), 0);
  EXPECT_EQ(ReadFileBytes(file).rfind("<?xml", 0), 0u);
  PlistPtr back = ReadPlistFile(file);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(plist_dict_get_size(back.get()), plist_dict_get_size(info.get()));

  // Without lockdown's dictionary the Info.plist is empty.
  device->SetLockdownValues(nullptr);
  EXPECT_EQ(plist_dict_get_size(BuildBackupInfoPlist(*device, "x", 0).get()), 0u);
}

TEST_F(BackupJobTest, JobNeedsABackupServiceAndARoot) {
  device->SetHasBackupService(false);
  ASSERT_EQ(ConnectFake(), 0);
  EXPECT_EQ(RunBackupJob(connection, root, ""), kInvalidParameter);
  EXPECT_EQ(RunBackupJob(connection, fs::path(), ""), kInvalidParameter);
  EXPECT_EQ(connection.isIdle, 1);
  EXPECT_TRUE(device->messages.empty());
}

}  // namespace
}  // namespace salvora::testing

#include "device/device_recovery.h"

#include <gtest/gtest.h>

#include "backup/fixed_file_ids.h"
#include "core/category_id.h"
#include "core/result_codes.h"
#include "device/device_test_support.h"
#include "media/file_classifier.h"
#include "scan/scan_session.h"
#include "support/sample_backup.h"

namespace salvora::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCallHistoryOlderId = "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
constexpr const char* kChatStorageId = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr const char* kChatStorageOlderId = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";

plist_t Values(const char* version) {
  plist_t values = plist_new_dict();
  plist_dict_set_item(values, "ProductVersion", plist_new_string(version));
  plist_dict_set_item(values, "DeviceName", plist_new_string("Ann's iPhone"));
  plist_dict_set_item(values, "DeviceClass", plist_new_string("iPhone"));
  return values;
}

class DeviceRecoveryTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    workingRoot = temp / "scratch";
    workFolder = temp / "work";
    fs::create_directories(workingRoot);
  }
  // Connects a device of `version` whose backup holds the files of `folder`.
  void ConnectDeviceWith(const char* version, const fs::path& folder) {
    device->SetLockdownValues(Values(version));
    QueueFolderUpload(*device, folder);
    device->Queue(ProcessMessage(0));
    ASSERT_EQ(ConnectFake(), 0);
  }

  fs::path workingRoot;
  fs::path workFolder;
};

TEST_F(DeviceRecoveryTest, OpenBacksUpAndCopiesTheDatabasesOfTheLayout) {
  struct Case {
    const char* version;
    bool twoLevel;
    const char* historyId;  // the call-history file the backup has
    const char* chatId;     // the WhatsApp store the backup has
    const char* manifest;   // a manifest of the other layout, which must not be read
  };
  const Case cases[] = {
      {"9.3.5", false, kCallHistoryOlderId, kChatStorageOlderId, "Manifest.db"},
      {"10.0", true, kCallHistoryOlderId, kChatStorageId, "Manifest.mbdb"},
      {"12.1", true, "5a4935c78a5255723f707230a451d79c540d2741", kChatStorageId, "Manifest.mbdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    fake = std::make_unique<FakeDevice>();
    device = fake.get();
    fs::path source = temp / (std::string("source-") + c.version);
    auto place = [&](const std::string& id, const std::string& bytes) {
      WriteFileBytes(c.twoLevel ? source / id.substr(0, 2) / id : source / id, bytes);
    };
    place(FixedFileId(FixedFile::kAddressBook), "address book");
    place(FixedFileId(FixedFile::kMessages), "messages");
    place(c.historyId, std::string("calls of ") + c.historyId);
    if (std::string(c.historyId) != kCallHistoryOlderId) place(kCallHistoryOlderId, "older");
    place(c.chatId, "chats");
    WriteFileBytes(source / c.manifest, "not read");
    ConnectDeviceWith(c.version, source);

    static std::vector<int> seen;
    seen.clear();
    {
      CDeviceRecovery engine(connection, workingRoot, workFolder);
      engine.SetProgressCallback(
          [](void*, int percent) {
            seen.push_back(percent);
            return 0;
          },
          nullptr);
      ASSERT_EQ(engine.Open(u""), kOk);
      EXPECT_EQ(engine.two_level(), c.twoLevel);
      EXPECT_EQ(engine.backup_folder(), workingRoot / device->Udid());
      EXPECT_EQ(ReadFileBytes(engine.CopyPath("AddressBook")), "address book");
      EXPECT_EQ(ReadFileBytes(engine.CopyPath("sms")), "messages");
      EXPECT_EQ(ReadFileBytes(engine.CopyPath("history")), std::string("calls of ") + c.historyId);
      EXPECT_EQ(ReadFileBytes(engine.CopyPath("ChatStorage")), "chats");
      EXPECT_FALSE(fs::exists(engine.CopyPath("notes")));  // not in the backup: no copy
      ASSERT_FALSE(seen.empty());
      EXPECT_EQ(seen.front(), 1);
      EXPECT_EQ(seen.back(), 20);
      for (int percent : seen) EXPECT_LE(percent, 20);

      FileList roll;
      FileList stream;
      EXPECT_EQ(engine.ReadPhotos(roll, stream), kInvalidParameter);  // its manifest is missing
      FileList whatsApp = {FileRecord{}};
      EXPECT_EQ(engine.ReadWhatsAppAttachments(whatsApp), kOk);
      EXPECT_TRUE(whatsApp.empty());

      fs::path exported = temp / "export" / "sms.csv";
      EXPECT_EQ(engine.CopyMessageDatabase(exported), kOk);
      EXPECT_EQ(ReadFileBytes(exported), "messages");
    }
    // Destroyed: the copies are gone and the backup folder is empty but still there.
    EXPECT_FALSE(fs::exists(workingRoot / "sms"));
    EXPECT_TRUE(fs::is_directory(workingRoot / device->Udid()));
    EXPECT_TRUE(fs::is_empty(workingRoot / device->Udid()));
    connection.Disconnect();
  }
}

TEST_F(DeviceRecoveryTest, CreationClearsThePreviousScansWorkArea) {
  WriteFileBytes(workingRoot / "sms", "previous scan");
  WriteFileBytes(workingRoot / "TarnwickBackupPath" / "decrypted", "previous");
  WriteFileBytes(workingRoot / "00008030-old" / "Manifest.db", "an older backup folder");
  WriteFileBytes(workFolder / "tmp.jpg", "preview");
  CDeviceRecovery engine(connection, workingRoot, workFolder);
  EXPECT_FALSE(fs::exists(workingRoot / "sms"));
  EXPECT_FALSE(fs::exists(workingRoot / "TarnwickBackupPath" / "decrypted"));
  EXPECT_TRUE(fs::exists(workingRoot / "00008030-old" / "Manifest.db"));  // folders stay
  EXPECT_FALSE(fs::exists(workFolder / "tmp.jpg"));
  EXPECT_FALSE(engine.IsLocalBackup(0));
}

TEST_F(DeviceRecoveryTest, OpenFailuresEndBeforeAnyCopy) {
  // A wrong password: the device's code, no backup request, no copies.
  device->SetBackupPassword("secret");
  ASSERT_EQ(ConnectFake(), 0);
  {
    CDeviceRecovery engine(connection, workingRoot, workFolder);
    EXPECT_EQ(engine.Open(u"wrong"), -static_cast<int>(FakeDevice::kWrongPasswordCode));
    EXPECT_FALSE(fs::exists(engine.CopyPath("sms")));
  }
  // A stop at the first report: nothing is asked of the device.
  size_t sent = device->messages.size();
  CDeviceRecovery engine(connection, workingRoot, workFolder);
  engine.SetProgressCallback([](void*, int) { return 2; }, nullptr);
  EXPECT_EQ(engine.Open(u"secret"), kStopped);
  EXPECT_EQ(device->messages.size(), sent);
}

// The whole path of a device scan: the fake device backs a synthetic phone up, the scan
// session drives the device engine over it, and every category holds what the phone had.
TEST_F(DeviceRecoveryTest, ScanOfTheBackupTheDeviceWrote) {
  struct Case {
    int generation;
    const char* version;
  };
  for (const Case& c : {Case{9, "9.3.5"}, Case{15, "15.3.1"}}) {
    SCOPED_TRACE(c.generation);
    fake = std::make_unique<FakeDevice>();
    device = fake.get();
    sample::SampleOptions options;
    ASSERT_TRUE(sample::PresetOptions("tiny", options));
    options.generation = c.generation;
    sample::SampleReport report;
    fs::path phone = temp / ("phone" + std::to_string(c.generation));
    ASSERT_EQ(sample::WriteSampleBackup(phone, options, report), 0) << report.error;
    ConnectDeviceWith(c.version, phone);

    ScanSessionSetup setup;
    DeviceConnection* link = &connection;
    fs::path root = workingRoot;
    fs::path work = workFolder;
    setup.engines.device = [link, root, work]() -> std::unique_ptr<IPhoneRecoveryParse> {
      return std::make_unique<CDeviceRecovery>(*link, root, work);
    };
    setup.splitAppFiles = SplitAppFiles;
    CScanSession session(std::move(setup), nullptr);
    ASSERT_EQ(session.Start(ScanSourceDevice), kOk);
    session.Wait();
    ASSERT_EQ(session.Result(), kOk);
    ASSERT_EQ(session.StepResult(ScanStep::kOpen), kOk);

    const ScanResults& r = session.Results();
    EXPECT_EQ(r.Count(CategoryId::CameraRoll), static_cast<uint32_t>(report.camera_roll));
    EXPECT_EQ(r.Count(CategoryId::PhotoStream), static_cast<uint32_t>(report.photo_stream));
    EXPECT_EQ(r.Count(CategoryId::AppPhotos), static_cast<uint32_t>(report.app_photos));
    EXPECT_EQ(r.Count(CategoryId::AppVideos), static_cast<uint32_t>(report.app_videos));
    EXPECT_EQ(r.Count(CategoryId::Messages), static_cast<uint32_t>(report.message_conversations));
    EXPECT_EQ(r.Count(CategoryId::MessageAttachments),
              static_cast<uint32_t>(report.message_attachments));
    EXPECT_EQ(r.Count(CategoryId::Contacts), static_cast<uint32_t>(report.contacts));
    EXPECT_EQ(r.Count(CategoryId::CallHistory), static_cast<uint32_t>(report.calls));
    EXPECT_EQ(r.Count(CategoryId::Notes), static_cast<uint32_t>(report.notes));
    EXPECT_EQ(r.Count(CategoryId::WhatsApp), static_cast<uint32_t>(report.whatsapp_chats));
    EXPECT_EQ(r.Count(CategoryId::WhatsAppAttachments),
              static_cast<uint32_t>(report.whatsapp_attachments));
    EXPECT_GT(r.Count(CategoryId::Messages), 0u);

    // Every listed file lies in the fresh backup and is the phone's own file.
    for (const FileRecord& file : r.cameraRoll) {
      EXPECT_EQ(file.path.parent_path().string().rfind((workingRoot / device->Udid()).string(), 0),
                0u);
    }
    session.Reset();
    connection.Disconnect();
  }
}

}  // namespace
}  // namespace salvora::testing

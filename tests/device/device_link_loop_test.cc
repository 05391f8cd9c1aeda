#include "device/device_link_loop.h"

#include <gtest/gtest.h>

#include "core/abort_counter.h"
#include "device/device_notifications.h"
#include "device/device_test_support.h"

namespace salvora::testing {
namespace {

namespace fs = std::filesystem;

plist_t Real(double value) { return plist_new_real(value); }

std::string Block(uint8_t code, const std::string& payload) {
  return UploadStream().Block(code, payload).bytes();
}
std::string NameFrame(const std::string& name) { return UploadStream().Name(name).bytes(); }

int64_t UintAsSigned(plist_t node) {
  uint64_t value = 0;
  plist_get_uint_val(node, &value);
  return static_cast<int64_t>(value);
}

class DeviceLinkLoopTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(ConnectFake(), 0);
    backupDir = temp / connection.udid;
    fs::create_directories(backupDir);
  }
  int RunLoop() { return DeviceLinkLoop(connection, backupDir).Run(); }
  std::string U(const std::string& rest) { return connection.udid + "/" + rest; }

  fs::path backupDir;
};

TEST_F(DeviceLinkLoopTest, DownloadSendsFilesUntilTheFirstFailure) {
  std::string manifest = PatternBytes(40000);
  WriteFileBytes(backupDir / "Manifest.db", manifest);
  WriteFileBytes(backupDir / "empty", "");
  plist_t names = StringArray({U("Manifest.db"), U("empty"), U("missing"), U("never")});
  device->Queue(DeviceMessage("DLMessageDownloadFiles", {names, plist_new_dict(), Real(5)}));
  device->Queue(ProcessMessage(0));

  EXPECT_EQ(RunLoop(), 0);

  std::string expected = NameFrame(U("Manifest.db")) + Block(0x0C, manifest.substr(0, 32768)) +
                         Block(0x0C, manifest.substr(32768)) + Block(0x00, "") +
                         NameFrame(U("empty")) + Block(0x00, "") + NameFrame(U("missing")) +
                         Block(0x06, "No such file or directory") + BigEndian32(0);
  EXPECT_EQ(device->rawSent, expected);

  ASSERT_EQ(device->statuses.size(), 1u);
  const FakeDevice::Status& status = device->statuses[0];
  EXPECT_EQ(status.code, -13);
  EXPECT_EQ(status.description, "Multi status");
  ASSERT_NE(status.plist, nullptr);
  EXPECT_EQ(plist_dict_get_size(status.plist.get()), 1u);
  plist_t entry = plist_dict_get_item(status.plist.get(), U("missing").c_str());
  ASSERT_NE(entry, nullptr);
  std::string text;
  ASSERT_TRUE(PlistString(plist_dict_get_item(entry, "DLFileErrorString"), text));
  EXPECT_EQ(text, "No such file or directory");
  EXPECT_EQ(UintAsSigned(plist_dict_get_item(entry, "DLFileErrorCode")), -6);
  EXPECT_FALSE(LogContains("missing"));  // a missing file is no console matter
}

TEST_F(DeviceLinkLoopTest, DeviceThatNeverAnswersEndsAfterElevenEmptyReceives) {
  EXPECT_EQ(RunLoop(), -1);
  EXPECT_EQ(device->receiveCalls, 11);
  EXPECT_EQ(BackupAbortCounter().load(), 1);
}

TEST_F(DeviceLinkLoopTest, ProcessMessageErrorCodeIsTheResult) {
  struct Case {
    std::optional<uint64_t> code;
    int expected;
  };
  const Case cases[] = {{208, -208}, {0, 0}, {std::nullopt, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    device->Queue(ProcessMessage(c.code));
    device->Queue(DeviceMessage("DLMessageCreateDirectory", {plist_new_string("not reached")}));
    EXPECT_EQ(RunLoop(), c.expected);
    EXPECT_TRUE(device->statuses.empty());
    // Drop the unreached message before the next case.
    PlistPtr rest;
    (void)device->ReceiveMessage(rest);
  }
}

TEST_F(DeviceLinkLoopTest, SyncCancelOnTheDeviceStopsTheLoop) {
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("a"))}), {},
                [] { HandleDeviceNotification(kNotifySyncSuspendRequest); });  // ignored
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("b"))}), {},
                [] { HandleDeviceNotification(kNotifySyncCancelRequest); });
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {Str(U("c"))}));

  EXPECT_EQ(RunLoop(), -1);
  EXPECT_EQ(device->statuses.size(), 2u);  // b is still answered; c never arrives
  EXPECT_TRUE(fs::is_directory(backupDir / "b"));
  EXPECT_FALSE(fs::exists(backupDir / "c"));
  // The loop's end gives the sync lock back.
  EXPECT_EQ(connection.syncLock, 0u);
  EXPECT_EQ(device->notifications.back(), kNotifySyncDidFinish);
}

TEST_F(DeviceLinkLoopTest, ProgressFollowsTheMessagesAndTheCallbackCanStop) {
  static std::vector<int> seen;
  seen.clear();
  connection.progressWeight = 20;
  connection.progressCallback = [](void*, int percent) {
    seen.push_back(percent);
    return percent >= 20 ? 2 : 0;
  };
  auto remove = [](double progress) {
    return DeviceMessage("DLMessageRemoveItems",
                         {StringArray({}), plist_new_dict(), Real(progress)});
  };
  device->Queue(remove(100));  // from 0 straight to 100: not believed
  device->Queue(remove(50));
  device->Queue(DeviceMessage("DLMessageGetFreeDiskSpace"));  // carries none
  device->Queue(remove(0));                                   // 0 is never taken
  device->Queue(remove(100));
  device->Queue(remove(75));  // not reached: the callback asked to stop

  EXPECT_EQ(RunLoop(), 2);
  EXPECT_EQ(seen, (std::vector<int>{0, 10, 10, 10, 20}));
}

TEST_F(DeviceLinkLoopTest, NamesOutsideTheBackupDirectoryAreRefused) {
  WriteFileBytes(temp / "victim", "keep me");
  WriteFileBytes(backupDir / "ok.txt", "ok");
  device->Queue(DeviceMessage("DLMessageCreateDirectory", {plist_new_string("../evil")}));
  std::string upload =
      UploadStream().File(U("../../evil.txt"), "payload").File(U("good.txt"), "good").End().bytes();
  device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(1)}), upload);
  device->Queue(DeviceMessage("DLMessageDownloadFiles",
                              {StringArray({"/etc/hostname"}), plist_new_dict(), Real(1)}));
  device->Queue(DeviceMessage(
      "DLMessageMoveItems", {StringDict({{U("ok.txt"), "../moved"}}), plist_new_dict(), Real(1)}));
  device->Queue(
      DeviceMessage("DLMessageRemoveItems",
                    {StringArray({"../../victim", U("../victim")}), plist_new_dict(), Real(1)}));
  device->Queue(
      DeviceMessage("DLMessageCopyItem", {Str(U("ok.txt")), plist_new_string("../copy")}));
  device->Queue(ProcessMessage(0));

  EXPECT_EQ(RunLoop(), 0);

  EXPECT_FALSE(fs::exists(temp / "evil"));
  EXPECT_FALSE(fs::exists(temp.parent_path() / "evil.txt"));
  EXPECT_EQ(ReadFileBytes(backupDir / "good.txt"), "good");  // the stream stayed in step
  EXPECT_EQ(ReadFileBytes(backupDir / "ok.txt"), "ok");
  EXPECT_FALSE(fs::exists(temp / "moved"));
  EXPECT_EQ(ReadFileBytes(temp / "victim"), "keep me");
  EXPECT_FALSE(fs::exists(temp / "copy"));
  EXPECT_EQ(device->rawSent,
            NameFrame("/etc/hostname") + Block(0x06, "Permission denied") + BigEndian32(0));

  ASSERT_EQ(device->statuses.size(), 6u);
  for (const FakeDevice::Status& status : device->statuses) {
    EXPECT_EQ(status.code, -13);
  }
  // The upload's answer names the refused file only.
  plist_t errors = device->statuses[1].plist.get();
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(plist_dict_get_size(errors), 1u);
  EXPECT_NE(plist_dict_get_item(errors, U("../../evil.txt").c_str()), nullptr);
  EXPECT_EQ(device->statuses[3].description, "Permission denied");
}

TEST_F(DeviceLinkLoopTest, UploadEdgeCases) {
  // A device error text for a file without data, then a name longer than the limit, which
  // ends the transfer.
  std::string upload = UploadStream()
                           .Name("/var/mobile/x")
                           .Name(U("failed"))
                           .Block(0x0B, "disk full")
                           .File(U("marked.txt"), "data", 2, 0x0B)  // 0x0B ends a file: no error
                           .Raw(BigEndian32(5000))
                           .bytes();
  device->Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), Real(1)}), upload);
  device->Queue(ProcessMessage(0));
  device->SetMaxRawChunk(3);  // the link hands over a few bytes at a time

  EXPECT_EQ(RunLoop(), 0);
  EXPECT_EQ(ReadFileBytes(backupDir / "marked.txt"), "data");
  EXPECT_TRUE(LogContains("Received an error message from device: disk full"));
  EXPECT_FALSE(LogContains("device: end"));
  EXPECT_TRUE(LogContains("too large filename length (5000)"));
  ASSERT_EQ(device->statuses.size(), 1u);
  EXPECT_EQ(device->statuses[0].code, 0);
}

}  // namespace
}  // namespace salvora::testing

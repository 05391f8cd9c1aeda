#include "device/device_connection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/result_codes.h"
#include "device/device_notifications.h"
#include "device/device_test_support.h"

namespace salvora::testing {
namespace {

plist_t DeviceValues(const char* version, const char* name = "Ann's iPhone",
                     const char* deviceClass = "iPhone") {
  plist_t values = plist_new_dict();
  plist_dict_set_item(values, "ProductVersion", plist_new_string(version));
  plist_dict_set_item(values, "DeviceName", plist_new_string(name));
  plist_dict_set_item(values, "DeviceClass", plist_new_string(deviceClass));
  return values;
}

using DeviceConnectionTest = DeviceTest;

TEST_F(DeviceConnectionTest, ConnectTakesTheSyncLockAndDisconnectGivesItBack) {
  device->SetLockdownValues(DeviceValues("12.1"));
  device->SetBackupPassword("secret");  // the device encrypts its backups

  ASSERT_EQ(ConnectFake(), 0);
  EXPECT_EQ(willEncrypt, 1);
  EXPECT_EQ(connection.willEncrypt, 1);
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_EQ(connection.udid, device->Udid());
  EXPECT_NE(connection.syncLock, 0u);
  EXPECT_EQ(device->lockCalls, 1);
  EXPECT_EQ(device->notifications,
            (std::vector<std::string>{kNotifySyncWillStart, kNotifySyncLockRequest,
                                      kNotifySyncDidStart}));
  EXPECT_EQ(connection.productVersion, "12.1");
  EXPECT_EQ(connection.deviceName, "Ann's iPhone");
  EXPECT_EQ(connection.deviceClass, "iPhone");

  EXPECT_EQ(connection.Disconnect(), 0);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(connection.syncLock, 0u);
  EXPECT_EQ(device->unlockCalls, 1);
  EXPECT_EQ(device->closedHandles, 1);
  EXPECT_EQ(device->notifications.back(), kNotifySyncDidFinish);
  EXPECT_TRUE(connection.productVersion.empty());
  EXPECT_TRUE(connection.deviceName.empty());
  EXPECT_TRUE(connection.deviceClass.empty());
  EXPECT_TRUE(connection.udid.empty());
}

TEST_F(DeviceConnectionTest, SyncLockBusyAndFailingAnswers) {
  struct Case {
    const char* what;
    int busyAnswers;
    int finalAnswer;  // after the busy ones; 0 for success
    int expectedResult;
    int expectedAttempts;
    bool lockHeldOpen;
  };
  const Case cases[] = {
      {"busy three times, then taken", 3, AFC_E_SUCCESS, 0, 4, true},
      {"busy fifty times: used without the lock", 50, AFC_E_SUCCESS, 0, 50, true},
      {"another error ends Connect", 2, AFC_E_PERM_DENIED, AFC_E_PERM_DENIED, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake = std::make_unique<FakeDevice>();
    device = fake.get();
    std::vector<int> answers(static_cast<size_t>(c.busyAnswers), AFC_E_OP_WOULD_BLOCK);
    answers.push_back(c.finalAnswer);
    device->SetLockAnswers(answers);

    EXPECT_EQ(ConnectFake(), c.expectedResult);
    EXPECT_EQ(device->lockCalls, c.expectedAttempts);
    EXPECT_EQ(connection.syncLock != 0, c.lockHeldOpen);
    EXPECT_EQ(connection.IsConnected(), c.expectedResult == 0);
    bool didStart = std::find(device->notifications.begin(), device->notifications.end(),
                              kNotifySyncDidStart) != device->notifications.end();
    EXPECT_EQ(didStart, c.busyAnswers < 50 && c.finalAnswer == AFC_E_SUCCESS);
    connection.Disconnect();
    // Whatever happened, the lock file is closed in the end.
    EXPECT_EQ(device->closedHandles, 1);
  }
}

TEST_F(DeviceConnectionTest, VersionDecidesLayoutAndVersionFlags) {
  struct Case {
    const char* version;
    uint8_t twoLevel;
    uint8_t above11;
  };
  constexpr Case kCases[] = {
      {"9.3.2", 0, 0}, {"10.0", 1, 0}, {"11.4.1", 1, 0},
      {"12.1", 1, 1},  {"17.2", 1, 1}, {"beta", 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.version);
    fake = std::make_unique<FakeDevice>();
    device = fake.get();
    device->SetLockdownValues(DeviceValues(c.version));
    ASSERT_EQ(ConnectFake(), 0);
    EXPECT_EQ(connection.isTwoLevelLayout, c.twoLevel);
    EXPECT_EQ(connection.isAboveVersion11, c.above11);
    connection.Disconnect();
  }
}

TEST_F(DeviceConnectionTest, GettersAnswerFromTheCacheWith87) {
  device->SetLockdownValues(DeviceValues("12.1", "Ann\xff's iPhone"));
  ASSERT_EQ(ConnectFake(), 0);

  // Connect filled the cache; the next call copies it without asking.
  std::string name;
  EXPECT_EQ(connection.GetDeviceName(name), kInvalidParameter);
  EXPECT_EQ(name, "Ann\xEF\xBF\xBD's iPhone");  // the invalid byte became U+FFFD

  // With an empty cache the device is asked again.
  connection.deviceClass.clear();
  std::string deviceClass;
  EXPECT_EQ(connection.GetDeviceClass(deviceClass), kOk);
  EXPECT_EQ(deviceClass, "iPhone");

  connection.Disconnect();
  std::string version = "unchanged";
  EXPECT_EQ(connection.GetProductVersion(version), kInvalidParameter);
  EXPECT_EQ(version, "unchanged");
}

TEST_F(DeviceConnectionTest, WithoutBackupServiceNoLockIsTaken) {
  device->SetHasBackupService(false);
  device->SetLockdownValues(DeviceValues("12.1"));
  ASSERT_EQ(ConnectFake(), 0);
  EXPECT_TRUE(device->notifications.empty());
  EXPECT_EQ(connection.syncLock, 0u);
  EXPECT_EQ(connection.productVersion, "12.1");
}

TEST_F(DeviceConnectionTest, IsDevicePresentFollowsTheTransport) {
  ASSERT_EQ(ConnectFake(), 0);
  EXPECT_TRUE(connection.IsDevicePresent());
  device->SetPresent(false);
  EXPECT_FALSE(connection.IsDevicePresent());
}

// The platform check reaches the mobile-device service at its socket.
TEST(DeviceServiceTest, AppleSupportIsTheReachableServiceSocket) {
  const char* saved = std::getenv("USBMUXD_SOCKET_ADDRESS");
  std::string savedValue = saved != nullptr ? saved : "";
  std::filesystem::path socketPath =
      std::filesystem::temp_directory_path() / ("salvora-mux-" + std::to_string(::getpid()));
  std::filesystem::remove(socketPath);

  ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socketPath.string()).c_str(), 1);
  EXPECT_FALSE(DeviceConnection::IsAppleSupportInstalled());

  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  EXPECT_TRUE(DeviceConnection::IsAppleSupportInstalled());
  ::close(fd);
  std::filesystem::remove(socketPath);

  ::setenv("USBMUXD_SOCKET_ADDRESS", "127.0.0.1:1", 1);  // nothing listens on port 1
  EXPECT_FALSE(DeviceConnection::IsAppleSupportInstalled());

  if (saved != nullptr) {
    ::setenv("USBMUXD_SOCKET_ADDRESS", savedValue.c_str(), 1);
  } else {
    ::unsetenv("USBMUXD_SOCKET_ADDRESS");
  }
}

}  // namespace
}  // namespace salvora::testing

// Shared pieces of the device tests: a temporary folder, a captured device log and a
// connection that plays through a FakeDevice.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_connection.h"
#include "device/fake_device.h"

namespace salvora::testing {

// Lines written through DeviceLog while a DeviceTest runs.
std::vector<std::string>& CapturedLog();
bool LogContains(const std::string& part);

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);
// `size` bytes of a repeating, position-dependent pattern (a shifted block shows).
std::string PatternBytes(size_t size, unsigned seed = 1);

// Queues what a device sends to back up the files of `folder`: a "DLMessageCreateDirectory"
// for each sub-folder, then one "DLMessageUploadFiles" with every regular file, all under
// "<udid>/". Symbolic links are left out.
void QueueFolderUpload(FakeDevice& device, const std::filesystem::path& folder);

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Connects `connection` through `device`. Returns the result of ConnectThrough.
  int ConnectFake();

  std::filesystem::path temp;  // empty folder of this test
  std::unique_ptr<FakeDevice> fake = std::make_unique<FakeDevice>();
  FakeDevice* device = fake.get();  // outlives the connection's use of it
  DeviceConnection connection;
  uint8_t willEncrypt = 0;
};

}  // namespace salvora::testing

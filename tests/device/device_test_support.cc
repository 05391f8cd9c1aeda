#include "device/device_test_support.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "core/abort_counter.h"
#include "device/device_log.h"

namespace salvora::testing {

std::vector<std::string>& CapturedLog() {
  static std::vector<std::string> lines;
  return lines;
}

bool LogContains(const std::string& part) {
  for (const std::string& line : CapturedLog()) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251 + seed) & 0xFF);
  return bytes;
}

void QueueFolderUpload(FakeDevice& device, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::vector<fs::path> folders;
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_symlink()) continue;
    fs::path relative = entry.path().lexically_relative(folder);
    if (entry.is_directory()) folders.push_back(relative);
    if (entry.is_regular_file()) files.push_back(relative);
  }
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  const std::string prefix = device.Udid() + "/";
  for (const fs::path& sub : folders) {
    device.Queue(DeviceMessage("DLMessageCreateDirectory", {Str(prefix + sub.string())}));
  }
  UploadStream upload;
  for (const fs::path& file : files) {
    upload.File(prefix + file.string(), ReadFileBytes(folder / file));
  }
  device.Queue(DeviceMessage("DLMessageUploadFiles", {plist_new_dict(), plist_new_real(50)}),
               upload.End().bytes());
}

namespace {
void CaptureLine(const std::string& line) { CapturedLog().push_back(line); }
}  // namespace

void DeviceTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  temp = std::filesystem::temp_directory_path() /
         ("salvora-device-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
          std::to_string(::getpid()));
  std::filesystem::remove_all(temp);
  std::filesystem::create_directories(temp);
  CapturedLog().clear();
  SetDeviceLogSink(&CaptureLine);
  BackupAbortCounter().store(0);
  connection.emptyReceiveWait = std::chrono::milliseconds(0);
  connection.syncLockRetryWait = std::chrono::milliseconds(0);
}

void DeviceTest::TearDown() {
  connection.Disconnect();
  SetDeviceLogSink(nullptr);
  BackupAbortCounter().store(0);
  std::error_code ec;
  std::filesystem::remove_all(temp, ec);
}

int DeviceTest::ConnectFake() {
  return connection.ConnectThrough(std::make_unique<FakeDeviceProxy>(*device), willEncrypt);
}

}  // namespace salvora::testing

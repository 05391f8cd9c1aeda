// Feeds arbitrary bytes as the device's side of a file upload (names, block lengths, codes,
// payloads) to the file receiver. It must end at the end of the bytes, whatever the lengths
// claim, and write nothing outside its backup directory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "core/abort_counter.h"
#include "device/backup_file_transfer.h"
#include "device/device_log.h"

namespace {

namespace fs = std::filesystem;

// A device that sends the fuzz input on the raw link and has gone once it is used up.
class StreamDevice final : public salvora::IDeviceTransport {
 public:
  StreamDevice(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::string Udid() const override { return "fuzz-udid"; }
  bool IsDevicePresent() override { return position_ < size_; }
  bool HasBackupService() const override { return true; }
  int ReceiveMessage(salvora::PlistPtr& m) override {
    m.reset();
    return -5;
  }
  int SendMessage(const std::string&, plist_t) override { return 0; }
  int SendRequest(const std::string&, const std::string&, const std::string&, plist_t) override {
    return 0;
  }
  int SendStatusResponse(int, const char*, plist_t) override { return 0; }
  int SendRaw(const char*, uint32_t length, uint32_t& sent) override {
    sent = length;
    return 0;
  }
  int ReceiveRaw(char* data, uint32_t length, uint32_t& received) override {
    // Odd-sized pieces, as a real link delivers them.
    size_t n = std::min<size_t>({length, size_ - position_, 1 + position_ % 7});
    if (n > 0) std::memcpy(data, data_ + position_, n);
    position_ += n;
    received = static_cast<uint32_t>(n);
    return 0;
  }
  int GetLockdownValue(const char*, const char*, salvora::PlistPtr& v) override {
    v.reset();
    return -1;
  }
  int AfcGetFileSize(const std::string&, uint64_t&) override { return AFC_E_OBJECT_NOT_FOUND; }
  int AfcOpen(const std::string&, afc_file_mode_t, uint64_t&) override {
    return AFC_E_OBJECT_NOT_FOUND;
  }
  int AfcRead(uint64_t, char*, uint32_t, uint32_t&) override { return AFC_E_INVALID_ARG; }
  int AfcLock(uint64_t, afc_lock_op_t) override { return AFC_E_INVALID_ARG; }
  int AfcClose(uint64_t) override { return AFC_E_INVALID_ARG; }
  int PostNotification(const std::string&) override { return 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

void Quiet(const std::string&) {}

const fs::path& Sandbox() {
  static const fs::path dir = [] {
    fs::path base = fs::temp_directory_path() / ("salvora-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(base / "backup");
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(fs::temp_directory_path() / ("salvora-fuzz-" + std::to_string(::getpid())),
                     ec);
    });
    return base;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  salvora::SetDeviceLogSink(&Quiet);
  salvora::BackupAbortCounter().store(0);
  const fs::path backup = Sandbox() / "backup";
  StreamDevice device(data, size);
  salvora::BackupFileTransfer transfer(device, backup, "fuzz-udid");
  (void)transfer.ReceiveFiles();

  // Only the backup directory may have gained entries.
  for (const fs::directory_entry& entry : fs::directory_iterator(Sandbox())) {
    if (entry.path() != backup) std::abort();
  }
  std::error_code ec;
  fs::remove_all(backup, ec);
  fs::create_directories(backup, ec);
  return 0;
}

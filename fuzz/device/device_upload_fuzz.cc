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
#include "device/stream_device.h"

namespace {

namespace fs = std::filesystem;

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
  salvora::testing::StreamDevice device(reinterpret_cast<const char*>(data), size, 0);
  salvora::BackupFileTransfer transfer(device, backup, "stream-udid");
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

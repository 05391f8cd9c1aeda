// The summary of one backup folder, as the backup list shows it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace salvora {

struct BackupInfo {
  uint8_t isEncrypted = 0;
  uint8_t isAboveVersion11 = 0;  // integer part of "Product Version" greater than 11
  std::string lastBackupDate;    // "YYYY-MM-DD HH:MM:SS" in local standard time, or raw text
  std::string phoneNumber;       // bytes as stored (UTF-8)
  std::string serialNumber;      // bytes as stored
  std::filesystem::path folderPath;
  std::u16string displayName;
};

}  // namespace salvora

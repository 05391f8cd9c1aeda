// The files of a backup on the device link's raw byte stream, in both directions.
//
// Framing (all lengths 32-bit big-endian):
//   file name   length N, then N bytes of the name, no terminator. N = 0: no more files.
//               A received N above 4096 is refused.
//   block       length L that counts the code byte, one code byte, then L - 1 payload bytes.
//   codes       0x0C file data; 0x00 success (L = 1, sent by the host after the last data
//               block of a file); 0x06 an error sent by the host (payload: the error text);
//               0x0B an error or end marker sent by the device (payload: a text).
//
// Every name the device sends is resolved below the backup directory (device_path.h); a name
// that would lead outside it is refused and never touched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "backup/plist_ptr.h"
#include "device/device_transport.h"

namespace salvora {

class BackupFileTransfer {
 public:
  // Works on `transport` (not owned) for the backup directory `backupDir` (empty: no backup
  // directory, every name is refused) of the device `udid`.
  BackupFileTransfer(IDeviceTransport& transport, std::filesystem::path backupDir,
                     std::string udid);

  // Largest payload of one data block, in both directions.
  static constexpr uint32_t kBlockPayload = 32768;
  // Longest file name accepted from the device.
  static constexpr uint32_t kMaxNameLength = 4096;

  // Host to device: for each string of the array `names`, sends the name and then the file's
  // content as data blocks and a success block; a file that cannot be read gets an entry in
  // `errors` (a dictionary: name -> {"DLFileErrorString", "DLFileErrorCode"}) and an error
  // block, and ends the list. A name that cannot be sent ends it too. Sends the empty name
  // at the end. Returns the number of files that failed (0 or 1).
  int SendFiles(plist_t names, plist_t errors);

  struct ReceiveResult {
    int files = 0;     // files written completely
    int failures = 0;  // files refused or not writable (entries in `errors`)
    PlistPtr errors;   // dictionary as in SendFiles
  };

  // Device to host: receives files until the device sends the empty name or a zero block
  // length, or until the backup abort counter is above 0. While nothing arrives it waits as
  // long as the device is present; a device that has gone raises the abort counter. A file the
  // transfer ends inside is deleted. A refused or unwritable file's data is read and dropped,
  // so the stream stays in step.
  ReceiveResult ReceiveFiles();

 private:
  bool SendAll(const char* data, size_t length);
  bool SendName(const std::string& name);
  bool SendBlock(uint8_t code, const char* payload, uint32_t length);
  // Reads exactly `length` bytes, waiting while nothing arrives (see ReceiveFiles).
  bool ReadExactly(char* data, uint32_t length);
  bool ReadU32(uint32_t& value);
  // A file name; false at the end of the list (N = 0), for a refused length or on failure.
  bool ReadName(std::string& name);
  void AddError(plist_t errors, const std::string& name, int errnoValue);

  IDeviceTransport& transport_;
  std::filesystem::path backupDir_;
  std::string udid_;
  int consecutiveErrors_ = 0;
};

}  // namespace salvora

#include "device/backup_file_transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "core/abort_counter.h"
#include "device/device_error_code.h"
#include "device/device_log.h"
#include "device/device_path.h"

namespace salvora {
namespace {

constexpr uint8_t kCodeSuccess = 0x00;
constexpr uint8_t kCodeLocalError = 0x06;
constexpr uint8_t kCodeRemoteError = 0x0B;
constexpr uint8_t kCodeFileData = 0x0C;

// Receives that fail in a row (not merely bring nothing) before the link counts as broken.
constexpr int kMaxConsecutiveErrors = 12;
// Longest device text kept for the console; the rest of a longer text is read and dropped.
constexpr uint32_t kMaxDeviceText = 65536;

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void PutU32(char* out, uint32_t value) {
  out[0] = static_cast<char>((value >> 24) & 0xFF);
  out[1] = static_cast<char>((value >> 16) & 0xFF);
  out[2] = static_cast<char>((value >> 8) & 0xFF);
  out[3] = static_cast<char>(value & 0xFF);
}

uint32_t GetU32(const char* in) {
  auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(in[i])); };
  return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

bool Aborted() { return BackupAbortCounter().load() > 0; }

}  // namespace

BackupFileTransfer::BackupFileTransfer(IDeviceTransport& transport, std::filesystem::path backupDir,
                                       std::string udid)
    : transport_(transport), backupDir_(std::move(backupDir)), udid_(std::move(udid)) {}

bool BackupFileTransfer::SendAll(const char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(length - done, UINT32_MAX));
    uint32_t sent = 0;
    int error = transport_.SendRaw(data + done, chunk, sent);
    if (error != 0 || sent == 0) return false;
    done += std::min<size_t>(sent, chunk);
  }
  return true;
}

bool BackupFileTransfer::SendName(const std::string& name) {
  std::vector<char> frame(4 + name.size());
  PutU32(frame.data(), static_cast<uint32_t>(name.size()));
  std::copy(name.begin(), name.end(), frame.begin() + 4);
  return SendAll(frame.data(), frame.size());
}

bool BackupFileTransfer::SendBlock(uint8_t code, const char* payload, uint32_t length) {
  std::vector<char> frame(5 + static_cast<size_t>(length));
  PutU32(frame.data(), length + 1);  // the length counts the code byte
  frame[4] = static_cast<char>(code);
  if (length > 0) std::copy(payload, payload + length, frame.begin() + 5);
  return SendAll(frame.data(), frame.size());
}

void BackupFileTransfer::AddError(plist_t errors, const std::string& name, int errnoValue) {
  if (errors == nullptr) return;
  plist_t entry = plist_new_dict();
  plist_dict_set_item(entry, "DLFileErrorString",
                      plist_new_string(DeviceErrorText(errnoValue).c_str()));
  // Negative codes travel as the two's complement of the 64-bit integer, which the device
  // reads back as the signed value.
  plist_dict_set_item(
      entry, "DLFileErrorCode",
      plist_new_uint(static_cast<uint64_t>(static_cast<int64_t>(DeviceErrorCode(errnoValue)))));
  plist_dict_set_item(errors, name.c_str(), entry);
}

int BackupFileTransfer::SendFiles(plist_t names, plist_t errors) {
  int failures = 0;
  uint32_t count = names != nullptr && plist_get_node_type(names) == PLIST_ARRAY
                       ? plist_array_get_size(names)
                       : 0;
  std::vector<char> buffer(kBlockPayload);
  bool linkBroken = false;
  for (uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (!PlistString(plist_array_get_item(names, i), name)) continue;
    if (!SendName(name)) {
      linkBroken = true;
      break;
    }

    int error = 0;
    std::optional<std::filesystem::path> local = ResolveDevicePath(backupDir_, udid_, name);
    std::error_code ec;
    uintmax_t size = 0;
    if (!local) {
      error = EACCES;
      DeviceLog("Refusing to send '%s': outside the backup directory\n", name.c_str());
    } else {
      size = std::filesystem::file_size(*local, ec);
      if (ec) {
        error = ec.category() == std::generic_category() || ec.category() == std::system_category()
                    ? ec.value()
                    : EFAULT;
        // A missing file is an ordinary answer; only other failures are worth a line.
        if (error != ENOENT) {
          DeviceLog("%s: %s\n", local->c_str(), DeviceErrorText(error).c_str());
        }
      }
    }

    if (error == 0 && size > 0) {
      FilePtr file(std::fopen(local->c_str(), "rb"));
      if (file == nullptr) {
        error = errno != 0 ? errno : EIO;
      } else {
        while (true) {
          size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
          if (n > 0 && !SendBlock(kCodeFileData, buffer.data(), static_cast<uint32_t>(n))) {
            linkBroken = true;
            break;
          }
          if (n < buffer.size()) {
            if (std::ferror(file.get()) != 0) {
              DeviceLog("%s: read error\n", local->c_str());
              error = EIO;
            }
            break;
          }
        }
      }
    }
    if (linkBroken) break;

    if (error == 0) {
      if (!SendBlock(kCodeSuccess, nullptr, 0)) {
        linkBroken = true;
        break;
      }
      continue;
    }
    AddError(errors, name, error);
    ++failures;
    std::string text = DeviceErrorText(error);
    if (!SendBlock(kCodeLocalError, text.data(), static_cast<uint32_t>(text.size()))) {
      linkBroken = true;
    }
    // A failed file ends the list after its error block.
    break;
  }
  if (!linkBroken) {
    const char end[4] = {0, 0, 0, 0};
    (void)SendAll(end, sizeof(end));
  }
  return failures;
}

bool BackupFileTransfer::ReadExactly(char* data, uint32_t length) {
  uint32_t done = 0;
  while (done < length) {
    if (Aborted()) return false;
    uint32_t got = 0;
    int error = transport_.ReceiveRaw(data + done, length - done, got);
    if (got > 0) {
      done += std::min(got, length - done);
      consecutiveErrors_ = 0;
      continue;
    }
    // Nothing arrived: a device that has gone ends the job; one that is there is waited for.
    if (!transport_.IsDevicePresent()) {
      BackupAbortCounter().fetch_add(1);
      return false;
    }
    if (error != 0 && ++consecutiveErrors_ >= kMaxConsecutiveErrors) {
      DeviceLog("ERROR: the device link keeps failing (%d); giving up\n", error);
      BackupAbortCounter().fetch_add(1);
      return false;
    }
  }
  return true;
}

bool BackupFileTransfer::ReadU32(uint32_t& value) {
  char bytes[4];
  if (!ReadExactly(bytes, 4)) return false;
  value = GetU32(bytes);
  return true;
}

bool BackupFileTransfer::ReadName(std::string& name) {
  uint32_t length = 0;
  if (!ReadU32(length) || length == 0) return false;
  if (length > kMaxNameLength) {
    DeviceLog("ERROR: %s: too large filename length (%u)!\n", "ReceiveFiles", length);
    return false;
  }
  name.assign(length, '\0');
  return ReadExactly(name.data(), length);
}

BackupFileTransfer::ReceiveResult BackupFileTransfer::ReceiveFiles() {
  ReceiveResult result;
  result.errors.reset(plist_new_dict());
  std::vector<char> buffer(kBlockPayload);

  FilePtr out;
  std::optional<std::filesystem::path> local;
  bool fileUnfinished = false;  // a file was begun and its end has not arrived
  uint32_t blockRemaining = 0;  // unread payload bytes of the current block

  while (!Aborted()) {
    // Two names: the file's path on the device (not used) and its path in the backup.
    std::string devicePath;
    std::string name;
    if (!ReadName(devicePath) || !ReadName(name)) break;

    uint32_t length = 0;
    if (!ReadU32(length)) {
      DeviceLog("ERROR: %s: could not receive code length!\n", "ReceiveFiles");
      break;
    }
    if (length == 0) break;  // a zero length ends the transfer
    char codeByte = 0;
    if (!ReadExactly(&codeByte, 1)) {
      DeviceLog("ERROR: %s: could not receive code!\n", "ReceiveFiles");
      break;
    }
    uint8_t code = static_cast<uint8_t>(codeByte);
    blockRemaining = length - 1;

    local = ResolveDevicePath(backupDir_, udid_, name);
    bool failed = false;
    if (!local) {
      DeviceLog("Refusing to write '%s': outside the backup directory\n", name.c_str());
      AddError(result.errors.get(), name, EACCES);
      failed = true;
    } else {
      std::error_code ec;
      std::filesystem::remove(*local, ec);
      out.reset(std::fopen(local->c_str(), "wb"));
      if (out == nullptr) {
        int error = errno != 0 ? errno : EIO;
        DeviceLog("Error opening '%s' for writing: %s\n", local->c_str(),
                  DeviceErrorText(error).c_str());
        AddError(result.errors.get(), name, error);
        failed = true;
      }
    }
    fileUnfinished = true;

    uint8_t lastCode = 0;
    bool ended = false;  // the transfer ended inside this file
    bool endOfTransfer = false;
    while (code == kCodeFileData) {
      while (blockRemaining > 0) {
        uint32_t n = std::min(blockRemaining, kBlockPayload);
        if (!ReadExactly(buffer.data(), n)) {
          ended = true;
          break;
        }
        blockRemaining -= n;
        if (out != nullptr && std::fwrite(buffer.data(), 1, n, out.get()) != n) {
          int error = errno != 0 ? errno : EIO;
          DeviceLog("Error writing '%s': %s\n", local->c_str(), DeviceErrorText(error).c_str());
          AddError(result.errors.get(), name, error);
          out.reset();
          std::error_code ec;
          std::filesystem::remove(*local, ec);
          failed = true;
        }
        if (Aborted()) {
          ended = true;
          break;
        }
      }
      if (ended) break;
      lastCode = code;
      if (!ReadU32(length)) {
        ended = true;
        break;
      }
      if (length == 0) {
        endOfTransfer = true;
        break;
      }
      if (!ReadExactly(&codeByte, 1)) {
        ended = true;
        break;
      }
      code = static_cast<uint8_t>(codeByte);
      blockRemaining = length - 1;
    }
    if (ended) break;

    // The file's data is complete.
    if (out != nullptr) {
      bool closed = std::fclose(out.release()) == 0;
      if (closed) {
        ++result.files;
      } else if (!failed) {
        AddError(result.errors.get(), name, EIO);
        failed = true;
      }
    }
    if (failed) ++result.failures;
    fileUnfinished = false;
    if (endOfTransfer) break;

    // The block that followed the data: 0x0B carries a text, which is the device's error
    // message unless the block before it carried file data (then it only marks the end of
    // the file). The payload of any other code is dropped.
    if (blockRemaining > 0) {
      std::string text;
      bool readAll = true;
      while (blockRemaining > 0) {
        uint32_t n = std::min(blockRemaining, kBlockPayload);
        if (!ReadExactly(buffer.data(), n)) {
          readAll = false;
          break;
        }
        blockRemaining -= n;
        size_t keep =
            std::min<size_t>(n, kMaxDeviceText - std::min<size_t>(text.size(), kMaxDeviceText));
        text.append(buffer.data(), keep);
      }
      if (!readAll) break;
      if (code == kCodeRemoteError && lastCode != kCodeFileData) {
        DeviceLog("Received an error message from device: %s\n", text.c_str());
      }
    }
  }

  if (fileUnfinished) {
    // The transfer ended inside a file: drop the rest of its block while the link is still
    // in step, and delete what was written of it.
    if (blockRemaining > 0 && !Aborted()) {
      while (blockRemaining > 0) {
        uint32_t n = std::min(blockRemaining, kBlockPayload);
        if (!ReadExactly(buffer.data(), n)) break;
        blockRemaining -= n;
      }
    }
    out.reset();
    if (local) {
      std::error_code ec;
      std::filesystem::remove(*local, ec);
    }
  }
  return result;
}

}  // namespace salvora

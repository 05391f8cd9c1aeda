// A device whose only talk is a prepared byte stream on the raw link (an upload), handed over
// in pieces of at most `piece` bytes, and which has gone once the stream is used up. Shared by
// the receiver's fuzz entry point and its benchmark; everything else answers "not there".
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "device/device_transport.h"

namespace salvora::testing {

class StreamDevice final : public IDeviceTransport {
 public:
  // `data` must outlive the device. A `piece` of 0 hands over 1 to 7 bytes at a time, varying.
  StreamDevice(const char* data, size_t size, size_t piece)
      : data_(data), size_(size), piece_(piece) {}

  std::string Udid() const override { return "stream-udid"; }
  bool IsDevicePresent() override { return position_ < size_; }
  bool HasBackupService() const override { return true; }
  int ReceiveMessage(PlistPtr& message) override {
    message.reset();
    return -5;  // nothing arrives
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
    size_t piece = piece_ != 0 ? piece_ : 1 + position_ % 7;
    size_t n = std::min<size_t>({length, size_ - position_, piece});
    if (n > 0) std::memcpy(data, data_ + position_, n);
    position_ += n;
    received = static_cast<uint32_t>(n);
    return 0;
  }
  int GetLockdownValue(const char*, const char*, PlistPtr& value) override {
    value.reset();
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
  const char* data_;
  size_t size_;
  size_t piece_;
  size_t position_ = 0;
};

}  // namespace salvora::testing

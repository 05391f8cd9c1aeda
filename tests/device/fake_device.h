// A scripted phone for the device tests: plays the device side of IDeviceTransport.
//
// The script is a queue of steps. Each receive of a message takes the next step: its message
// (none: the receive brings nothing), the raw bytes the device then sends on the link (file
// names and blocks of an upload) and an optional action run at that moment (a notification,
// an unplug). Everything the host sends is recorded: status responses, messages, requests, raw
// bytes, posted notifications, AFC lock calls.
//
// "ChangePassword" is answered by the fake itself with a "DLMessageProcessMessage" put in front
// of the script: ErrorCode 0 when the old password matches the device's backup password (or a
// new password is set while none is), else kWrongPasswordCode.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/plist_ptr.h"
#include "device/device_transport.h"

namespace salvora::testing {

// Builds a device-link message: an array of the name followed by `items` (taken).
PlistPtr DeviceMessage(const char* name, std::vector<plist_t> items = {});
// A string node, an array of strings, a dictionary of string pairs.
plist_t Str(const std::string& text);
plist_t StringArray(const std::vector<std::string>& items);
plist_t StringDict(const std::vector<std::pair<std::string, std::string>>& items);
// "DLMessageProcessMessage" with the given ErrorCode (none: without the key).
PlistPtr ProcessMessage(std::optional<uint64_t> errorCode);

// The device's side of an upload on the raw stream.
class UploadStream {
 public:
  // One file: its two names, its data in blocks of at most `blockSize` bytes (code 0x0C), then
  // the end block `endCode` (0x00 with no payload, or 0x0B with the text "end").
  UploadStream& File(const std::string& path, const std::string& data, size_t blockSize = 32768,
                     uint8_t endCode = 0x00);
  // A block of any code with a payload.
  UploadStream& Block(uint8_t code, const std::string& payload);
  UploadStream& Name(const std::string& name);
  UploadStream& Raw(const std::string& bytes);
  // The empty name that ends the upload.
  UploadStream& End();
  [[nodiscard]] const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

std::string BigEndian32(uint32_t value);

class FakeDevice : public IDeviceTransport {
 public:
  static constexpr uint64_t kWrongPasswordCode = 207;

  struct Status {
    int code = 0;
    std::optional<std::string> description;
    PlistPtr plist;  // null: sent without one
  };
  struct SentMessage {
    std::string name;
    PlistPtr options;
  };

  explicit FakeDevice(std::string udid = "00008030-001a2b3c4d5e6f70");

  // --- scripting ---
  void Queue(PlistPtr message, std::string raw = {}, std::function<void()> action = {});
  void QueueNothing(int count = 1);
  // Lockdown: the main domain's dictionary (taken) and a value of another domain.
  void SetLockdownValues(plist_t values);
  void SetDomainValue(const std::string& domain, const std::string& key, plist_t value);
  void SetAfcFile(const std::string& path, std::string bytes) {
    afcFiles_[path] = std::move(bytes);
  }
  // The file is reported with its size but delivers only `bytes` bytes.
  void SetAfcShortFile(const std::string& path, std::string bytes, uint64_t claimedSize);
  // Answers of the successive AFC lock attempts (then success).
  void SetLockAnswers(std::vector<int> answers) {
    lockAnswers_.assign(answers.begin(), answers.end());
  }
  // The device's backup password (empty: it does not encrypt); keeps WillEncrypt in step.
  void SetBackupPassword(const std::string& password);
  // Makes the answer to setting a new password fail with `code`.
  void FailTurnOn(uint64_t code) { turnOnFailure_ = code; }
  void SetHasBackupService(bool has) { hasBackupService_ = has; }
  void SetPresent(bool present) { present_ = present; }
  // Raw receives deliver at most this many bytes each.
  void SetMaxRawChunk(uint32_t bytes) { maxRawChunk_ = bytes; }

  // --- what the host did ---
  std::vector<Status> statuses;
  std::vector<SentMessage> messages;  // SendMessage and SendRequest ("Backup" etc.)
  std::vector<std::string> notifications;
  std::string rawSent;
  int receiveCalls = 0;
  int lockCalls = 0;
  int unlockCalls = 0;
  int closedHandles = 0;
  const std::string& backupPassword() const { return password_; }

  // --- IDeviceTransport ---
  [[nodiscard]] std::string Udid() const override { return udid_; }
  [[nodiscard]] bool IsDevicePresent() override { return present_; }
  [[nodiscard]] bool HasBackupService() const override { return hasBackupService_; }
  [[nodiscard]] int ReceiveMessage(PlistPtr& message) override;
  [[nodiscard]] int SendMessage(const std::string& name, plist_t options) override;
  [[nodiscard]] int SendRequest(const std::string& request, const std::string& target,
                                const std::string& source, plist_t options) override;
  [[nodiscard]] int SendStatusResponse(int code, const char* description, plist_t plist) override;
  [[nodiscard]] int SendRaw(const char* data, uint32_t length, uint32_t& sent) override;
  [[nodiscard]] int ReceiveRaw(char* data, uint32_t length, uint32_t& received) override;
  [[nodiscard]] int GetLockdownValue(const char* domain, const char* key, PlistPtr& value) override;
  [[nodiscard]] int AfcGetFileSize(const std::string& path, uint64_t& size) override;
  [[nodiscard]] int AfcOpen(const std::string& path, afc_file_mode_t mode,
                            uint64_t& handle) override;
  [[nodiscard]] int AfcRead(uint64_t handle, char* data, uint32_t length,
                            uint32_t& bytesRead) override;
  [[nodiscard]] int AfcLock(uint64_t handle, afc_lock_op_t operation) override;
  int AfcClose(uint64_t handle) override;
  int PostNotification(const std::string& name) override;

 private:
  struct Step {
    PlistPtr message;
    std::string raw;
    std::function<void()> action;
  };
  struct OpenFile {
    std::string path;
    size_t position = 0;
  };

  std::string udid_;
  bool present_ = true;
  bool hasBackupService_ = true;
  std::deque<Step> script_;
  std::string rawIn_;
  size_t rawPos_ = 0;
  uint32_t maxRawChunk_ = UINT32_MAX;
  PlistPtr values_;
  std::map<std::string, PlistPtr> domainValues_;  // "domain|key"
  std::map<std::string, std::string> afcFiles_;
  std::map<std::string, uint64_t> claimedSizes_;
  std::map<uint64_t, OpenFile> openFiles_;
  uint64_t nextHandle_ = 1;
  std::deque<int> lockAnswers_;
  std::string password_;
  std::optional<uint64_t> turnOnFailure_;
};

// Hands a FakeDevice that the test keeps to a connection, which owns (and at Disconnect
// destroys) only this forwarder, so the test can look at the fake afterwards.
class FakeDeviceProxy final : public IDeviceTransport {
 public:
  explicit FakeDeviceProxy(FakeDevice& device) : d_(device) {}
  [[nodiscard]] std::string Udid() const override { return d_.Udid(); }
  [[nodiscard]] bool IsDevicePresent() override { return d_.IsDevicePresent(); }
  [[nodiscard]] bool HasBackupService() const override { return d_.HasBackupService(); }
  [[nodiscard]] int ReceiveMessage(PlistPtr& m) override { return d_.ReceiveMessage(m); }
  [[nodiscard]] int SendMessage(const std::string& n, plist_t o) override {
    return d_.SendMessage(n, o);
  }
  [[nodiscard]] int SendRequest(const std::string& r, const std::string& t, const std::string& s,
                                plist_t o) override {
    return d_.SendRequest(r, t, s, o);
  }
  [[nodiscard]] int SendStatusResponse(int c, const char* d, plist_t p) override {
    return d_.SendStatusResponse(c, d, p);
  }
  [[nodiscard]] int SendRaw(const char* b, uint32_t n, uint32_t& s) override {
    return d_.SendRaw(b, n, s);
  }
  [[nodiscard]] int ReceiveRaw(char* b, uint32_t n, uint32_t& r) override {
    return d_.ReceiveRaw(b, n, r);
  }
  [[nodiscard]] int GetLockdownValue(const char* d, const char* k, PlistPtr& v) override {
    return d_.GetLockdownValue(d, k, v);
  }
  [[nodiscard]] int AfcGetFileSize(const std::string& p, uint64_t& s) override {
    return d_.AfcGetFileSize(p, s);
  }
  [[nodiscard]] int AfcOpen(const std::string& p, afc_file_mode_t m, uint64_t& h) override {
    return d_.AfcOpen(p, m, h);
  }
  [[nodiscard]] int AfcRead(uint64_t h, char* b, uint32_t n, uint32_t& r) override {
    return d_.AfcRead(h, b, n, r);
  }
  [[nodiscard]] int AfcLock(uint64_t h, afc_lock_op_t o) override { return d_.AfcLock(h, o); }
  int AfcClose(uint64_t h) override { return d_.AfcClose(h); }
  int PostNotification(const std::string& n) override { return d_.PostNotification(n); }

 private:
  FakeDevice& d_;
};

}  // namespace salvora::testing

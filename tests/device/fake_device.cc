#include "device/fake_device.h"

#include <algorithm>
#include <cstring>

namespace salvora::testing {

PlistPtr DeviceMessage(const char* name, std::vector<plist_t> items) {
  PlistPtr array(plist_new_array());
  plist_array_append_item(array.get(), plist_new_string(name));
  for (plist_t item : items) plist_array_append_item(array.get(), item);
  return array;
}

plist_t Str(const std::string& text) { return plist_new_string(text.c_str()); }

plist_t StringArray(const std::vector<std::string>& items) {
  plist_t array = plist_new_array();
  for (const std::string& item : items)
    plist_array_append_item(array, plist_new_string(item.c_str()));
  return array;
}

plist_t StringDict(const std::vector<std::pair<std::string, std::string>>& items) {
  plist_t dict = plist_new_dict();
  for (const auto& [key, value] : items) {
    plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
  }
  return dict;
}

PlistPtr ProcessMessage(std::optional<uint64_t> errorCode) {
  plist_t info = plist_new_dict();
  if (errorCode) plist_dict_set_item(info, "ErrorCode", plist_new_uint(*errorCode));
  plist_dict_set_item(info, "ErrorDescription", plist_new_string("scripted"));
  return DeviceMessage("DLMessageProcessMessage", {info});
}

std::string BigEndian32(uint32_t value) {
  std::string out(4, '\0');
  out[0] = static_cast<char>(value >> 24);
  out[1] = static_cast<char>(value >> 16);
  out[2] = static_cast<char>(value >> 8);
  out[3] = static_cast<char>(value);
  return out;
}

UploadStream& UploadStream::Name(const std::string& name) {
  bytes_ += BigEndian32(static_cast<uint32_t>(name.size())) + name;
  return *this;
}

UploadStream& UploadStream::Block(uint8_t code, const std::string& payload) {
  bytes_ += BigEndian32(static_cast<uint32_t>(payload.size() + 1));
  bytes_.push_back(static_cast<char>(code));
  bytes_ += payload;
  return *this;
}

UploadStream& UploadStream::Raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

UploadStream& UploadStream::File(const std::string& path, const std::string& data, size_t blockSize,
                                 uint8_t endCode) {
  Name("/var/mobile/" + path);  // the device's own path, not used by the host
  Name(path);
  for (size_t at = 0; at < data.size(); at += blockSize) Block(0x0C, data.substr(at, blockSize));
  if (endCode == 0x0B) {
    Block(0x0B, "end");
  } else {
    Block(endCode, "");
  }
  return *this;
}

UploadStream& UploadStream::End() {
  bytes_ += BigEndian32(0);
  return *this;
}

FakeDevice::FakeDevice(std::string udid) : udid_(std::move(udid)), values_(plist_new_dict()) {}

void FakeDevice::Queue(PlistPtr message, std::string raw, std::function<void()> action) {
  script_.push_back(Step{std::move(message), std::move(raw), std::move(action)});
}

void FakeDevice::QueueNothing(int count) {
  for (int i = 0; i < count; ++i) script_.push_back(Step{});
}

void FakeDevice::SetLockdownValues(plist_t values) { values_.reset(values); }

void FakeDevice::SetDomainValue(const std::string& domain, const std::string& key, plist_t value) {
  domainValues_[domain + "|" + key].reset(value);
}

void FakeDevice::SetAfcShortFile(const std::string& path, std::string bytes, uint64_t claimedSize) {
  afcFiles_[path] = std::move(bytes);
  claimedSizes_[path] = claimedSize;
}

void FakeDevice::SetBackupPassword(const std::string& password) {
  password_ = password;
  SetDomainValue("com.apple.mobile.backup", "WillEncrypt", plist_new_bool(!password.empty()));
}

int FakeDevice::ReceiveMessage(PlistPtr& message) {
  ++receiveCalls;
  message.reset();
  if (script_.empty()) return -5;  // a receive timeout
  Step step = std::move(script_.front());
  script_.pop_front();
  rawIn_ += step.raw;
  if (step.action) step.action();
  if (step.message == nullptr) return -5;
  message = std::move(step.message);
  return 0;
}

int FakeDevice::SendMessage(const std::string& name, plist_t options) {
  if (!present_) return -3;
  messages.push_back(
      SentMessage{name, PlistPtr(options != nullptr ? plist_copy(options) : nullptr)});
  if (name != "ChangePassword") return 0;

  std::string oldPassword;
  std::string newPassword;
  bool hasOld = PlistString(plist_dict_get_item(options, "OldPassword"), oldPassword);
  bool hasNew = PlistString(plist_dict_get_item(options, "NewPassword"), newPassword);
  uint64_t answer = kWrongPasswordCode;
  if (hasOld && !hasNew && !password_.empty() && oldPassword == password_) {
    answer = 0;
    SetBackupPassword("");
  } else if (hasNew && !hasOld) {
    if (turnOnFailure_) {
      answer = *turnOnFailure_;
    } else if (password_.empty()) {
      answer = 0;
      SetBackupPassword(newPassword);
    }
  }
  script_.push_front(Step{ProcessMessage(answer), {}, {}});
  return 0;
}

int FakeDevice::SendRequest(const std::string& request, const std::string& target,
                            const std::string& source, plist_t options) {
  if (!present_) return -3;
  PlistPtr record(plist_new_dict());
  plist_dict_set_item(record.get(), "TargetIdentifier", plist_new_string(target.c_str()));
  plist_dict_set_item(record.get(), "SourceIdentifier", plist_new_string(source.c_str()));
  if (options != nullptr) plist_dict_set_item(record.get(), "Options", plist_copy(options));
  messages.push_back(SentMessage{request, std::move(record)});
  return 0;
}

int FakeDevice::SendStatusResponse(int code, const char* description, plist_t plist) {
  Status status;
  status.code = code;
  if (description != nullptr) status.description = description;
  if (plist != nullptr) status.plist.reset(plist_copy(plist));
  statuses.push_back(std::move(status));
  return present_ ? 0 : -3;
}

int FakeDevice::SendRaw(const char* data, uint32_t length, uint32_t& sent) {
  sent = 0;
  if (!present_) return -3;
  rawSent.append(data, length);
  sent = length;
  return 0;
}

int FakeDevice::ReceiveRaw(char* data, uint32_t length, uint32_t& received) {
  received = 0;
  if (!present_) return -3;
  size_t left = rawIn_.size() - rawPos_;
  if (left == 0) {
    // A device whose bytes have run out has gone: the tests never wait for more.
    present_ = false;
    return 0;
  }
  size_t n = std::min<size_t>({left, length, maxRawChunk_});
  std::memcpy(data, rawIn_.data() + rawPos_, n);
  rawPos_ += n;
  received = static_cast<uint32_t>(n);
  return 0;
}

int FakeDevice::GetLockdownValue(const char* domain, const char* key, PlistPtr& value) {
  value.reset();
  if (!present_) return -8;
  if (domain == nullptr && key == nullptr) {
    if (values_ == nullptr) return -8;
    value.reset(plist_copy(values_.get()));
    return 0;
  }
  auto it = domainValues_.find(std::string(domain != nullptr ? domain : "") + "|" +
                               (key != nullptr ? key : ""));
  if (it == domainValues_.end() || it->second == nullptr) return -8;
  value.reset(plist_copy(it->second.get()));
  return 0;
}

int FakeDevice::AfcGetFileSize(const std::string& path, uint64_t& size) {
  auto it = afcFiles_.find(path);
  if (it == afcFiles_.end()) return AFC_E_OBJECT_NOT_FOUND;
  auto claimed = claimedSizes_.find(path);
  size = claimed != claimedSizes_.end() ? claimed->second : it->second.size();
  return AFC_E_SUCCESS;
}

int FakeDevice::AfcOpen(const std::string& path, afc_file_mode_t mode, uint64_t& handle) {
  handle = 0;
  if (mode == AFC_FOPEN_RDONLY && afcFiles_.count(path) == 0) return AFC_E_OBJECT_NOT_FOUND;
  handle = nextHandle_++;
  openFiles_[handle] = OpenFile{path, 0};
  return AFC_E_SUCCESS;
}

int FakeDevice::AfcRead(uint64_t handle, char* data, uint32_t length, uint32_t& bytesRead) {
  bytesRead = 0;
  auto it = openFiles_.find(handle);
  if (it == openFiles_.end()) return AFC_E_INVALID_ARG;
  const std::string& bytes = afcFiles_[it->second.path];
  size_t n = std::min<size_t>(length, bytes.size() - it->second.position);
  std::memcpy(data, bytes.data() + it->second.position, n);
  it->second.position += n;
  bytesRead = static_cast<uint32_t>(n);
  return AFC_E_SUCCESS;
}

int FakeDevice::AfcLock(uint64_t handle, afc_lock_op_t operation) {
  if (openFiles_.count(handle) == 0) return AFC_E_INVALID_ARG;
  if (operation == AFC_LOCK_UN) {
    ++unlockCalls;
    return AFC_E_SUCCESS;
  }
  ++lockCalls;
  if (lockAnswers_.empty()) return AFC_E_SUCCESS;
  int answer = lockAnswers_.front();
  lockAnswers_.pop_front();
  return answer;
}

int FakeDevice::AfcClose(uint64_t handle) {
  if (openFiles_.erase(handle) == 0) return AFC_E_INVALID_ARG;
  ++closedHandles;
  return AFC_E_SUCCESS;
}

int FakeDevice::PostNotification(const std::string& name) {
  if (!present_) return -1;
  notifications.push_back(name);
  return 0;
}

}  // namespace salvora::testing

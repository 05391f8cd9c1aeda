#include "device/device_connection.h"

#include <thread>

#include "core/result_codes.h"
#include "core/text.h"
#include "device/device_notifications.h"
#include "device/imobiledevice_transport.h"
#include "platform/mobile_device_service.h"

namespace salvora {
namespace {

constexpr int kSyncLockAttempts = 50;
constexpr const char* kSyncLockFile = "/com.apple.itunes.lock_sync";

// The integer part of a version text: decimal digits up to the first other character.
int VersionMajor(const std::string& version) {
  int major = 0;
  for (char c : version) {
    if (c < '0' || c > '9') break;
    if (major < 100000) major = major * 10 + (c - '0');
  }
  return major;
}

}  // namespace

DeviceConnection::DeviceConnection() = default;

DeviceConnection::~DeviceConnection() {
  Disconnect();
  ForgetEncryptionPassword();
}

DeviceConnection& DeviceConnection::Instance() {
  static DeviceConnection connection;
  return connection;
}

bool DeviceConnection::IsAppleSupportInstalled() {
  return platform::IsMobileDeviceServiceReachable();
}

int DeviceConnection::Connect(uint8_t& willEncryptOut) {
  std::unique_ptr<ImobiledeviceTransport> opened;
  int result = ImobiledeviceTransport::Open(opened);
  if (result != 0) return result;
  return ConnectThrough(std::move(opened), willEncryptOut);
}

int DeviceConnection::ConnectThrough(std::unique_ptr<IDeviceTransport> transport,
                                     uint8_t& willEncryptOut) {
  transport_ = std::move(transport);
  if (transport_ == nullptr) return -1;
  udid = transport_->Udid();

  if (transport_->HasBackupService()) {
    transport_->PostNotification(kNotifySyncWillStart);

    // The sync lock keeps other programs (and the device's own sync) away during the backup.
    uint64_t handle = 0;
    if (transport_->AfcOpen(kSyncLockFile, AFC_FOPEN_RW, handle) == AFC_E_SUCCESS && handle != 0) {
      syncLock = handle;
      transport_->PostNotification(kNotifySyncLockRequest);
      for (int attempt = 0; attempt < kSyncLockAttempts; ++attempt) {
        int error = transport_->AfcLock(handle, AFC_LOCK_EX);
        if (error == AFC_E_SUCCESS) {
          transport_->PostNotification(kNotifySyncDidStart);
          break;
        }
        if (error != AFC_E_OP_WOULD_BLOCK) {
          transport_->AfcClose(handle);
          syncLock = 0;
          transport_.reset();
          udid.clear();
          return error;
        }
        // Busy: another program holds the lock. After the last try the connection is used
        // without it; the file stays open in `syncLock` until Disconnect.
        if (attempt + 1 < kSyncLockAttempts) std::this_thread::sleep_for(syncLockRetryWait);
      }
    }

    willEncrypt = 0;
    PlistPtr value;
    if (transport_->GetLockdownValue("com.apple.mobile.backup", "WillEncrypt", value) == 0 &&
        value != nullptr && plist_get_node_type(value.get()) == PLIST_BOOLEAN) {
      uint8_t flag = 0;
      plist_get_bool_val(value.get(), &flag);
      willEncrypt = flag != 0 ? 1 : 0;
    }
  }
  willEncryptOut = willEncrypt;

  std::string ignored;
  (void)GetProductVersion(ignored);
  (void)GetDeviceName(ignored);
  (void)GetDeviceClass(ignored);
  return 0;
}

void DeviceConnection::ReleaseSyncLock() {
  if (syncLock == 0 || transport_ == nullptr) {
    syncLock = 0;
    return;
  }
  (void)transport_->AfcLock(syncLock, AFC_LOCK_UN);
  transport_->AfcClose(syncLock);
  syncLock = 0;
  transport_->PostNotification(kNotifySyncDidFinish);
}

int DeviceConnection::Disconnect() {
  ReleaseSyncLock();
  transport_.reset();
  udid.clear();
  productVersion.clear();
  deviceName.clear();
  deviceClass.clear();
  return 0;
}

bool DeviceConnection::IsDevicePresent() {
  if (transport_ != nullptr) return transport_->IsDevicePresent();
  return ImobiledeviceTransport::IsAnyDevicePresent();
}

int DeviceConnection::ReadDeviceValue(const char* key, std::string& cache, std::string& out) {
  if (!cache.empty()) {
    // A filled cache answers without asking the device; the result says so.
    out = cache;
    return kInvalidParameter;
  }
  if (transport_ == nullptr) return kInvalidParameter;
  PlistPtr values;
  if (transport_->GetLockdownValue(nullptr, nullptr, values) != 0 || values == nullptr ||
      plist_get_node_type(values.get()) != PLIST_DICT) {
    return kInvalidParameter;
  }
  std::string text;
  if (!PlistString(plist_dict_get_item(values.get(), key), text)) return kInvalidParameter;
  cache = text;
  out = text;
  return kOk;
}

int DeviceConnection::GetProductVersion(std::string& out) {
  int result = ReadDeviceValue("ProductVersion", productVersion, out);
  if (result == kOk) {
    int major = VersionMajor(productVersion);
    isTwoLevelLayout = major >= 10 ? 1 : 0;
    isAboveVersion11 = major >= 12 ? 1 : 0;
  }
  return result;
}

int DeviceConnection::GetDeviceName(std::string& out) {
  bool wasCached = !deviceName.empty();
  int result = ReadDeviceValue("DeviceName", deviceName, out);
  if (result == kOk && !wasCached) {
    // The name is shown and written into page titles: make it valid UTF-8.
    deviceName = Utf16ToUtf8(Utf8ToUtf16(deviceName));
    out = deviceName;
  }
  return result;
}

int DeviceConnection::GetDeviceClass(std::string& out) {
  return ReadDeviceValue("DeviceClass", deviceClass, out);
}

void DeviceConnection::RememberEncryptionPassword(const std::string& password) {
  ForgetEncryptionPassword();
  encryptionPassword_ = password;
  encryptionTurnedOff_ = true;
}

void DeviceConnection::ForgetEncryptionPassword() {
  volatile char* bytes = encryptionPassword_.data();
  for (size_t i = 0; i < encryptionPassword_.size(); ++i) bytes[i] = 0;
  encryptionPassword_.clear();
  encryptionTurnedOff_ = false;
}

}  // namespace salvora

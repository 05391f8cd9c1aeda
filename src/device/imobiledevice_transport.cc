#include "device/imobiledevice_transport.h"

#include <cstdlib>
#include <cstring>

#include "device/device_log.h"
#include "device/device_notifications.h"

namespace salvora {
namespace {

void OnNotification(const char* notification, void* /*userData*/) {
  if (notification != nullptr) HandleDeviceNotification(notification);
}

bool HasPort(const internal::ServicePtr& service) {
  return service != nullptr && service->port != 0;
}

}  // namespace

int ImobiledeviceTransport::Open(std::unique_ptr<ImobiledeviceTransport>& out) {
  out.reset();
  std::unique_ptr<ImobiledeviceTransport> transport(new ImobiledeviceTransport());

  idevice_t device = nullptr;
  if (idevice_new(&device, nullptr) != IDEVICE_E_SUCCESS || device == nullptr) return -1;
  transport->device_.reset(device);
  char* udid = nullptr;
  if (idevice_get_udid(device, &udid) == IDEVICE_E_SUCCESS && udid != nullptr) {
    transport->udid_ = udid;
  }
  std::free(udid);

  lockdownd_client_t lockdown = nullptr;
  lockdownd_error_t lockdownError =
      lockdownd_client_new_with_handshake(device, &lockdown, kLockdownLabel);
  if (lockdownError != LOCKDOWN_E_SUCCESS) return lockdownError;
  transport->lockdown_.reset(lockdown);

  // The notification proxy carries the user's cancel on the device.
  lockdownd_service_descriptor_t raw = nullptr;
  lockdownError = lockdownd_start_service(lockdown, kNotificationProxyService, &raw);
  internal::ServicePtr service(raw);
  if (lockdownError != LOCKDOWN_E_SUCCESS || !HasPort(service)) return -1;
  np_client_t notifications = nullptr;
  if (np_client_new(device, service.get(), &notifications) != NP_E_SUCCESS) return -1;
  transport->notifications_.reset(notifications);
  np_set_notify_callback(notifications, OnNotification, nullptr);
  const char* observed[] = {kNotifySyncCancelRequest, kNotifySyncSuspendRequest,
                            kNotifySyncResumeRequest, kNotifyHostAttached,
                            kNotifyHostDetached,      nullptr};
  np_observe_notifications(notifications, observed);

  // AFC is needed only for the sync lock and the files of Info.plist.
  raw = nullptr;
  lockdownError = lockdownd_start_service(lockdown, kAfcService, &raw);
  service.reset(raw);
  if (lockdownError == LOCKDOWN_E_SUCCESS && HasPort(service)) {
    afc_client_t afc = nullptr;
    if (afc_client_new(device, service.get(), &afc) == AFC_E_SUCCESS) transport->afc_.reset(afc);
  }

  // Newer devices want the escrow bag to make a backup while locked; older ones refuse it.
  raw = nullptr;
  lockdownError = lockdownd_start_service_with_escrow_bag(lockdown, kMobileBackup2Service, &raw);
  if (lockdownError != LOCKDOWN_E_SUCCESS) {
    if (raw != nullptr) lockdownd_service_descriptor_free(raw);
    raw = nullptr;
    lockdownError = lockdownd_start_service(lockdown, kMobileBackup2Service, &raw);
  }
  service.reset(raw);
  if (lockdownError != LOCKDOWN_E_SUCCESS) return lockdownError;

  if (HasPort(service)) {
    mobilebackup2_client_t backup = nullptr;
    mobilebackup2_error_t backupError = mobilebackup2_client_new(device, service.get(), &backup);
    if (backupError != MOBILEBACKUP2_E_SUCCESS) return backupError;
    transport->backup_.reset(backup);
    double versions[] = {2.0, 2.1};
    double remote = 0.0;
    backupError = mobilebackup2_version_exchange(backup, versions, 2, &remote);
    if (backupError != MOBILEBACKUP2_E_SUCCESS) return backupError;
  }
  out = std::move(transport);
  return 0;
}

bool ImobiledeviceTransport::IsAnyDevicePresent() {
  idevice_t device = nullptr;
  if (idevice_new(&device, nullptr) != IDEVICE_E_SUCCESS || device == nullptr) return false;
  idevice_free(device);
  return true;
}

ImobiledeviceTransport::~ImobiledeviceTransport() {
  lockdown_.reset();
  backup_.reset();
  afc_.reset();
  notifications_.reset();
  device_.reset();
}

bool ImobiledeviceTransport::IsDevicePresent() {
  // The device this transport talks to, not merely any device.
  idevice_t device = nullptr;
  const char* udid = udid_.empty() ? nullptr : udid_.c_str();
  if (idevice_new(&device, udid) != IDEVICE_E_SUCCESS || device == nullptr) return false;
  idevice_free(device);
  return true;
}

int ImobiledeviceTransport::ReceiveMessage(PlistPtr& message) {
  message.reset();
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  plist_t received = nullptr;
  char* name = nullptr;
  mobilebackup2_error_t error = mobilebackup2_receive_message(backup_.get(), &received, &name);
  std::free(name);
  PlistPtr owned(received);
  if (error != MOBILEBACKUP2_E_SUCCESS) return error;
  if (owned == nullptr) return MOBILEBACKUP2_E_PLIST_ERROR;
  message = std::move(owned);
  return 0;
}

int ImobiledeviceTransport::SendMessage(const std::string& name, plist_t options) {
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  return mobilebackup2_send_message(backup_.get(), name.c_str(), options);
}

int ImobiledeviceTransport::SendRequest(const std::string& request, const std::string& target,
                                        const std::string& source, plist_t options) {
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  return mobilebackup2_send_request(backup_.get(), request.c_str(), target.c_str(), source.c_str(),
                                    options);
}

int ImobiledeviceTransport::SendStatusResponse(int code, const char* description, plist_t plist) {
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  return mobilebackup2_send_status_response(backup_.get(), code, description, plist);
}

int ImobiledeviceTransport::SendRaw(const char* data, uint32_t length, uint32_t& sent) {
  sent = 0;
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  return mobilebackup2_send_raw(backup_.get(), data, length, &sent);
}

int ImobiledeviceTransport::ReceiveRaw(char* data, uint32_t length, uint32_t& received) {
  received = 0;
  if (backup_ == nullptr) return MOBILEBACKUP2_E_INVALID_ARG;
  return mobilebackup2_receive_raw(backup_.get(), data, length, &received);
}

int ImobiledeviceTransport::GetLockdownValue(const char* domain, const char* key, PlistPtr& value) {
  value.reset();
  if (lockdown_ == nullptr) return LOCKDOWN_E_INVALID_ARG;
  plist_t node = nullptr;
  lockdownd_error_t error = lockdownd_get_value(lockdown_.get(), domain, key, &node);
  PlistPtr owned(node);
  if (error != LOCKDOWN_E_SUCCESS) return error;
  if (owned == nullptr) return LOCKDOWN_E_UNKNOWN_ERROR;
  value = std::move(owned);
  return 0;
}

int ImobiledeviceTransport::AfcGetFileSize(const std::string& path, uint64_t& size) {
  size = 0;
  if (afc_ == nullptr) return AFC_E_INVALID_ARG;
  char** info = nullptr;
  afc_error_t error = afc_get_file_info(afc_.get(), path.c_str(), &info);
  if (error != AFC_E_SUCCESS) {
    if (info != nullptr) afc_dictionary_free(info);
    return error;
  }
  if (info == nullptr) return AFC_E_OBJECT_NOT_FOUND;
  // The answer is a list of alternating key and value texts, ended by a null.
  bool found = false;
  for (size_t i = 0; info[i] != nullptr && info[i + 1] != nullptr; i += 2) {
    if (std::strcmp(info[i], "st_size") == 0) {
      size = std::strtoull(info[i + 1], nullptr, 10);
      found = true;
      break;
    }
  }
  afc_dictionary_free(info);
  return found ? AFC_E_SUCCESS : AFC_E_NOT_ENOUGH_DATA;
}

int ImobiledeviceTransport::AfcOpen(const std::string& path, afc_file_mode_t mode,
                                    uint64_t& handle) {
  handle = 0;
  if (afc_ == nullptr) return AFC_E_INVALID_ARG;
  return afc_file_open(afc_.get(), path.c_str(), mode, &handle);
}

int ImobiledeviceTransport::AfcRead(uint64_t handle, char* data, uint32_t length,
                                    uint32_t& bytesRead) {
  bytesRead = 0;
  if (afc_ == nullptr) return AFC_E_INVALID_ARG;
  return afc_file_read(afc_.get(), handle, data, length, &bytesRead);
}

int ImobiledeviceTransport::AfcLock(uint64_t handle, afc_lock_op_t operation) {
  if (afc_ == nullptr) return AFC_E_INVALID_ARG;
  return afc_file_lock(afc_.get(), handle, operation);
}

int ImobiledeviceTransport::AfcClose(uint64_t handle) {
  if (afc_ == nullptr) return AFC_E_INVALID_ARG;
  return afc_file_close(afc_.get(), handle);
}

int ImobiledeviceTransport::PostNotification(const std::string& name) {
  // A second lockdown session of its own, so that posting never disturbs the observing proxy.
  lockdownd_client_t raw = nullptr;
  if (device_ == nullptr || lockdownd_client_new_with_handshake(
                                device_.get(), &raw, kLockdownLabel) != LOCKDOWN_E_SUCCESS) {
    if (raw != nullptr) lockdownd_client_free(raw);
    DeviceLog("Could not start %s\n", kNotificationProxyService);
    return -1;
  }
  internal::LockdownPtr lockdown(raw);
  lockdownd_service_descriptor_t rawService = nullptr;
  lockdownd_error_t error =
      lockdownd_start_service(lockdown.get(), kNotificationProxyService, &rawService);
  internal::ServicePtr service(rawService);
  if (error != LOCKDOWN_E_SUCCESS || !HasPort(service)) {
    DeviceLog("Could not start %s\n", kNotificationProxyService);
    return -1;
  }
  np_client_t rawProxy = nullptr;
  if (np_client_new(device_.get(), service.get(), &rawProxy) != NP_E_SUCCESS) return -1;
  internal::NotificationProxyPtr proxy(rawProxy);
  return np_post_notification(proxy.get(), name.c_str());
}

}  // namespace salvora

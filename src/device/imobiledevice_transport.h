// The device transport over libimobiledevice: the first device that the mobile-device service
// lists, a lockdown client, the notification proxy, AFC and the mobilebackup2 client.
#pragma once

#include <memory>
#include <string>

#include "device/device_transport.h"
#include "device/internal/imobiledevice_handles.h"

namespace salvora {

class ImobiledeviceTransport final : public IDeviceTransport {
 public:
  // Opens the first listed device and its services: a lockdown client with pairing handshake
  // (label "idevicebackup2"), the notification proxy observing the five sync notifications
  // (handled by HandleDeviceNotification on the proxy's own thread), AFC when it can be started
  // (its failure is not an error) and mobilebackup2, started with the escrow bag and, when
  // that fails, without it, with protocol versions 2.0 and 2.1 offered. Returns 0 and sets
  // `out`; -1 when no device can be opened or the notification proxy gives no port; otherwise
  // the lockdown or mobilebackup2 error code. When the backup service gives no port, the
  // transport is returned without the backup client.
  [[nodiscard]] static int Open(std::unique_ptr<ImobiledeviceTransport>& out);

  // True when a device handle for the first listed device can be created now.
  [[nodiscard]] static bool IsAnyDevicePresent();

  // Releases the lockdown, mobilebackup2, AFC and notification-proxy clients, then the device.
  ~ImobiledeviceTransport() override;

  [[nodiscard]] std::string Udid() const override { return udid_; }
  [[nodiscard]] bool IsDevicePresent() override;
  [[nodiscard]] bool HasBackupService() const override { return backup_ != nullptr; }

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
  ImobiledeviceTransport() = default;

  std::string udid_;
  internal::DevicePtr device_;
  internal::LockdownPtr lockdown_;
  internal::NotificationProxyPtr notifications_;
  internal::AfcPtr afc_;
  internal::MobileBackup2Ptr backup_;
};

}  // namespace salvora

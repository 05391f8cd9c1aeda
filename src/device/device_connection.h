// The one process-wide connection to a phone.
//
// `Connect` opens the first device that the mobile-device service lists together with the
// services a backup needs (lockdown, the notification proxy, AFC and mobilebackup2), takes the
// device's sync lock and reads the device values; `Disconnect` gives everything back. The
// device page polls for a device through `IsDevicePresent` and connects again when the device
// it had is gone; the backup job (backup_job.h) and the device engine work on the services
// opened here.
//
// Every user asks for the connection through `Instance()`. A test builds a connection of its
// own and hands it a scripted transport through `ConnectThrough`.
//
// Threads: `Connect`, `Disconnect` and the getters run on the window's thread, a backup job on
// the scan worker, which sets `isIdle` to 0 while it runs; the caller waits for `isIdle` before
// it disconnects. `isIdle`, `willEncrypt` and `backupEncryptionLeftOff` may be read from any
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/progress.h"
#include "device/device_transport.h"

namespace salvora {

class DeviceConnection {
 public:
  DeviceConnection();
  // Disconnects first.
  ~DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // The process-wide connection, created on first use and destroyed at exit.
  [[nodiscard]] static DeviceConnection& Instance();

  // The platform check: true when the mobile-device service (usbmuxd) can be reached.
  [[nodiscard]] static bool IsAppleSupportInstalled();

  // Opens the first listed device and its services, takes the sync lock and reads the device
  // values; `willEncryptOut` receives `willEncrypt`. Returns 0; -1 when no device can be
  // opened or the notification proxy cannot be started; otherwise the error code of the
  // lockdown connection, the backup service start, the protocol version exchange or the sync
  // lock. On failure nothing stays open. Call `Disconnect` first when connected.
  [[nodiscard]] int Connect(uint8_t& willEncryptOut);

  // The part of `Connect` that follows the opening of the services, run over `transport`
  // (which the connection takes): posts "syncWillStart", takes the sync lock (up to 50 tries,
  // `syncLockRetryWait` apart, while another program holds it; after that the connection is
  // used without the lock), reads "WillEncrypt" of "com.apple.mobile.backup" and the three
  // device values. Only when the transport has the backup service are the first three done.
  // Returns 0, or the AFC error of a lock attempt that failed otherwise than busy (the
  // transport is then released).
  [[nodiscard]] int ConnectThrough(std::unique_ptr<IDeviceTransport> transport,
                                   uint8_t& willEncryptOut);

  // Releases the sync lock (posting "syncDidFinish"), every client and the device handle, and
  // empties the cached device values. Returns 0.
  int Disconnect();

  // True when a device can be opened now. While connected the transport answers; otherwise a
  // device handle for the first listed device is created and released at once.
  [[nodiscard]] bool IsDevicePresent();

  // The device values. When the cache is filled it is copied to `out` and the result is 87
  // without asking the device. Otherwise lockdown is asked for all values and the one under
  // the key ("ProductVersion", "DeviceName", "DeviceClass") is cached and copied: 0. With no
  // connection, no answer or no such text value: 87 and `out` unchanged.
  // GetProductVersion also sets `isTwoLevelLayout` (integer part of the version 10 or more)
  // and `isAboveVersion11` (12 or more). GetDeviceName turns bytes that are not UTF-8 into
  // U+FFFD.
  [[nodiscard]] int GetProductVersion(std::string& out);
  [[nodiscard]] int GetDeviceName(std::string& out);
  [[nodiscard]] int GetDeviceClass(std::string& out);

  // Unlocks and closes the sync lock file when it is held, sets `syncLock` to 0 and posts
  // "syncDidFinish". Nothing when no lock is held.
  void ReleaseSyncLock();

  // True while connected; the transport is owned by the connection.
  [[nodiscard]] bool IsConnected() const { return transport_ != nullptr; }
  [[nodiscard]] IDeviceTransport* transport() const { return transport_.get(); }

  // --- state shared by the device access ---

  // The integer part of the product version is 12 or more.
  uint8_t isAboveVersion11 = 0;
  // The device makes encrypted backups: 1 at creation, then the device's answer at each
  // Connect; cleared while the backup job has turned backup encryption off.
  std::atomic<uint8_t> willEncrypt{1};
  // The device's unique id; empty when not connected.
  std::string udid;
  // AFC handle of the sync lock file while it is open; 0 otherwise.
  uint64_t syncLock = 0;
  // What the next backup job is to produce (8: a full backup).
  int32_t requestFlags = 0;
  // Backup root + "/" + udid, set by each backup job.
  std::filesystem::path backupDir;
  // Cached device values; empty until read.
  std::string productVersion;
  std::string deviceName;
  std::string deviceClass;
  // The integer part of the product version is 10 or more: the backup has the two-level layout.
  uint8_t isTwoLevelLayout = 0;
  // 1 when no backup job runs.
  std::atomic<uint8_t> isIdle{1};
  // The progress hook of the next backup job: callback, its user data and the weight in
  // percent that the job's 0..100 is scaled to.
  ProgressCallback progressCallback = nullptr;
  void* progressUserData = nullptr;
  int progressWeight = 0;
  // The job's overall progress in percent, raised from the device's messages.
  double overallProgress = 0;

  // Set when a backup job turned the device's backup encryption off and could not turn it on
  // again: every later backup of the phone is then unencrypted until the user sets a backup
  // password again. Cleared when encryption is turned on again.
  std::atomic<uint8_t> backupEncryptionLeftOff{0};

  // Waits of the protocol, shortened by tests: after a receive that brought nothing, and
  // between two attempts to take a busy sync lock.
  std::chrono::milliseconds emptyReceiveWait{3000};
  std::chrono::milliseconds syncLockRetryWait{2000};

  // --- encryption bookkeeping of the backup job (backup_job.cc) ---

  // Remembers that encryption was turned off with `password`, so that it can be turned on
  // again with the same password at the end of the job.
  void RememberEncryptionPassword(const std::string& password);
  [[nodiscard]] bool HasRememberedEncryptionPassword() const { return encryptionTurnedOff_; }
  [[nodiscard]] const std::string& rememberedEncryptionPassword() const {
    return encryptionPassword_;
  }
  // Overwrites and forgets the remembered password.
  void ForgetEncryptionPassword();

 private:
  // The cache or lockdown's value under `key`; see the getters.
  int ReadDeviceValue(const char* key, std::string& cache, std::string& out);

  std::unique_ptr<IDeviceTransport> transport_;
  bool encryptionTurnedOff_ = false;
  std::string encryptionPassword_;
};

}  // namespace salvora

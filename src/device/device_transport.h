// The operations the device access needs from an open connection to a phone: the
// mobilebackup2 device link (property-list messages, status responses and the raw byte stream
// that carries files), lockdown values, AFC file reads and the sync lock, and notification
// posting.
//
// Everything above this interface (the connection's sync lock and getters, the backup job's
// message loop, the file sender and receiver, the Info.plist builder) is written against it,
// so that a scripted stand-in can play the device in tests. ImobiledeviceTransport is the
// implementation over libimobiledevice.
//
// Results are the library's own error codes (0 for success) unless a function says otherwise.
// A transport is used by one thread at a time; the notification callback that a transport may
// run on its own thread touches nothing but the process-wide abort counter.
#pragma once

#include <cstdint>
#include <string>

#include <libimobiledevice/afc.h>
#include <plist/plist.h>

#include "backup/plist_ptr.h"

namespace salvora {

class IDeviceTransport {
 public:
  virtual ~IDeviceTransport() = default;

  // The device's unique id as the device handle reports it.
  [[nodiscard]] virtual std::string Udid() const = 0;
  // True when a device handle for the first listed device can be created now.
  [[nodiscard]] virtual bool IsDevicePresent() = 0;
  // True when the connection holds a mobilebackup2 client (the backup service gave a port and
  // the protocol versions were agreed).
  [[nodiscard]] virtual bool HasBackupService() const = 0;

  // --- mobilebackup2 device link ---

  // Receives the next device-link message: a property-list array whose first element is the
  // message name. Returns 0 and sets `message`, or non-zero with `message` null when nothing
  // arrived (a receive timeout) or the receive failed.
  [[nodiscard]] virtual int ReceiveMessage(PlistPtr& message) = 0;
  // Sends a message named `name` with the entries of the dictionary `options` (not taken).
  [[nodiscard]] virtual int SendMessage(const std::string& name, plist_t options) = 0;
  // Sends a request such as "Backup" for the target and source identifiers; `options` may be
  // null (not taken).
  [[nodiscard]] virtual int SendRequest(const std::string& request, const std::string& target,
                                        const std::string& source, plist_t options) = 0;
  // The status response that answers a device-link message. `description` and `plist` may be
  // null; `plist` is not taken.
  [[nodiscard]] virtual int SendStatusResponse(int code, const char* description,
                                               plist_t plist) = 0;
  // Raw bytes on the device link. Both may move fewer bytes than asked for; `sent` and
  // `received` say how many. A receive that returns 0 with `received` 0 means that nothing
  // arrived within the library's wait.
  [[nodiscard]] virtual int SendRaw(const char* data, uint32_t length, uint32_t& sent) = 0;
  [[nodiscard]] virtual int ReceiveRaw(char* data, uint32_t length, uint32_t& received) = 0;

  // --- lockdown ---

  // The value of `key` in `domain` (either may be null: no domain is the device's main
  // domain, no key the whole dictionary of the domain). Returns 0 and sets `value`, or an
  // error with `value` null (also when the connection holds no lockdown client).
  [[nodiscard]] virtual int GetLockdownValue(const char* domain, const char* key,
                                             PlistPtr& value) = 0;

  // --- AFC (the device's media area); AFC_E_* codes ---

  // The size ("st_size") of the file at `path`.
  [[nodiscard]] virtual int AfcGetFileSize(const std::string& path, uint64_t& size) = 0;
  [[nodiscard]] virtual int AfcOpen(const std::string& path, afc_file_mode_t mode,
                                    uint64_t& handle) = 0;
  [[nodiscard]] virtual int AfcRead(uint64_t handle, char* data, uint32_t length,
                                    uint32_t& bytesRead) = 0;
  // AFC_LOCK_EX and AFC_LOCK_UN are used, both non-blocking; a lock held by another program
  // answers AFC_E_OP_WOULD_BLOCK.
  [[nodiscard]] virtual int AfcLock(uint64_t handle, afc_lock_op_t operation) = 0;
  virtual int AfcClose(uint64_t handle) = 0;

  // --- notifications ---

  // Posts the notification `name` to the device. Returns 0, or non-zero when the
  // notification service could not be reached (nothing is posted then).
  virtual int PostNotification(const std::string& name) = 0;
};

}  // namespace salvora

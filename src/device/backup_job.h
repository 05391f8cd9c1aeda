// The device backup: a full mobilebackup2 backup of the connected device into a folder on this
// computer, which then reads like any backup folder (Info.plist, the manifest, the hashed
// files).
//
// A device that encrypts its backups gets its backup encryption turned off with the user's
// password first (the system reads only plain backups), and turned on again with the same
// password at the end of the job, whether the backup worked or not, so that the phone's later
// backups stay encrypted. When turning it on again fails, the job says so: see
// kBackupEncryptionLeftOff and DeviceConnection::backupEncryptionLeftOff.
#pragma once

#include <filesystem>
#include <string>

#include "device/device_connection.h"

namespace salvora {

// The backup itself worked, but the device's backup encryption, which the job had turned off,
// could not be turned on again: the phone now makes unencrypted backups.
inline constexpr int kBackupEncryptionLeftOff = -112;

// Runs a backup job on `connection` (which must hold the backup service) into `backupRoot`
// (created with missing parents); the backup lands in `backupDir` = backupRoot/udid, which the
// job sets. `password` is the device's backup password, empty for none. `isIdle` is clear while
// the job runs. The connection's progress hook sees 0 to its weight.
//
// Returns 0; 87 when the root cannot be made, there is no backup service, or the device
// encrypts and no password is given; the negated device error code of a refused password
// (no backup is made then); -1 for an abort (the user's stop, a cancel on the device, a device
// that has gone or stopped answering); a libimobiledevice error code of the backup request; the
// non-zero answer of the progress callback; or kBackupEncryptionLeftOff. After a failed backup
// the files directly in `backupDir` and its "Snapshot" folder are deleted.
[[nodiscard]] int RunBackupJob(DeviceConnection& connection,
                               const std::filesystem::path& backupRoot,
                               const std::string& password);

// Turns the device's backup encryption off: sends "ChangePassword" with the old password and
// no new one and runs the message loop without a backup directory. Returns 0 when `willEncrypt`
// is 0 or the device took the password (then `willEncrypt` is cleared and the password is
// remembered for TurnOnBackupEncryption); 87 when no password is given or nothing is
// connected; else the device's negated error code (a wrong password) or the send's error.
[[nodiscard]] int TurnOffBackupEncryption(DeviceConnection& connection,
                                          const std::string& password);

// Turns backup encryption on again after TurnOffBackupEncryption, with the remembered password
// as the new one. Returns 0 when nothing had been turned off or the device took it (then
// `willEncrypt` is set, `backupEncryptionLeftOff` cleared and the password forgotten);
// otherwise the failure, and `backupEncryptionLeftOff` is set.
[[nodiscard]] int TurnOnBackupEncryption(DeviceConnection& connection);

// Deletes every file directly in `backupDir` and directly in its "Snapshot" folder (names
// starting with a dot are kept), then removes "Snapshot" when that left it empty. Other
// sub-folders stay; the device engine clears the whole backup root itself.
void CleanBackupDirectory(const std::filesystem::path& backupDir);

}  // namespace salvora

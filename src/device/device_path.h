// Where a path named by the device lies on this computer.
//
// The device names every file and folder of a backup relative to the folder that holds the
// backups of all devices, so its paths start with the target identifier: "<udid>/Info.plist",
// "<udid>/Snapshot/Manifest.db". This program writes one device's backup into the backup
// directory (backup root + "/" + udid) and hands the message handlers that directory, so a
// leading component equal to the udid stands for the backup directory itself; a path without
// it is taken relative to the backup directory as well.
//
// Nothing the device names may lie outside the backup directory: an absolute path, a ".."
// component or a backslash (a separator on other systems) is refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace salvora {

// The local path of the device path `name` below `backupDir`, or nullopt when `name` is
// refused or `backupDir` is empty (no backup directory: nothing may be touched). "." components
// and repeated slashes are dropped; an empty remainder is `backupDir` itself.
[[nodiscard]] std::optional<std::filesystem::path> ResolveDevicePath(
    const std::filesystem::path& backupDir, std::string_view udid, std::string_view name);

}  // namespace salvora

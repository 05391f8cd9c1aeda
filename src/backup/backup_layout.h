// Where a backup keeps the content of a file: the path of a file id.
//
// Flat layout (Manifest.mbdb backups, and the decrypted copy of an encrypted backup): every
// file lies directly in the folder under its id. Two-level layout (backups holding
// "Manifest.db"): every file lies in a sub-folder named by the first two digits of its id,
// for example <folder>/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28.
#pragma once

#include <filesystem>
#include <string_view>

namespace salvora {

struct BackupLayout {
  // The backup folder, or the decrypted copy's folder for an encrypted backup.
  std::filesystem::path folder;
  // The folder is the decrypted copy of an encrypted backup, which is always flat.
  bool encrypted = false;
  // The backup folder holds "Manifest.db".
  bool twoLevel = false;

  // True when files lie in two-digit sub-folders (two-level and not the decrypted copy).
  [[nodiscard]] bool UsesSubFolders() const { return twoLevel && !encrypted; }
};

// The full path of the file with id `fileId` in `layout`. Ids come from the manifest, which
// is untrusted: an empty id, ".", "..", an id holding "/" or a NUL byte, and in the
// two-level layout an id starting ".." give an empty path, so a manifest can never point
// outside the backup folder. An empty folder also gives an empty path.
[[nodiscard]] std::filesystem::path FilePathOfId(const BackupLayout& layout,
                                                 std::string_view fileId);

// False for the ids that FilePathOfId refuses in every layout.
[[nodiscard]] bool IsSafeFileId(std::string_view fileId);

}  // namespace salvora

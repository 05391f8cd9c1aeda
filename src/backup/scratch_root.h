// The scratch root: a folder for large temporary data (the decrypted copy of an encrypted
// backup, the device engine's fresh backups), shared by both engines and the decryptor.
//
// It lies in the work folder when the application-data volume has more than 15 GiB free;
// otherwise in the root of the mounted real file system with the most free space (the
// first on a tie) where the folder can be created, so that a backup of tens of gigabytes
// does not fill a small home volume. The folder is named "Tarnwick_tmp_backup".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/file_system.h"

namespace salvora {

inline constexpr const char* kScratchFolderName = "Tarnwick_tmp_backup";
inline constexpr uint64_t kScratchMinimumFree = uint64_t{15} << 30;

// The choice itself, from measured figures: `app_data_free` is the free space of the
// application-data volume (nullopt when it cannot be read), `volumes` the mounted real file
// systems. Returns the candidate folders in order of preference: the first one that can be
// created is the scratch root. The work folder's scratch folder is always the last fallback.
[[nodiscard]] std::vector<std::filesystem::path> ScratchRootCandidates(
    const std::filesystem::path& work_folder, std::optional<uint64_t> app_data_free,
    const std::vector<platform::MountedVolume>& volumes);

// The process-wide scratch root, determined and created the first time it is asked for and
// kept for the rest of the run. Empty only when no candidate can be created.
[[nodiscard]] const std::filesystem::path& ScratchRoot();

// Replaces the process-wide scratch root (tests keep their scratch data in a temp folder).
void SetScratchRootForTesting(const std::filesystem::path& root);

}  // namespace salvora

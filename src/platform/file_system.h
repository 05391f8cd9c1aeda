// Free space and mounted file systems.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace salvora::platform {

// Bytes available to an unprivileged caller on the volume holding `path`, or nullopt when
// the question fails (for example a path that does not exist).
[[nodiscard]] std::optional<uint64_t> FreeBytes(const std::filesystem::path& path);

struct MountedVolume {
  std::filesystem::path mount_point;
  uint64_t free_bytes = 0;
};

// The mounted real file systems (block devices and network shares; not proc, sysfs, tmpfs
// and the like), in the order of /proc/self/mounts, each with its free bytes. Volumes whose
// free space cannot be read are left out.
[[nodiscard]] std::vector<MountedVolume> RealFileSystems();

}  // namespace salvora::platform

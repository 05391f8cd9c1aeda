// Where the system's folders are on this platform.
#pragma once

#include <filesystem>

namespace salvora::platform {

// The current user's roaming application-data folder: $XDG_DATA_HOME when it is set to an
// absolute path, else $HOME/.local/share. Returns an empty path when neither can be
// determined (no HOME). The folder is not created.
[[nodiscard]] std::filesystem::path RoamingAppDataDir();

// Full path of the running executable, from /proc/self/exe; empty when it cannot be read.
[[nodiscard]] std::filesystem::path ExecutablePath();

}  // namespace salvora::platform

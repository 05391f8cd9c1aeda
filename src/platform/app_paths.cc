#include "platform/app_paths.h"

#include <cstdlib>
#include <system_error>

namespace salvora::platform {

std::filesystem::path RoamingAppDataDir() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    return std::filesystem::path(xdg);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    return std::filesystem::path(home) / ".local" / "share";
  }
  return {};
}

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return path;
}

}  // namespace salvora::platform

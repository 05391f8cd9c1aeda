#include "device/device_path.h"

#include <string>
#include <vector>

namespace salvora {

std::optional<std::filesystem::path> ResolveDevicePath(const std::filesystem::path& backupDir,
                                                       std::string_view udid,
                                                       std::string_view name) {
  if (backupDir.empty()) return std::nullopt;
  if (!name.empty() && name.front() == '/') return std::nullopt;
  if (name.find('\\') != std::string_view::npos) return std::nullopt;
  if (name.find('\0') != std::string_view::npos) return std::nullopt;

  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    std::string_view part = name.substr(start, slash - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.push_back(part);
    start = slash + 1;
  }
  size_t first = 0;
  if (!parts.empty() && !udid.empty() && parts.front() == udid) first = 1;

  std::filesystem::path result = backupDir;
  for (size_t i = first; i < parts.size(); ++i) result /= std::string(parts[i]);
  return result;
}

}  // namespace salvora

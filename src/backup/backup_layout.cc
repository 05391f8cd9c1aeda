#include "backup/backup_layout.h"

namespace salvora {

bool IsSafeFileId(std::string_view fileId) {
  if (fileId.empty() || fileId == "." || fileId == "..") return false;
  return fileId.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::filesystem::path FilePathOfId(const BackupLayout& layout, std::string_view fileId) {
  if (!IsSafeFileId(fileId) || layout.folder.empty()) return {};
  std::filesystem::path path = layout.folder;
  // Two-level layout: the sub-folder is named by the first two digits of the id. An id such
  // as "..x" would make that sub-folder the parent folder.
  if (layout.UsesSubFolders()) {
    std::string_view sub = fileId.substr(0, 2);
    if (sub == "." || sub == "..") return {};
    path /= std::string(sub);
  }
  path /= std::string(fileId);
  return path;
}

}  // namespace salvora

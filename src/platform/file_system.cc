#include "platform/file_system.h"

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/statvfs.h>

namespace salvora::platform {
namespace {

// /proc/self/mounts escapes blanks and a few other bytes as \ooo octal.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      int v = 0;
      bool ok = true;
      for (size_t k = 1; k <= 3; ++k) {
        char c = field[i + k];
        if (c < '0' || c > '7') {
          ok = false;
          break;
        }
        v = v * 8 + (c - '0');
      }
      if (ok) {
        out.push_back(static_cast<char>(v));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

bool IsRealFileSystem(const std::string& device, const std::string& type) {
  static const std::set<std::string> kNetwork = {"nfs", "nfs4", "cifs", "smb3", "smbfs",
                                                 "fuse.sshfs", "9p", "virtiofs"};
  if (kNetwork.count(type) != 0) return true;
  return !device.empty() && device[0] == '/';
}

}  // namespace

std::optional<uint64_t> FreeBytes(const std::filesystem::path& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

std::vector<MountedVolume> RealFileSystems() {
  std::vector<MountedVolume> volumes;
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  std::set<std::string> seen;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mount_point, type;
    if (!(fields >> device >> mount_point >> type)) continue;
    if (!IsRealFileSystem(device, type)) continue;
    mount_point = UnescapeMountField(mount_point);
    if (!seen.insert(mount_point).second) continue;
    if (auto free = FreeBytes(mount_point)) volumes.push_back({mount_point, *free});
  }
  return volumes;
}

}  // namespace salvora::platform

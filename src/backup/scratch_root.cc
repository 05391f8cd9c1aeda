#include "backup/scratch_root.h"

#include <algorithm>
#include <mutex>
#include <system_error>

#include "core/app_services.h"
#include "platform/app_paths.h"

namespace salvora {
namespace {

std::mutex g_mutex;
std::filesystem::path* g_root = nullptr;

}  // namespace

std::vector<std::filesystem::path> ScratchRootCandidates(
    const std::filesystem::path& work_folder, std::optional<uint64_t> app_data_free,
    const std::vector<platform::MountedVolume>& volumes) {
  std::vector<std::filesystem::path> candidates;
  const std::filesystem::path in_work_folder = work_folder / kScratchFolderName;
  if (app_data_free && *app_data_free > kScratchMinimumFree) {
    candidates.push_back(in_work_folder);
    return candidates;
  }
  std::vector<platform::MountedVolume> by_space = volumes;
  std::stable_sort(by_space.begin(), by_space.end(),
                   [](const auto& a, const auto& b) { return a.free_bytes > b.free_bytes; });
  for (const auto& volume : by_space) candidates.push_back(volume.mount_point / kScratchFolderName);
  candidates.push_back(in_work_folder);
  return candidates;
}

const std::filesystem::path& ScratchRoot() {
  std::lock_guard lock(g_mutex);
  if (g_root != nullptr) return *g_root;
  g_root = new std::filesystem::path;
  std::filesystem::path app_data = platform::RoamingAppDataDir();
  std::optional<uint64_t> free = app_data.empty() ? std::nullopt : platform::FreeBytes(app_data);
  for (const auto& candidate :
       ScratchRootCandidates(WorkFolder(), free, platform::RealFileSystems())) {
    std::error_code ec;
    std::filesystem::create_directories(candidate, ec);
    if (std::filesystem::is_directory(candidate, ec)) {
      *g_root = candidate;
      break;
    }
  }
  return *g_root;
}

void SetScratchRootForTesting(const std::filesystem::path& root) {
  std::lock_guard lock(g_mutex);
  if (g_root == nullptr) g_root = new std::filesystem::path;
  *g_root = root;
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
}

}  // namespace salvora

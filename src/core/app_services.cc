#include "core/app_services.h"

#include <mutex>
#include <system_error>

#include "platform/app_paths.h"
#include "platform/child_process.h"

namespace salvora {
namespace {

std::mutex g_app_dir_mutex;
std::string* g_app_dir = nullptr;

std::string ComputeAppDir() {
  std::string exe = platform::ExecutablePath().string();
  if (exe.empty()) return {};
  for (char& c : exe) {
    if (c == '\\') c = '/';
  }
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

// Where the install-count report would go; the program ships with none.
constexpr const char* kInstallCountEndpoint = "";

}  // namespace

const std::string& GetAppDir() {
  std::lock_guard lock(g_app_dir_mutex);
  if (g_app_dir == nullptr) g_app_dir = new std::string(ComputeAppDir());
  return *g_app_dir;
}

void SetAppDirForTesting(const std::string& dir) {
  std::lock_guard lock(g_app_dir_mutex);
  std::string value = dir;
  if (!value.empty() && value.back() != '/') value.push_back('/');
  if (g_app_dir == nullptr) {
    g_app_dir = new std::string(value);
  } else {
    *g_app_dir = value;
  }
}

std::filesystem::path WorkFolder() {
  return platform::RoamingAppDataDir() / "TarnwickiOSRecovery";
}

int KillProcessByName(const std::string& name) {
  platform::TerminateChildrenNamed(name);
  return 0;
}

void ReportFirstRun() {
  std::filesystem::path marker = WorkFolder() / "viewInstall";
  std::error_code ec;
  if (std::filesystem::exists(marker, ec)) return;
  if (kInstallCountEndpoint[0] != '\0') {
    // A configured endpoint would receive one GET here; its answer is never used.
  }
  std::filesystem::create_directories(marker, ec);
}

void RunShutdownCleanup() {
  KillProcessByName(kVideoPlayerName);
  KillProcessByName(kAudioPlayerName);
  std::error_code ec;
  for (const char* name : {"tmp.jpg", "tmp.wav", "tmp.avi"}) {
    std::filesystem::remove(WorkFolder() / name, ec);
  }
}

}  // namespace salvora

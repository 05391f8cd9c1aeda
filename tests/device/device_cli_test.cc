// salvora-cli's device commands on a machine without a phone.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/run_program.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Outcome = sample::ProgramOutcome;

Outcome RunCli(const std::vector<std::string>& args) {
  return sample::RunProgram(fs::path(SALVORA_BIN_DIR) / "salvora-cli", args, std::chrono::seconds(60));
}

// A socket that accepts connections and closes them at once: a service that is there but
// knows of no device.
class SilentService {
 public:
  explicit SilentService(const fs::path& path) : path_(path) {
    fs::remove(path_);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path_.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
          ::listen(fd_, 16) == 0;
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 20) == 1) {
          int client = ::accept(fd_, nullptr, nullptr);
          if (client >= 0) ::close(client);
        }
      }
    });
  }
  ~SilentService() {
    stop_ = true;
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fs::remove(path_);
  }
  [[nodiscard]] bool ok() const { return ok_; }

 private:
  fs::path path_;
  int fd_ = -1;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(DeviceCliTest, WithoutAPhoneTheCommandsSaySoAndExit1) {
  const fs::path socket =
      fs::temp_directory_path() / ("salvora-cli-mux-" + std::to_string(::getpid()));
  struct Case {
    const char* what;
    bool serviceRuns;
    std::vector<std::string> args;
    int status;
    const char* sentence;
  };
  const Case cases[] = {
      {"no service", false, {"device", "info"}, 1, "the usbmuxd service"},
      {"no device", true, {"device", "info"}, 1, "No device is connected."},
      {"backup without a device", true, {"device", "backup", "out"}, 1, "No device is connected."},
      {"scan without a device", true, {"scan", "device"}, 1, "No device is connected."},
      {"backup without a folder", false, {"device", "backup"}, 64, "Usage: salvora-cli device"},
      {"unknown sub-command", false, {"device", "erase"}, 64, "Unknown device command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socket.string()).c_str(), 1);
    std::optional<SilentService> service;
    if (c.serviceRuns) {
      service.emplace(socket);
      ASSERT_TRUE(service->ok());
    }
    Outcome outcome = RunCli(c.args);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_NE(outcome.output.find(c.sentence), std::string::npos) << outcome.output;
  }
  ::unsetenv("USBMUXD_SOCKET_ADDRESS");
}

}  // namespace
}  // namespace salvora

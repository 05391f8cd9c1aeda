#include "platform/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace salvora::platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<pid_t, std::string> names;  // children not yet waited for
};

Registry& Children() {
  static Registry* registry = new Registry;  // outlives every static ChildProcess
  return *registry;
}

void Register(pid_t pid, const std::string& name) {
  std::lock_guard lock(Children().mutex);
  Children().names[pid] = name;
}

void Unregister(pid_t pid) {
  std::lock_guard lock(Children().mutex);
  Children().names.erase(pid);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (out_fd_ >= 0) ::close(out_fd_);
  if (in_fd_ >= 0) ::close(in_fd_);
  if (pid_ > 0 && !exited_) {
    // A child that still runs is left to finish on its own; a detached waiter reaps it so
    // that it neither stays a zombie nor blocks the owner.
    pid_t pid = pid_;
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      Unregister(pid);
    }).detach();
  }
}

int ChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& args,
                        const Options& options) {
  int out_pipe[2] = {-1, -1};
  int in_pipe[2] = {-1, -1};
  if (options.capture_output) {
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) return errno;
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
      int err = errno;
      ::close(out_pipe[0]);
      ::close(out_pipe[1]);
      return err;
    }
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.capture_output) {
    // dup2 clears close-on-exec on the child's copies.
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDERR_FILENO);
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.new_process_group) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attr, 0);
  }
  posix_spawnattr_setflags(&attr, flags);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attr, &defaults);

  std::string path = program.string();
  std::vector<char*> argv;
  argv.push_back(path.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (options.capture_output) {
    ::close(out_pipe[1]);
    ::close(in_pipe[0]);
  }
  if (rc != 0) {
    if (options.capture_output) {
      ::close(out_pipe[0]);
      ::close(in_pipe[1]);
    }
    return rc;
  }
  pid_ = pid;
  exited_ = false;
  own_group_ = options.new_process_group;
  if (options.capture_output) {
    out_fd_ = out_pipe[0];
    in_fd_ = in_pipe[1];
  }
  Register(pid_, program.filename().string());
  return 0;
}

void ChildProcess::Reap(int status) {
  exited_ = true;
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  Unregister(pid_);
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return true;
  if (exited_) return true;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      Reap(status);
      return true;
    }
    if (r < 0 && errno != EINTR) {
      exited_ = true;  // not our child any more; nothing to wait for
      Unregister(pid_);
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

long ChildProcess::BytesAvailable() const {
  if (out_fd_ < 0) return -1;
  int n = 0;
  if (::ioctl(out_fd_, FIONREAD, &n) != 0) return -1;
  if (n > 0) return n;
  // Nothing waiting: tell an open, empty pipe from one whose writer has gone.
  pollfd p{out_fd_, POLLIN, 0};
  int r = ::poll(&p, 1, 0);
  if (r < 0) return -1;
  if (r > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) return -1;
  return 0;
}

long ChildProcess::ReadAvailable(char* buffer, size_t size) {
  if (out_fd_ < 0) return -1;
  pollfd p{out_fd_, POLLIN, 0};
  int r = ::poll(&p, 1, 0);
  if (r < 0) return -1;
  if (r == 0) return 0;
  ssize_t n = ::read(out_fd_, buffer, size);
  if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : -1;
  if (n == 0) return -1;
  return static_cast<long>(n);
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || exited_) return;
  // The pid cannot have been reused: the child is ours and has not been waited for.
  ::kill(own_group_ ? -pid_ : pid_, SIGKILL);
}

int TerminateChildrenNamed(const std::string& name) {
  std::lock_guard lock(Children().mutex);
  int count = 0;
  for (const auto& [pid, child_name] : Children().names) {
    if (child_name == name && ::kill(pid, SIGKILL) == 0) ++count;
  }
  return count;
}

}  // namespace salvora::platform

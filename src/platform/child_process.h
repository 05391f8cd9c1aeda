// Child processes with pipes, and termination of the ones this program started.
//
// A child's standard output and standard error share one pipe that the parent reads; its
// standard input is a pipe that the parent may leave unwritten. The parent's ends are
// close-on-exec, so no other child inherits them. Every started child is registered under
// its executable's file name until it has been waited for, which lets TerminateChildrenNamed
// stop exactly the processes this program started, never another program of the same name.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace salvora::platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // closes the pipes; a child that still runs is reaped in the background
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  struct Options {
    bool new_process_group = true;
    bool capture_output = true;  // false: the child writes to this process's stdout/stderr
  };

  // Starts `program` with `args` (argv[1..]; each one argument, no shell involved).
  // Returns 0, or the errno of the failed pipe or spawn.
  [[nodiscard]] int Start(const std::filesystem::path& program,
                          const std::vector<std::string>& args, const Options& options);
  [[nodiscard]] int Start(const std::filesystem::path& program,
                          const std::vector<std::string>& args) {
    return Start(program, args, Options{});
  }

  // Waits up to `timeout` for the child to end; true once it has ended.
  [[nodiscard]] bool WaitForExit(std::chrono::milliseconds timeout);

  // Bytes waiting in the output pipe without reading them: > 0 some, 0 none, -1 error or
  // end of the pipe (the child closed its side and nothing is left).
  [[nodiscard]] long BytesAvailable() const;

  // Reads up to `size` bytes that are waiting, without blocking. Returns the count, 0 when
  // nothing is waiting, -1 at end of pipe or on error.
  [[nodiscard]] long ReadAvailable(char* buffer, size_t size);

  // Sends SIGKILL to the child (and its group when it has one of its own).
  void Kill();

  [[nodiscard]] pid_t pid() const { return pid_; }
  [[nodiscard]] bool running() const { return pid_ > 0 && !exited_; }
  [[nodiscard]] int exit_status() const { return exit_status_; }

 private:
  void Reap(int status);

  pid_t pid_ = -1;
  bool exited_ = false;
  bool own_group_ = false;
  int exit_status_ = -1;
  int out_fd_ = -1;
  int in_fd_ = -1;
};

// Terminates every running process that this program started through ChildProcess whose
// executable file name equals `name` exactly (letter case matters). Returns how many were
// signalled.
int TerminateChildrenNamed(const std::string& name);

}  // namespace salvora::platform

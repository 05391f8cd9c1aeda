// Runs one of the project's programs as a user would and collects what it prints, so that
// tests check exit statuses and sentences. Header-only; links salvora::platform.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"

namespace salvora::sample {

struct ProgramOutcome {
  int status = -1;     // the exit status; -1 when it could not start or did not end in time
  std::string output;  // standard output and standard error together
};

// Runs `program` with `args`, reading its output until it closes, for at most `limit`. A
// program that does not end in time is killed, so a hang fails the test instead of
// outliving it.
inline ProgramOutcome RunProgram(const std::filesystem::path& program,
                                 const std::vector<std::string>& args,
                                 std::chrono::seconds limit = std::chrono::seconds(120)) {
  using namespace std::chrono_literals;
  platform::ChildProcess child;
  ProgramOutcome outcome;
  if (child.Start(program, args) != 0) return outcome;
  char buffer[4096];
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    long n = child.ReadAvailable(buffer, sizeof buffer);
    if (n < 0) break;
    if (n == 0) {
      std::this_thread::sleep_for(2ms);
      continue;
    }
    outcome.output.append(buffer, static_cast<size_t>(n));
  }
  if (child.WaitForExit(30s)) {
    outcome.status = child.exit_status();
  } else {
    child.Kill();
    (void)child.WaitForExit(5s);
  }
  return outcome;
}

}  // namespace salvora::sample

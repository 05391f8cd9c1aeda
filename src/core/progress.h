// Progress reporting and stop requests of long operations.
//
// A callback returns 0 to go on; any other value asks the operation to stop, and the
// operation returns that value as its own result (the scan page answers 2 for a stop).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace salvora {

using ProgressCallback = int (*)(void* userData, int percent);

// Called after every copied chunk: percent of the current item, the result code so far and
// the destination being written.
using CopyProgressCallback = int (*)(void* userData, int percent, int code,
                                     const std::filesystem::path& destination);

// An engine's progress position: `progressBase` is the percent reached so far and
// `progressSpan` the share of one step of the scan plan.
struct ProgressState {
  ProgressCallback callback = nullptr;
  void* userData = nullptr;
  int progressBase = 0;
  int progressSpan = 0;

  // Reports `percent`; 0 when no callback is set.
  [[nodiscard]] int Report(int percent) const {
    return callback != nullptr ? callback(userData, percent) : 0;
  }

  // The start of a scan's plan (Open): base 0, span 11, or 10 for an encrypted backup.
  void Begin(bool encrypted);
  // The report after the k-th of n items of a walk whose share is `share` (PerItemPercent).
  [[nodiscard]] int ReportItem(int share, int64_t k, int64_t n) const;
  // The end of an operation: advances the base by `share` and reports the new base.
  [[nodiscard]] int Advance(int share) {
    progressBase += share;
    return Report(progressBase);
  }
};

// The spans of one step of the local engine's plan.
inline constexpr int kProgressSpanPlain = 11;
inline constexpr int kProgressSpanEncrypted = 10;

// The per-item rule of walks over n entries: after the k-th report of a walk the value is
// base + share * k / n (integer arithmetic, multiplication first). n of 0 reports `base`.
[[nodiscard]] constexpr int PerItemPercent(int base, int share, int64_t k, int64_t n) {
  return n <= 0 ? base : base + static_cast<int>(static_cast<int64_t>(share) * k / n);
}

inline void ProgressState::Begin(bool encrypted) {
  progressBase = 0;
  progressSpan = encrypted ? kProgressSpanEncrypted : kProgressSpanPlain;
}

inline int ProgressState::ReportItem(int share, int64_t k, int64_t n) const {
  return Report(PerItemPercent(progressBase, share, k, n));
}

}  // namespace salvora

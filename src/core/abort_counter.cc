#include "core/abort_counter.h"

namespace salvora {

std::atomic<int>& BackupAbortCounter() {
  static std::atomic<int> counter{0};
  return counter;
}

}  // namespace salvora

#include "core/statistics_label.h"

#include "core/format.h"

namespace salvora {

std::u16string FormatStatisticsLabel(std::u16string_view format, const CStatisticsObj& statistics) {
  const StatNode& root = statistics.Root();
  bool scanned = statistics.HasCategories();
  auto sizeText = [&](uint64_t bytes) {
    return scanned ? FormatSize(static_cast<int64_t>(bytes)) : std::u16string(kNoScanSizeText);
  };
  int64_t shownSelected =
      root.selected > root.hiddenSelected ? int64_t{root.selected} - root.hiddenSelected : 0;
  return FormatText(format, {sizeText(statistics.SelectedBytes()), shownSelected,
                             sizeText(statistics.TotalBytes()), int64_t{root.total}});
}

bool IsRecoverEnabled(bool finishedOrPaused, const CStatisticsObj& statistics) {
  const StatNode& root = statistics.Root();
  return finishedOrPaused && root.selected > root.hiddenSelected;
}

}  // namespace salvora

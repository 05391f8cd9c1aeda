// The statistics label of the scan page and the rule of its recover button.
#pragma once

#include <string>
#include <string_view>

#include "core/statistics_obj.h"

namespace salvora {

// The size text shown before any scan, in place of both sizes.
inline constexpr std::u16string_view kNoScanSizeText = u"0 MB";

// Fills the language text "MSG0514" (`format`, used through FormatText, so only %s, %d, %u
// and %% act) with, in this order: the selected bytes as a size text (FormatSize), the root's
// selected count minus its hidden-selected count, the total bytes as a size text, and the
// root's total count. While no category has been added since the last clear both size texts
// are "0 MB", as the label reads before any scan.
[[nodiscard]] std::u16string FormatStatisticsLabel(std::u16string_view format,
                                                   const CStatisticsObj& statistics);

// The recover button is enabled when the scan has finished or is paused and at least one
// selected record is not hidden (the root's selected count is above its hidden-selected
// count).
[[nodiscard]] bool IsRecoverEnabled(bool finishedOrPaused, const CStatisticsObj& statistics);

}  // namespace salvora

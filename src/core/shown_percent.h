// The rule by which the scan page turns the percent values an engine reports into the
// percent it shows. Engines' values need not rise (an operation may report less than the one
// before), they start at 0 and 1, and a plain backup's plan ends at 98; the page shows only
// rising values, never 0 or 1 once anything was reported, and never 100 while it scans.
#pragma once

namespace salvora {

// The shown percent a scan starts with (the progress bar at 0, nothing shown yet).
inline constexpr int kShownPercentAtStart = 0;
inline constexpr int kLowestShownPercent = 2;
inline constexpr int kHighestShownPercent = 99;

struct ShownPercentStep {
  // The report was higher than the shown percent: the shown value, the progress bar and the
  // captured counts are refreshed.
  bool raised = false;
  // The report was exactly 1, the engine's first step: the page announces the scan (scan
  // event 0) before it shows the value.
  bool firstStep = false;
  int shown = kShownPercentAtStart;  // the shown percent after this report
};

// One report of `percent` while `shown` is on display: a report that is not higher than
// `shown` changes nothing; a higher one becomes the shown percent, raised to 2 and capped at
// 99.
[[nodiscard]] constexpr ShownPercentStep NextShownPercent(int shown, int percent) {
  if (percent <= shown) return {false, false, shown};
  int value = percent < kLowestShownPercent ? kLowestShownPercent : percent;
  if (value > kHighestShownPercent) value = kHighestShownPercent;
  return {true, percent == 1, value};
}

}  // namespace salvora

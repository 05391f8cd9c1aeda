// Shared formatters for durations, sizes and language texts used as formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace salvora {

// "59 Sec", "1 Min 0 Sec", "1 Hour 0 Min"; negative counts print their low 32 bits as "%d Sec".
[[nodiscard]] std::u16string FormatDuration(int64_t seconds);

// "0 Bytes", "1.50 KB", "1.00 MB", "2.00 GB", "1.00 TB" (binary units, "%.2f").
[[nodiscard]] std::u16string FormatSize(int64_t bytes);

// Fills a printf-style format taken from a language file with arguments of the program.
// Language texts are data, never trusted as a C format: only %s, %d, %i, %u (with an optional
// width, "-" flag and l/ll/h length letters, which are ignored) and %% are understood, each
// conversion takes the next argument (a missing argument prints nothing, an argument of the
// wrong kind prints as its own kind), and every other "%" sequence is copied as it stands.
using FormatArg = std::variant<int64_t, std::u16string>;
[[nodiscard]] std::u16string FormatText(std::u16string_view format,
                                        const std::vector<FormatArg>& args);

}  // namespace salvora

// salvora-cli scan SOURCE [--password PW | --password-file FILE] [--json]
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/scan_runner.h"
#include "core/category_id.h"
#include "core/format.h"
#include "core/language_settings.h"
#include "core/text.h"

namespace salvora::cli {
namespace {

constexpr const char* kUsage =
    "Usage: salvora-cli scan SOURCE [--password PW | --password-file FILE] [--json]\n"
    "SOURCE is a backup folder, or \"device\" for the connected device.\n";

}  // namespace

int RunScanCommand(const std::vector<std::string>& args) {
  ScanRequest request;
  bool json = false;
  bool have_source = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    if (ParsePasswordOption(args, i, request.password, error)) {
      if (!error.empty()) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        return kExitUsage;
      }
    } else if (args[i] == "--json") {
      json = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fprintf(stderr, "Unknown option \"%s\".\n%s", args[i].c_str(), kUsage);
      return kExitUsage;
    } else if (!have_source) {
      request.source = args[i];
      have_source = true;
    } else {
      std::fprintf(stderr, "Only one source can be scanned at a time.\n%s", kUsage);
      return kExitUsage;
    }
  }
  if (!have_source) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  // The word "device" names the connected phone; a folder of that name is "./device".
  request.device = request.source == "device";

  ScanRun run;
  RunScan(request, run);
  if (!run.session) {
    std::fprintf(stderr, "%s\n", run.message.c_str());
    if (json) std::printf("{\"result\": %d, \"error\": %s}\n", 87, JsonString(run.message).c_str());
    return run.exitStatus;
  }

  std::vector<CategoryFigures> totals = CategoryTotals(*run.session);
  if (json) {
    std::string out = "{\"result\": " + std::to_string(run.result) + ", \"categories\": {";
    for (size_t i = 0; i < kAllCategories.size(); ++i) {
      if (i != 0) out += ", ";
      out += JsonString(CategoryName(kAllCategories[i])) + ": {\"count\": " +
             std::to_string(totals[i].count) + ", \"bytes\": " + std::to_string(totals[i].bytes) +
             "}";
    }
    out += "}}\n";
    std::fputs(out.c_str(), stdout);
  } else if (run.exitStatus == kExitSourceUnopenable || run.exitStatus == kExitWrongPassword) {
    std::fprintf(stderr, "%s\n", run.message.c_str());
    return run.exitStatus;
  } else {
    std::printf("Scanned %s\n",
                request.device ? "the connected device" : request.source.string().c_str());
    for (size_t i = 0; i < kAllCategories.size(); ++i) {
      std::printf("  %-22s %8u   %s\n", std::string(CategoryTreeLabel(kAllCategories[i])).c_str(),
                  totals[i].count,
                  Utf16ToUtf8(FormatSize(static_cast<int64_t>(totals[i].bytes))).c_str());
    }
    std::u16string format = LanguageSettings::Get().Text("Messages", "MSG0514");
    if (format.empty()) format = u"Selected %s in %d item(s) of %s in %d item(s)";
    std::printf("%s\n", Utf16ToUtf8(run.session->StatisticsLabel(format)).c_str());
  }
  if (!run.message.empty()) std::fprintf(stderr, "%s\n", run.message.c_str());
  if (run.exitStatus == kExitDone && !json) std::printf("Scan finished.\n");
  return run.exitStatus;
}

}  // namespace salvora::cli

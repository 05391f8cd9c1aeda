// salvora-cli list [--root DIR] [--json]: the backups below the backup root, newest first.
#include <cstdio>
#include <optional>
#include <vector>

#include "backup/backup_reader.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "core/text.h"

namespace salvora::cli {

int RunList(const std::vector<std::string>& args) {
  std::optional<std::filesystem::path> root;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--root" && i + 1 < args.size()) {
      root = std::filesystem::path(args[++i]);
    } else {
      std::fprintf(stderr, "Unknown option \"%s\". Usage: salvora-cli list [--root DIR] [--json]\n",
                   args[i].c_str());
      return kExitUsage;
    }
  }

  BackupReader reader(root);
  std::vector<BackupInfo> backups;
  reader.ListBackups(backups);

  if (json) {
    std::string out = "{\"root\": " + JsonString(reader.backup_root().string()) + ", \"backups\": [";
    for (size_t i = 0; i < backups.size(); ++i) {
      const BackupInfo& b = backups[i];
      if (i != 0) out += ", ";
      out += "{\"displayName\": " + JsonString(Utf16ToUtf8(b.displayName)) +
             ", \"lastBackupDate\": " + JsonString(Utf16ToUtf8(Utf8ToUtf16(b.lastBackupDate))) +
             ", \"phoneNumber\": " + JsonString(Utf16ToUtf8(Utf8ToUtf16(b.phoneNumber))) +
             ", \"serialNumber\": " + JsonString(Utf16ToUtf8(Utf8ToUtf16(b.serialNumber))) +
             ", \"isAboveVersion11\": " + (b.isAboveVersion11 ? "true" : "false") +
             ", \"isEncrypted\": " + (b.isEncrypted ? "true" : "false") +
             ", \"folder\": " + JsonString(b.folderPath.string()) + "}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return kExitDone;
  }

  std::printf("Backups in %s: %zu\n", reader.backup_root().string().c_str(), backups.size());
  if (backups.empty()) {
    std::printf("No backup was found there. Pass --root to look in another folder.\n");
    return kExitDone;
  }
  std::printf("%-28s %-19s  %-16s %-7s %-9s %s\n", "Name", "Last backup", "Serial number",
              "iOS>11", "Encrypted", "Folder");
  for (const BackupInfo& b : backups) {
    std::string name = Utf16ToUtf8(b.displayName);
    std::printf("%-28s %-19s  %-16s %-7s %-9s %s\n", name.empty() ? "(no name)" : name.c_str(),
                b.lastBackupDate.empty() ? "(unknown)" : b.lastBackupDate.c_str(),
                b.serialNumber.c_str(), b.isAboveVersion11 ? "yes" : "no",
                b.isEncrypted ? "yes" : "no", b.folderPath.filename().string().c_str());
  }
  std::printf("Dates are in local standard time.\n");
  return kExitDone;
}

}  // namespace salvora::cli

#include "backup/backup_reader.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "backup/plist_ptr.h"
#include "backup/scratch_root.h"
#include "core/app_services.h"
#include "core/date_text.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "platform/app_paths.h"
#include "platform/local_time.h"

namespace salvora {
namespace {

// Property lists of a backup's summary are a few kilobytes; anything beyond this is not one.
constexpr std::uintmax_t kMaxPlistBytes = 16u << 20;

// The address book's file id; it lies in a two-digit sub-folder when the backup has
// "Manifest.db".
constexpr const char* kAddressBookId = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";

bool ReadSmallFile(const std::filesystem::path& path, std::string& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxPlistBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Leading decimal integer with optional blanks and sign; 0 without digits.
long LeadingInteger(const std::string& text) {
  return static_cast<long>(ParseLeadingInt(text.c_str()));
}

}  // namespace

std::string LocalStandardDateText(int64_t unix_seconds) {
  std::tm t{};
  // Local standard time = UTC minus the standard bias.
  if (!platform::UtcCalendarTime(unix_seconds - platform::StandardBiasMinutes() * 60, t)) {
    return {};
  }
  return FormatDateText8(t);
}

std::string LocalStandardDateFromText(const std::string& raw) {
  std::string text = raw;
  if (size_t t = text.find('T'); t != std::string::npos) text[t] = ' ';
  if (size_t z = text.find('Z'); z != std::string::npos) text.resize(z);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c%d%c%d%c%d%c%d", &y, &c1, &mo, &c2, &d, &c3, &h, &c4,
                  &mi, &c5, &s) != 11 ||
      c1 != '-' || c2 != '-' || c3 != ' ' || c4 != ':' || c5 != ':') {
    return text;
  }
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  // timegm normalises out-of-range fields, so day, month and year roll over as needed.
  return LocalStandardDateText(static_cast<int64_t>(::timegm(&t)));
}

BackupReader::BackupReader(std::optional<std::filesystem::path> backup_root)
    : BackupReader(BackupReaderFolders{backup_root, {}, {}, {}}) {}

BackupReader::BackupReader(const BackupReaderFolders& folders)
    : backup_root_(folders.backupRoot ? *folders.backupRoot : DefaultBackupRoot()),
      work_folder_(folders.workFolder ? *folders.workFolder : WorkFolder()),
      scratch_root_(folders.scratchRoot ? *folders.scratchRoot : ScratchRoot()),
      program_folder_(folders.programFolder ? *folders.programFolder
                                            : std::filesystem::path(GetAppDir())) {
  std::error_code ec;
  if (!work_folder_.empty()) std::filesystem::create_directories(work_folder_, ec);
  CleanUp();
  FindBackupFolders();
}

BackupReader::~BackupReader() { CleanUp(); }

std::filesystem::path BackupReader::DefaultBackupRoot() {
  std::filesystem::path app_data = platform::RoamingAppDataDir();
  if (app_data.empty()) return {};
  return app_data / "Apple Computer" / "MobileSync" / "backup";
}

int BackupReader::FindBackupFolders() {
  candidates_.clear();
  if (backup_root_.empty()) return kInvalidParameter;
  std::error_code ec;
  std::filesystem::directory_iterator it(backup_root_, ec);
  if (ec) return kOk;  // a missing root is an empty list
  for (const auto& entry : it) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    candidates_.push_back(entry.path());
  }
  return kOk;
}

bool BackupReader::ReadSummary(const std::filesystem::path& folder, BackupInfo& info) {
  std::string bytes;
  if (!ReadSmallFile(folder / "Info.plist", bytes)) return false;
  info = BackupInfo{};
  info.folderPath = folder;

  PlistPtr root = ParsePlist(bytes);
  if (root && plist_get_node_type(root.get()) == PLIST_DICT) {
    std::string value;
    if (PlistString(plist_dict_get_item(root.get(), "Display Name"), value)) {
      info.displayName = Utf8ToUtf16(value);
    }
    plist_t date = plist_dict_get_item(root.get(), "Last Backup Date");
    if (date != nullptr && plist_get_node_type(date) == PLIST_DATE) {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(date, &sec, &usec);
      info.lastBackupDate = LocalStandardDateText(int64_t{sec} + kAppleEpochOffset);
    } else if (PlistString(date, value)) {
      info.lastBackupDate = LocalStandardDateFromText(value);
    }
    if (PlistString(plist_dict_get_item(root.get(), "Phone Number"), value)) {
      info.phoneNumber = value;
    }
    if (PlistString(plist_dict_get_item(root.get(), "Product Version"), value)) {
      info.isAboveVersion11 = LeadingInteger(value) > 11 ? 1 : 0;
    }
    if (PlistString(plist_dict_get_item(root.get(), "Serial Number"), value)) {
      info.serialNumber = value;
    }
  }
  info.isEncrypted = static_cast<uint8_t>(ProbeEncryption(folder));
  return true;
}

int BackupReader::ProbeEncryption(const std::filesystem::path& folder) {
  // The manifest's own flag decides when the folder has one.
  std::string bytes;
  if (ReadSmallFile(folder / "Manifest.plist", bytes)) {
    PlistPtr root = ParsePlist(bytes);
    if (root && plist_get_node_type(root.get()) == PLIST_DICT) {
      plist_t flag = plist_dict_get_item(root.get(), "IsEncrypted");
      if (flag != nullptr && plist_get_node_type(flag) == PLIST_BOOLEAN) {
        uint8_t value = 0;
        plist_get_bool_val(flag, &value);
        return value != 0 ? 1 : 0;
      }
    }
  }

  // Otherwise: a plain backup's address book starts with the SQLite signature.
  std::error_code ec;
  std::filesystem::path probe = std::filesystem::exists(folder / "Manifest.db", ec)
                                    ? folder / std::string(kAddressBookId, 2) / kAddressBookId
                                    : folder / kAddressBookId;
  std::ifstream in(probe, std::ios::binary);
  if (!in) {
    in.clear();
    in.open(probe.string() + ".mddata", std::ios::binary);
    if (!in) return 0;
  }
  char head[512] = {};
  in.read(head, sizeof head);
  return CompareNoCase(std::string_view(head, 6), "SQLite") != 0 ? 1 : 0;
}

void BackupReader::SortNewestFirst(std::vector<BackupInfo>& list) {
  std::stable_sort(list.begin(), list.end(), [](const BackupInfo& a, const BackupInfo& b) {
    return CompareNoCase(a.lastBackupDate, b.lastBackupDate) > 0;
  });
}

int BackupReader::ListBackups(std::vector<BackupInfo>& list) const {
  for (const auto& folder : candidates_) {
    BackupInfo info;
    if (ReadSummary(folder, info)) list.push_back(std::move(info));
  }
  if (list.size() > 1) SortNewestFirst(list);
  return kOk;
}

int BackupReader::ReadFolder(const std::filesystem::path& folder, BackupInfo& info) const {
  BackupInfo read;
  if (!ReadSummary(folder, read)) return kInvalidParameter;
  info = std::move(read);
  return kOk;
}

int BackupReader::SetCurrentBackup(const BackupInfo& info) {
  current_ = info;
  current_folder_ = info.folderPath;
  return kOk;
}

}  // namespace salvora

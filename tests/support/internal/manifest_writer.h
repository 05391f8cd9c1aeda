// Writers of the backup's index files: "Manifest.db" (SQLite, Files rows with an archived
// MBFile description), "Manifest.mbdb" (the older record file) and the property lists.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <plist/plist.h>

namespace salvora::sample {

// Files.flags values of Manifest.db.
inline constexpr int kFlagFile = 1;
inline constexpr int kFlagDirectory = 2;
inline constexpr int kFlagLink = 4;

struct ManifestRow {
  std::string domain;
  std::string path;
  std::string file_id;
  int flags = kFlagFile;
  std::string target;  // symbolic links only
  int64_t size = 0;
  uint32_t mtime = 0;  // Unix seconds
  uint64_t inode = 0;
  std::string sha1;  // 20 raw bytes of the content's digest (files); empty otherwise
  int protection_class = 0;
};

// Writes Manifest.db: tables Files(fileID, domain, relativePath, flags, file) and Properties.
// Returns 0 or SQLite's code.
[[nodiscard]] int WriteManifestDb(const std::filesystem::path& path,
                                  const std::vector<ManifestRow>& rows);

// Writes Manifest.mbdb. Returns 0 or errno.
[[nodiscard]] int WriteManifestMbdb(const std::filesystem::path& path,
                                    const std::vector<ManifestRow>& rows);

// The NSKeyedArchiver property list (binary) that Manifest.db keeps for one row.
[[nodiscard]] std::string ArchivedFile(const ManifestRow& row);

// Serialises `root` (XML or binary) to `path`, replacing it. Takes ownership of `root`.
// Returns 0 or errno.
[[nodiscard]] int WritePlist(const std::filesystem::path& path, plist_t root, bool binary);

// Raw SHA-1 digest (20 bytes) and its lower-case hexadecimal text.
[[nodiscard]] std::string Sha1(std::string_view bytes);
[[nodiscard]] std::string Hex(std::string_view bytes);

// Writes `bytes` to `path` (replacing it). Returns 0 or errno.
[[nodiscard]] int WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace salvora::sample

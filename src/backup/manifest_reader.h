// The two manifest readers, which fill the manifest index (core/manifest_entry.h), and the
// choice of which manifest a backup folder is read through.
//
// "Manifest.mbdb" (up to iOS 9) is a record file parsed by MbdbParser (mbdb_parser.h); the
// file ids are computed from the keys. "Manifest.db" (iOS 10 on) is an SQLite database whose
// table Files stores each file's id, domain and relative path. Both readers replace the
// index they are given and keep manifest order.
#pragma once

#include <filesystem>

#include "core/manifest_entry.h"

namespace salvora {

// Reads "Manifest.mbdb" at `path` into `index` (replaced). A record becomes an entry when its
// domain and relative path are both present and non-empty and it is not a directory
// (symbolic links and other files are kept); the key is domain "-" path and the id its SHA-1.
// A record that would extend past the end of the file ends the reading; the entries read
// before it stay and the result is still 0. Returns:
//   0                          read (possibly no entries, when nothing follows the header)
//   kInvalidParameter (87)     empty path, allocation failure, file does not start "mbdb",
//                              or OpenSSL has no SHA-1; `index` is empty
//   kMbdbUnopenable (6009)     the file cannot be opened or read; `index` is empty
[[nodiscard]] int ReadMbdb(const std::filesystem::path& path, ManifestIndex& index);

// The same over bytes already in memory (the whole file). Never reads outside `bytes`.
[[nodiscard]] int ParseMbdb(std::string_view bytes, ManifestIndex& index);

// Reads the SQLite manifest at `path` (opened read-only and immutable; nothing is written
// beside it) into `index` (replaced) with "select fileID,domain, relativePath from Files;".
// Every row becomes an entry, folders included: fileId is column 0 (empty when NULL); the key
// is column 1 (empty when NULL), followed by "-" and column 2 when column 2 is not NULL.
// Returns:
//   0                          read
//   an SQLite code             the file cannot be opened (SQLITE_CANTOPEN for a missing one)
//                              or is not a database (SQLITE_NOTADB); `index` is empty
//   kSqlFailed (1006)          the query failed (no Files table, a damaged page); the rows
//                              delivered before the failure stay in `index`
[[nodiscard]] int ReadManifestDb(const std::filesystem::path& path, ManifestIndex& index);

// Which manifest a backup folder is read through.
struct ManifestChoice {
  std::filesystem::path file;  // the manifest to read
  bool isManifestDb = false;   // true: the SQLite reader; false: the mbdb reader
  bool twoLevel = false;       // the folder uses the two-level layout (it holds "Manifest.db")
};

// A folder holding "Manifest.db" is read through its decrypted copy "Manifest.db-decypted"
// when that exists, else through "Manifest.db", and uses the two-level layout (even when it
// also holds "Manifest.mbdb"); any other folder is read through "Manifest.mbdb" with the flat
// layout. Returns 0, or kInvalidParameter (87) when the folder holds neither manifest
// (`choice` then names "Manifest.mbdb" and twoLevel is false).
[[nodiscard]] int ChooseManifest(const std::filesystem::path& folder, ManifestChoice& choice);

// Reads the manifest `choice` names with its reader; the reader's result.
[[nodiscard]] int ReadManifest(const ManifestChoice& choice, ManifestIndex& index);

}  // namespace salvora

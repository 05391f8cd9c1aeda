#include "backup/manifest_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "backup/file_id_hasher.h"
#include "backup/mbdb_parser.h"
#include "core/result_codes.h"
#include "platform/unique_fd.h"
#include "records/sqlite_db.h"

namespace salvora {
namespace {

// Loads the whole of a regular file into `bytes` (left uninitialised before the read: the
// manifest can be tens of megabytes). 0, kMbdbUnopenable, or kInvalidParameter when the memory
// cannot be had.
int LoadWholeFile(const std::filesystem::path& path, std::unique_ptr<char[]>& bytes, size_t& size) {
  size = 0;
  // Non-blocking, so that a FIFO planted under the manifest's name cannot hang the open.
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return kMbdbUnopenable;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    return kMbdbUnopenable;
  }
  size_t capacity = static_cast<size_t>(st.st_size);
  bytes.reset(new (std::nothrow) char[capacity == 0 ? 1 : capacity]);
  if (!bytes) return kInvalidParameter;
  while (size < capacity) {
    ssize_t n = ::read(fd.get(), bytes.get() + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return kMbdbUnopenable;
    if (n == 0) break;  // the file shrank while we read it: parse what is there
    size += static_cast<size_t>(n);
  }
  return kOk;
}

}  // namespace

int ParseMbdb(std::string_view bytes, ManifestIndex& index) {
  index.clear();
  MbdbParser parser(bytes);
  if (!parser.header_ok()) return kInvalidParameter;
  FileIdHasher hasher;
  if (!hasher.ok()) return kInvalidParameter;
  try {
    MbdbRecord record;
    while (parser.Next(record) == MbdbParser::Step::kRecord) {
      // Only named non-directory records are files of the phone; symbolic links count.
      if (!record.domain || record.domain->empty() || !record.path || record.path->empty() ||
          record.IsDirectory()) {
        continue;
      }
      ManifestEntry& entry = index.emplace_back();
      entry.key.reserve(record.domain->size() + 1 + record.path->size());
      entry.key.append(*record.domain).append("-").append(*record.path);
      if (!hasher.IdOf(*record.domain, *record.path, entry.fileId)) {
        index.clear();
        return kInvalidParameter;
      }
    }
  } catch (const std::bad_alloc&) {
    index.clear();
    return kInvalidParameter;
  }
  return kOk;
}

int ReadMbdb(const std::filesystem::path& path, ManifestIndex& index) {
  index.clear();
  if (path.empty()) return kInvalidParameter;
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
  int rc = LoadWholeFile(path, bytes, size);
  if (rc != kOk) return rc;
  return ParseMbdb(std::string_view(bytes.get(), size), index);
}

int ReadManifestDb(const std::filesystem::path& path, ManifestIndex& index) {
  index.clear();
  SqliteDb db;
  int rc = db.OpenReadOnly(path.string());
  if (rc != SQLITE_OK) return rc;

  struct Rows {
    ManifestIndex* index;
    bool out_of_memory = false;
  } rows{&index};
  auto on_row = [](void* arg, int columns, char** values, char**) -> int {
    auto* state = static_cast<Rows*>(arg);
    if (columns < 3) return 0;
    try {
      ManifestEntry entry;
      // Column 0: the id; 1: the domain; 2: the relative path (NULL for some domain rows).
      if (values[0] != nullptr) entry.fileId = values[0];
      if (values[1] != nullptr) entry.key = values[1];
      if (values[2] != nullptr) entry.key.append("-").append(values[2]);
      state->index->push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
      state->out_of_memory = true;
      return 1;  // no exception may travel through SQLite's C frames
    }
    return 0;
  };
  rc = db.Exec("select fileID,domain, relativePath from Files;", on_row, &rows);
  if (rc == SQLITE_OK) return kOk;
  // With an immutable connection SQLite opens the file lazily, so a file that is not a
  // database, or cannot be read at all, first shows up here: report it as the open would.
  int primary = rc & 0xFF;
  if (!rows.out_of_memory && (primary == SQLITE_NOTADB || primary == SQLITE_CANTOPEN) &&
      index.empty()) {
    return primary;
  }
  return kSqlFailed;
}

int ChooseManifest(const std::filesystem::path& folder, ManifestChoice& choice) {
  std::error_code ec;
  choice = ManifestChoice{};
  if (std::filesystem::exists(folder / "Manifest.db", ec)) {
    choice.isManifestDb = true;
    choice.twoLevel = true;
    std::filesystem::path decrypted = folder / "Manifest.db-decypted";
    choice.file = std::filesystem::exists(decrypted, ec) ? decrypted : folder / "Manifest.db";
    return kOk;
  }
  choice.file = folder / "Manifest.mbdb";
  return std::filesystem::exists(choice.file, ec) ? kOk : kInvalidParameter;
}

int ReadManifest(const ManifestChoice& choice, ManifestIndex& index) {
  return choice.isManifestDb ? ReadManifestDb(choice.file, index) : ReadMbdb(choice.file, index);
}

}  // namespace salvora

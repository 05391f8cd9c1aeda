// The content of a synthetic backup, generated from the options and the seed before anything
// is written: the rows of every database and the list of manifest rows with their files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/internal/manifest_writer.h"
#include "support/sample_backup.h"
#include "support/sample_databases.h"

namespace salvora::sample {

// A small deterministic generator (SplitMix64), the same on every platform and library.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 <= value < n (n > 0).
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }

 private:
  uint64_t state_;
};

enum class DatabaseKind {
  kNone,
  kMessages,
  kAddressBook,
  kCurrentCalls,
  kOlderCalls,
  kOlderNotes,
  kNewerNotes,
  kWhatsApp,
};

// One manifest row and, for files, what lies on disk under its hashed name.
struct FileItem {
  std::string domain;
  std::string path;
  int flags = kFlagFile;
  std::string target;  // links
  uint32_t mtime = 0;
  bool present = true;             // false: the hashed file is left out
  const char* detected = nullptr;  // content type a reader detects, or null
  bool video_or_audio = false;
  DatabaseKind database = DatabaseKind::kNone;
  std::string owned;       // bytes kept with the item (small files, databases)
  std::string_view bytes;  // bytes of a built-in media file
  int64_t database_size = 0;
  bool filler = false;  // text content made on demand from filler_seed
  uint32_t filler_size = 0;
  uint64_t filler_seed = 0;

  [[nodiscard]] size_t size() const;
  // The file's bytes; filler text is produced into `scratch`.
  [[nodiscard]] std::string_view Content(std::string& scratch) const;
};

struct Content {
  MessagesData messages;
  AddressBookData contacts;
  AddressBookLayout layout = AddressBookLayout::kC16Phone;
  CallHistoryData current_calls;
  CallHistoryData older_calls;
  bool has_current_calls = false;
  bool has_older_calls = false;
  NotesData older_notes;
  NotesData newer_notes;
  bool has_older_notes = false;
  bool has_newer_notes = false;
  WhatsAppData whatsapp;
  std::vector<std::string> app_bundles;
  std::vector<FileItem> items;  // manifest order
};

[[nodiscard]] Content BuildContent(const SampleOptions& options);

// Writes one of the content's databases to `path`. Returns 0 or SQLite's code.
[[nodiscard]] int WriteDatabase(DatabaseKind kind, const std::filesystem::path& path,
                                const SampleOptions& options, const Content& content);

// Reads a whole file. Returns 0 or errno.
[[nodiscard]] int ReadWholeFile(const std::filesystem::path& path, std::string& out);

}  // namespace salvora::sample

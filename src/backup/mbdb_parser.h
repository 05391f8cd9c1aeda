// Record-level parser of "Manifest.mbdb", the manifest of backups written up to iOS 9.
//
// File layout (all integers big-endian):
//
//   offset  size  meaning
//   0       4     signature "mbdb"
//   4       2     format version (5.0 is 05 00; not checked)
//   6       ...   records, one after another up to the end of the file
//
// A string is a 16-bit length followed by that many bytes; the length 0xFFFF marks an absent
// string and is followed by no bytes. One record:
//
//   field               size
//   domain              string
//   relative path       string
//   link target         string   (symbolic links)
//   data hash           string   (SHA-1 of the content; often absent)
//   encryption key      string   (encrypted backups: 4-byte protection class, wrapped key)
//   mode                2        file type in the top bits, permissions below
//   inode number        8
//   user id             4
//   group id            4
//   modification time   4        Unix seconds
//   access time         4
//   creation time       4
//   size                8        as recorded; can be stale in real backups
//   protection class    1
//   property count n    1
//   n property pairs    n times two strings (name, value; values may be binary)
//
// The parser never copies: every string of a record is a view into the caller's buffer and
// stays valid as long as that buffer does. It never reads past the buffer: a record that
// would extend past the end stops the parse (Next() returns kTruncated) and nothing of it is
// delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace salvora {

// The four signature bytes and the size of the file header.
inline constexpr std::string_view kMbdbSignature = "mbdb";
inline constexpr size_t kMbdbHeaderSize = 6;

struct MbdbProperty {
  std::optional<std::string_view> name;
  std::optional<std::string_view> value;
};

// Every field of one record. An absent string (length 0xFFFF) is nullopt; an empty one is an
// empty view.
struct MbdbRecord {
  std::optional<std::string_view> domain;
  std::optional<std::string_view> path;
  std::optional<std::string_view> linkTarget;
  std::optional<std::string_view> dataHash;
  std::optional<std::string_view> encryptionKey;
  uint16_t mode = 0;
  uint64_t inode = 0;
  uint32_t userId = 0;
  uint32_t groupId = 0;
  uint32_t modificationTime = 0;
  uint32_t accessTime = 0;
  uint32_t creationTime = 0;
  uint64_t size = 0;
  uint8_t protectionClass = 0;
  std::vector<MbdbProperty> properties;
  size_t offset = 0;  // where the record starts in the buffer

  // File type from the top bits of `mode`.
  static constexpr uint16_t kTypeMask = 0xE000;
  static constexpr uint16_t kTypeDirectory = 0x4000;
  static constexpr uint16_t kTypeRegular = 0x8000;
  static constexpr uint16_t kTypeSymlink = 0xA000;
  [[nodiscard]] bool IsDirectory() const { return (mode & kTypeMask) == kTypeDirectory; }
  [[nodiscard]] bool IsRegularFile() const { return (mode & kTypeMask) == kTypeRegular; }
  [[nodiscard]] bool IsSymlink() const { return (mode & kTypeMask) == kTypeSymlink; }
};

class MbdbParser {
 public:
  enum class Step {
    kRecord,     // `record` holds the next record
    kEnd,        // the buffer ended exactly after the previous record
    kTruncated,  // the next record would extend past the buffer; parsing is over
    kBadHeader,  // the buffer does not start with "mbdb"; nothing is parsed
  };

  // Parses `bytes` (the whole file), which the caller keeps alive and unchanged while the
  // parser and the records it produced are used. A buffer of four or five bytes that starts
  // with "mbdb" holds no records.
  explicit MbdbParser(std::span<const uint8_t> bytes);
  explicit MbdbParser(std::string_view bytes)
      : MbdbParser(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()),
                                            bytes.size())) {}

  // True when the buffer starts with the signature.
  [[nodiscard]] bool header_ok() const { return header_ok_; }

  // Reads the next record into `record` (its property list is reused, so passing the same
  // object each time avoids allocations). After kEnd, kTruncated or kBadHeader every further
  // call returns the same value and leaves `record` unspecified.
  [[nodiscard]] Step Next(MbdbRecord& record);

  // Offset of the next record to read (the end of the last record delivered).
  [[nodiscard]] size_t offset() const { return offset_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t offset_ = 0;
  bool header_ok_ = false;
  Step final_ = Step::kRecord;
};

}  // namespace salvora

#include "backup/mbdb_parser.h"

namespace salvora {
namespace {

// A bounds-checked big-endian reader over the record area. Every read first checks that the
// bytes are there; a failed read leaves the cursor where it was and sets nothing.
class Cursor {
 public:
  Cursor(std::span<const uint8_t> bytes, size_t offset) : bytes_(bytes), offset_(offset) {}

  [[nodiscard]] size_t offset() const { return offset_; }
  [[nodiscard]] size_t remaining() const { return bytes_.size() - offset_; }

  template <typename T>
  [[nodiscard]] bool ReadInt(T& out) {
    if (remaining() < sizeof(T)) return false;
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      value = static_cast<T>((value << 8) | bytes_[offset_ + i]);
    offset_ += sizeof(T);
    out = value;
    return true;
  }

  // A 16-bit length and that many bytes; the length 0xFFFF is an absent string with no bytes.
  [[nodiscard]] bool ReadString(std::optional<std::string_view>& out) {
    uint16_t length = 0;
    size_t start = offset_;
    if (!ReadInt(length)) return false;
    if (length == 0xFFFF) {
      out.reset();
      return true;
    }
    if (remaining() < length) {
      offset_ = start;
      return false;
    }
    out.emplace(reinterpret_cast<const char*>(bytes_.data() + offset_), length);
    offset_ += length;
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t offset_;
};

}  // namespace

MbdbParser::MbdbParser(std::span<const uint8_t> bytes) : bytes_(bytes) {
  // Bytes 0-3: the signature; bytes 4-5: the format version, which is not checked.
  header_ok_ = bytes_.size() >= kMbdbSignature.size() &&
               std::string_view(reinterpret_cast<const char*>(bytes_.data()),
                                kMbdbSignature.size()) == kMbdbSignature;
  if (!header_ok_) {
    final_ = Step::kBadHeader;
    return;
  }
  offset_ = bytes_.size() < kMbdbHeaderSize ? bytes_.size() : kMbdbHeaderSize;
}

MbdbParser::Step MbdbParser::Next(MbdbRecord& record) {
  if (final_ != Step::kRecord) return final_;
  if (offset_ >= bytes_.size()) return final_ = Step::kEnd;

  Cursor in(bytes_, offset_);
  record.offset = offset_;
  record.properties.clear();
  uint8_t property_count = 0;
  bool ok = in.ReadString(record.domain) && in.ReadString(record.path) &&
            in.ReadString(record.linkTarget) && in.ReadString(record.dataHash) &&
            in.ReadString(record.encryptionKey) && in.ReadInt(record.mode) &&
            in.ReadInt(record.inode) && in.ReadInt(record.userId) && in.ReadInt(record.groupId) &&
            in.ReadInt(record.modificationTime) && in.ReadInt(record.accessTime) &&
            in.ReadInt(record.creationTime) && in.ReadInt(record.size) &&
            in.ReadInt(record.protectionClass) && in.ReadInt(property_count);
  for (uint8_t i = 0; ok && i < property_count; ++i) {
    MbdbProperty property;
    ok = in.ReadString(property.name) && in.ReadString(property.value);
    if (ok) record.properties.push_back(property);
  }
  if (!ok) return final_ = Step::kTruncated;
  offset_ = in.offset();
  return Step::kRecord;
}

}  // namespace salvora

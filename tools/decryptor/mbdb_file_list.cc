#include "decryptor/mbdb_file_list.h"

#include <openssl/sha.h>

namespace salvora::decryptor {
namespace {

// A bounds-checked big-endian reader over the manifest bytes.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes, size_t at) : bytes_(bytes), at_(at) {}

  [[nodiscard]] bool AtEnd() const { return at_ >= bytes_.size(); }

  bool Uint(size_t width, uint64_t& value) {
    if (bytes_.size() - at_ < width) return false;
    value = 0;
    for (size_t i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(bytes_[at_ + i]);
    at_ += width;
    return true;
  }

  // A string: 16-bit length, 0xFFFF for absent (no bytes follow).
  bool String(std::string& value) {
    uint64_t length = 0;
    if (!Uint(2, length)) return false;
    value.clear();
    if (length == 0xFFFF) return true;
    if (bytes_.size() - at_ < length) return false;
    value.assign(bytes_.substr(at_, length));
    at_ += length;
    return true;
  }

 private:
  std::string_view bytes_;
  size_t at_;
};

}  // namespace

bool ReadMbdbFiles(std::string_view bytes, std::vector<MbdbFile>& files) {
  // Signature "mbdb", then two bytes of format version.
  if (bytes.size() < 6 || bytes.substr(0, 4) != "mbdb") return false;
  Cursor c(bytes, 6);
  while (!c.AtEnd()) {
    MbdbFile f;
    std::string link, hash, key;
    uint64_t mode = 0, skipped = 0, size = 0, protection = 0, properties = 0;
    bool ok = c.String(f.domain) && c.String(f.relativePath) && c.String(link) &&
              c.String(hash) && c.String(key) && c.Uint(2, mode) &&
              c.Uint(8, skipped) &&                                   // inode number
              c.Uint(4, skipped) && c.Uint(4, skipped) &&             // user, group
              c.Uint(4, skipped) && c.Uint(4, skipped) && c.Uint(4, skipped) &&  // times
              c.Uint(8, size) && c.Uint(1, protection) && c.Uint(1, properties);
    for (uint64_t i = 0; ok && i < properties; ++i) {
      std::string name, value;
      ok = c.String(name) && c.String(value);
    }
    if (!ok) break;  // a truncated record ends the manifest
    f.mode = static_cast<uint16_t>(mode);
    if ((f.mode & 0xF000) != 0x8000 || f.domain.empty() || f.relativePath.empty()) continue;
    f.encryptionKey.assign(key.begin(), key.end());
    f.size = size;
    f.protectionClass = static_cast<uint8_t>(protection);
    files.push_back(std::move(f));
  }
  return true;
}

std::string FileIdOf(std::string_view domain, std::string_view relative_path) {
  std::string text;
  text.reserve(domain.size() + 1 + relative_path.size());
  text.append(domain).append("-").append(relative_path);
  Bytes digest(SHA_DIGEST_LENGTH);
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
  return ToHex(digest);
}

}  // namespace salvora::decryptor

#include "decryptor/manifest_plist.h"

#include <fstream>
#include <iterator>
#include <string>

#include "backup/plist_ptr.h"

namespace salvora::decryptor {
namespace {

// Manifest.plist is small; anything this large is not one.
constexpr std::uintmax_t kMaxPlistSize = 64u << 20;

std::optional<Bytes> DataValue(plist_t dict, const char* key) {
  plist_t node = plist_dict_get_item(dict, key);
  if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) return std::nullopt;
  char* data = nullptr;
  uint64_t length = 0;
  plist_get_data_val(node, &data, &length);
  Bytes out;
  if (data != nullptr) {
    out.assign(reinterpret_cast<uint8_t*>(data), reinterpret_cast<uint8_t*>(data) + length);
    free(data);
  }
  return out;
}

}  // namespace

std::optional<ManifestPlist> ReadManifestPlist(const std::filesystem::path& path) {
  std::error_code ec;
  std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxPlistSize) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PlistPtr root = ParsePlist(bytes);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;

  ManifestPlist out;
  plist_t encrypted = plist_dict_get_item(root.get(), "IsEncrypted");
  if (encrypted != nullptr && plist_get_node_type(encrypted) == PLIST_BOOLEAN) {
    uint8_t value = 0;
    plist_get_bool_val(encrypted, &value);
    out.isEncrypted = value != 0;
  }
  if (std::optional<Bytes> bag = DataValue(root.get(), "BackupKeyBag")) out.backupKeyBag = *bag;
  out.manifestKey = DataValue(root.get(), "ManifestKey");
  return out;
}

std::optional<ClassWrappedKey> SplitClassWrappedKey(const Bytes& field) {
  if (field.size() < 4 + 24) return std::nullopt;
  ClassWrappedKey out;
  out.protectionClass = uint32_t{field[0]} | uint32_t{field[1]} << 8 | uint32_t{field[2]} << 16 |
                        uint32_t{field[3]} << 24;
  out.wrappedKey.assign(field.begin() + 4, field.end());
  return out;
}

}  // namespace salvora::decryptor

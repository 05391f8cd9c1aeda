#include "decryptor/archived_file.h"

#include <string>

#include "backup/plist_ptr.h"

namespace salvora::decryptor {
namespace {

// The object a UID node points at in $objects; null for other nodes or a UID out of range.
plist_t Resolve(plist_t objects, plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_UID) return nullptr;
  uint64_t index = 0;
  plist_get_uid_val(node, &index);
  if (index >= plist_array_get_size(objects)) return nullptr;
  return plist_array_get_item(objects, static_cast<uint32_t>(index));
}

std::optional<uint64_t> UintValue(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_UINT) return std::nullopt;
  uint64_t value = 0;
  plist_get_uint_val(node, &value);
  return value;
}

std::optional<Bytes> DataOf(plist_t node) {
  if (node == nullptr) return std::nullopt;
  if (plist_get_node_type(node) == PLIST_DICT) node = plist_dict_get_item(node, "NS.data");
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

std::optional<ArchivedFile> ParseArchivedFile(std::string_view blob) {
  PlistPtr root = ParsePlist(std::string(blob));
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
  plist_t objects = plist_dict_get_item(root.get(), "$objects");
  plist_t top = plist_dict_get_item(root.get(), "$top");
  if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY || top == nullptr ||
      plist_get_node_type(top) != PLIST_DICT) {
    return std::nullopt;
  }
  plist_t file = Resolve(objects, plist_dict_get_item(top, "root"));
  if (file == nullptr || plist_get_node_type(file) != PLIST_DICT) return std::nullopt;

  ArchivedFile out;
  out.size = UintValue(plist_dict_get_item(file, "Size"));
  if (std::optional<uint64_t> cls = UintValue(plist_dict_get_item(file, "ProtectionClass"));
      cls && *cls <= UINT32_MAX) {
    out.protectionClass = static_cast<uint32_t>(*cls);
  }
  out.encryptionKey = DataOf(Resolve(objects, plist_dict_get_item(file, "EncryptionKey")));
  return out;
}

}  // namespace salvora::decryptor

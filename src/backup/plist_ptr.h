// Owning handle for libplist nodes, so that every early return frees the tree.
#pragma once

#include <memory>
#include <string>

#include <plist/plist.h>

namespace salvora {

struct PlistDeleter {
  void operator()(plist_t node) const {
    if (node != nullptr) plist_free(node);
  }
};
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

// Parses an XML or binary property list; null when the bytes are neither.
[[nodiscard]] inline PlistPtr ParsePlist(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  return PlistPtr(root);
}

// The string value of a string node, or nullopt-like empty with `ok` false for other nodes.
[[nodiscard]] inline bool PlistString(plist_t node, std::string& out) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return false;
  char* value = nullptr;
  plist_get_string_val(node, &value);
  if (value == nullptr) return false;
  out.assign(value);
  free(value);
  return true;
}

}  // namespace salvora

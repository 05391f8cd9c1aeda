// What the decryptor needs from a backup's "Manifest.plist" (binary or XML property list).
//
//   IsEncrypted   boolean; true for an encrypted backup
//   BackupKeyBag  data; the keybag (keybag.h)
//   ManifestKey   data, iOS 10.2 and later; 4 bytes little-endian protection class, then
//                 the RFC 3394-wrapped key of "Manifest.db"
#pragma once

#include <filesystem>
#include <optional>

#include "decryptor/crypto.h"

namespace salvora::decryptor {

struct ManifestPlist {
  bool isEncrypted = false;
  Bytes backupKeyBag;
  std::optional<Bytes> manifestKey;
};

// Reads `path`. Returns nullopt when the file cannot be read or is not a property list
// with a dictionary at its root. Missing keys leave their defaults.
[[nodiscard]] std::optional<ManifestPlist> ReadManifestPlist(const std::filesystem::path& path);

// A key field that starts with the protection class (4 bytes, little-endian) followed by
// the wrapped key, as ManifestKey, a Manifest.db file's EncryptionKey and a Manifest.mbdb
// record's encryption key are stored.
struct ClassWrappedKey {
  uint32_t protectionClass = 0;
  Bytes wrappedKey;
};
// nullopt when `field` is shorter than 4 bytes plus a 24-byte wrapped key.
[[nodiscard]] std::optional<ClassWrappedKey> SplitClassWrappedKey(const Bytes& field);

}  // namespace salvora::decryptor

// The `file` column of a Manifest.db row: an NSKeyedArchiver property list (binary) of the
// file's MBFile object.
//
//   $top.root        UID of the MBFile object in $objects
//   MBFile           dictionary: Size (integer), ProtectionClass (integer), Mode (integer),
//                    EncryptionKey (UID of an NSData object, absent for folders and links)
//   NSData object    dictionary whose NS.data holds the bytes (older archives may store the
//                    data node itself in $objects): 4 bytes little-endian protection class,
//                    then the RFC 3394-wrapped file key
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "decryptor/crypto.h"

namespace salvora::decryptor {

struct ArchivedFile {
  std::optional<uint64_t> size;
  std::optional<uint32_t> protectionClass;
  std::optional<Bytes> encryptionKey;  // NS.data of EncryptionKey
};

// Decodes a `file` blob. Returns nullopt when it is not a property list, lacks $objects or
// $top.root, or a UID points outside $objects. Fields that are absent or of another type
// stay empty.
[[nodiscard]] std::optional<ArchivedFile> ParseArchivedFile(std::string_view blob);

}  // namespace salvora::decryptor

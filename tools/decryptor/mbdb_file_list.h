// The file records of a plain "Manifest.mbdb" (iOS 9 and older) with the fields decryption
// needs. All integers are big-endian; a string is a 16-bit length and that many bytes, the
// length 0xFFFF standing for an absent string with no bytes.
//
//   "mbdb" + 2 bytes version, then records until the end of the file:
//   domain, relative path, link target, data hash, encryption key   5 strings
//   mode 2, inode 8, user 4, group 4, mtime 4, atime 4, ctime 4      bytes
//   size 8, protection class 1, property count n 1                   bytes
//   n pairs of strings (name, value)
//
// The encryption key of a file record is 4 bytes little-endian protection class followed by
// the RFC 3394-wrapped file key. The size can be stale in real backups.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decryptor/crypto.h"

namespace salvora::decryptor {

struct MbdbFile {
  std::string domain;
  std::string relativePath;
  Bytes encryptionKey;  // empty when absent
  uint16_t mode = 0;
  uint64_t size = 0;
  uint8_t protectionClass = 0;
};

// Appends every regular-file record (mode & 0xF000 == 0x8000) with a non-empty domain and
// relative path to `files`. Returns false when the signature is wrong; a record that would
// run past the end ends the reading (the records before it stay).
[[nodiscard]] bool ReadMbdbFiles(std::string_view bytes, std::vector<MbdbFile>& files);

// The file id of domain D and relative path P: SHA-1 of "D-P" in lower-case hexadecimal.
[[nodiscard]] std::string FileIdOf(std::string_view domain, std::string_view relative_path);

}  // namespace salvora::decryptor

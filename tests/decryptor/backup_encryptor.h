// Test and benchmark helper: turns a plain backup into an encrypted one the way a phone
// does, so the decryptor can be run on backups of any size and shape.
//
// The encrypted backup gets a fresh backup keybag (random class keys 1 to 11 wrapped with the
// password's KEK), a ManifestKey of class `manifestClass`, every regular file of Manifest.db
// encrypted with its own random key (AES-256-CBC, zero IV, PKCS#7 padding) in the two-level
// layout, and a Manifest.db whose `file` blobs carry each file's EncryptionKey, encrypted
// with the manifest key. Other top-level files (Info.plist, Status.plist) are copied.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace salvora::testing {

// Appends one keybag TLV record (4-byte tag, 4-byte big-endian length, value) to `bag`.
void AppendKeybagRecord(std::vector<uint8_t>& bag, const char* tag,
                        const std::vector<uint8_t>& value);
// A keybag integer: 4 bytes big-endian.
[[nodiscard]] std::vector<uint8_t> KeybagInt(uint32_t value);

// One file of a small plain backup written by WritePlainBackup.
struct PlainFile {
  std::string domain;
  std::string relativePath;
  std::string content;
};

// Writes a plain backup with the two-level layout into `folder` (created): Manifest.db with
// a Files table (fileID, domain, relativePath, flags, file) holding one row per file, each
// file under xx/<file id>, and a minimal Info.plist. Returns false on an I/O failure.
[[nodiscard]] bool WritePlainBackup(const std::filesystem::path& folder,
                                    const std::vector<PlainFile>& files);

struct EncryptOptions {
  std::string password;
  uint32_t iterations = 10;     // ITER, PBKDF2-HMAC-SHA1
  uint32_t dpIterations = 100;  // DPIC, PBKDF2-HMAC-SHA256; 0 leaves DPSL and DPIC out
  uint32_t manifestClass = 3;
  uint32_t fileClass = 3;
  bool padManifest = true;  // false: Manifest.db encrypted without PKCS#7 padding
};

// Encrypts the plain backup in `plain` (Manifest.db and the two-level layout) into `out`
// (created). Rows whose flags are not 1 or whose file is missing are kept without a key.
// Returns false and fills `error` on failure.
[[nodiscard]] bool EncryptBackup(const std::filesystem::path& plain,
                                 const std::filesystem::path& out, const EncryptOptions& options,
                                 std::string* error = nullptr);

}  // namespace salvora::testing

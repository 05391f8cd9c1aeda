// AES-256-CBC decryption of one backup file into another, in large buffers, through one
// OpenSSL cipher context that is kept for every file its owner handles.
//
// Backup files are encrypted with AES-256-CBC under their own key and a zero IV, with PKCS#7
// padding: 1 to 16 bytes, each holding the padding length, so a plaintext whose size is a
// multiple of 16 carries a whole block of padding. An empty file is stored empty.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "decryptor/crypto.h"

struct evp_cipher_ctx_st;

namespace salvora::decryptor {

class CbcFileDecryptor {
 public:
  enum class Padding {
    kRequired,  // PKCS#7 must be there and is removed (backup files)
    // Removed only when it is there: a padded SQLite file is a whole number of 512-byte
    // units plus the padding, an unpadded one a whole number of units (Manifest.db).
    kOptional,
  };

  enum class Status {
    kOk,
    kCannotOpenInput,
    kReadError,
    kNotBlockAligned,  // the ciphertext is not a whole number of 16-byte blocks
    kBadPadding,       // no valid PKCS#7 padding: a wrong key or a damaged file
    kCannotOpenOutput,
    kWriteError,
    kCipherError,
  };

  struct Result {
    Status status = Status::kOk;
    uint64_t plainSize = 0;  // bytes written (valid with kOk)
  };

  // `buffer_size` is rounded down to a multiple of 16 (at least 16).
  explicit CbcFileDecryptor(size_t buffer_size = size_t{1} << 20);
  ~CbcFileDecryptor();
  CbcFileDecryptor(const CbcFileDecryptor&) = delete;
  CbcFileDecryptor& operator=(const CbcFileDecryptor&) = delete;

  // Decrypts `input` with the 32-byte `key` into `output`, which is created or truncated
  // (a symbolic link at `output` is refused). On any failure `output` is removed again.
  [[nodiscard]] Result DecryptFile(const std::filesystem::path& input,
                                   const std::filesystem::path& output, const Bytes& key,
                                   Padding padding);

  // Copies `input` unchanged to `output` (a file that a backup stores without encryption),
  // with the same buffers and the same rules for `output`.
  [[nodiscard]] Result CopyFile(const std::filesystem::path& input,
                                const std::filesystem::path& output);

  // Human-readable text of a status, for diagnostics.
  [[nodiscard]] static const char* StatusText(Status status);

 private:
  struct CtxDeleter {
    void operator()(evp_cipher_ctx_st* ctx) const;
  };
  std::unique_ptr<evp_cipher_ctx_st, CtxDeleter> ctx_;
  std::vector<uint8_t> in_;
  std::vector<uint8_t> out_;  // 16 bytes of held-back block, then one buffer of plaintext
};

}  // namespace salvora::decryptor

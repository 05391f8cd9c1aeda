// The cryptographic steps of backup decryption, on OpenSSL: the two password-based key
// derivations of a backup keybag, the AES key wrap of class and file keys (RFC 3394), and
// the hexadecimal form that diagnostics and tests use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace salvora::decryptor {

using Bytes = std::vector<uint8_t>;

// PBKDF2 (RFC 8018) with HMAC-SHA1 or HMAC-SHA256, `length` bytes of output. `iterations`
// must be at least 1. Returns nullopt when OpenSSL refuses (zero iterations, no memory).
[[nodiscard]] std::optional<Bytes> Pbkdf2Sha1(const Bytes& password, const Bytes& salt,
                                              uint32_t iterations, size_t length);
[[nodiscard]] std::optional<Bytes> Pbkdf2Sha256(const Bytes& password, const Bytes& salt,
                                                uint32_t iterations, size_t length);

// RFC 3394 AES key unwrap with the default initial value A6A6A6A6A6A6A6A6. `kek` is 16, 24
// or 32 bytes; `wrapped` a multiple of 8 bytes, at least 24. Returns the key (8 bytes
// shorter than `wrapped`), or nullopt when the sizes are wrong or the integrity check fails,
// which is what a wrong key-encryption key looks like.
[[nodiscard]] std::optional<Bytes> AesKeyUnwrap(const Bytes& kek, const Bytes& wrapped);

// RFC 3394 AES key wrap (the inverse; used to build encrypted test backups). `key` is a
// multiple of 8 bytes, at least 16. Returns nullopt on wrong sizes.
[[nodiscard]] std::optional<Bytes> AesKeyWrap(const Bytes& kek, const Bytes& key);

// Lower-case hexadecimal of `bytes`.
[[nodiscard]] std::string ToHex(const Bytes& bytes);
// Bytes of a hexadecimal text (either case); nullopt for an odd length or another character.
[[nodiscard]] std::optional<Bytes> FromHex(std::string_view hex);

// Bytes of a text (no conversion; the password is handed over as UTF-8).
[[nodiscard]] inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

}  // namespace salvora::decryptor

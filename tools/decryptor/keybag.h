// The backup keybag ("BackupKeyBag" of Manifest.plist) and its unlocking with the password.
//
// The keybag is a run of TLV records: a 4-byte ASCII tag, a 4-byte big-endian length, then
// that many bytes of value. Integers are big-endian, 4 bytes (8 are accepted). Layout:
//
//   header  VERS  keybag version           class key  UUID  starts a class-key record
//           TYPE  1 = backup keybag                       CLAS  protection class (1..11)
//           UUID  the keybag's own id                     WRAP  bit 2 (value 2): wrapped
//           HMCK  (unused here)                                 with the password key
//           WRAP  (unused here)                           KTYP  key type (unused here)
//           SALT  salt of PBKDF2-HMAC-SHA1                WPKY  the RFC 3394-wrapped key
//           ITER  its iteration count                           (40 bytes for AES-256)
//           DPSL  salt of PBKDF2-HMAC-SHA256 (iOS 10.2 and later)
//           DPIC  its iteration count
//           DPWT  (unused here)
//
// The second and every later UUID begin a class-key record; the tags after it until the next
// UUID belong to that class. The key-encryption key (KEK) is PBKDF2-HMAC-SHA1 over SALT and
// ITER, 32 bytes, of the password or, when the keybag has DPSL and DPIC, of the 32-byte
// PBKDF2-HMAC-SHA256 over DPSL and DPIC of the password.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "decryptor/crypto.h"

namespace salvora::decryptor {

class Keybag {
 public:
  struct ClassKey {
    uint32_t protectionClass = 0;
    uint32_t wrap = 0;
    Bytes wrappedKey;  // WPKY
    Bytes key;         // filled by Unlock
  };

  enum class UnlockResult {
    kOk,
    kWrongPassword,  // a class key failed the RFC 3394 integrity check
    kUnusable,       // no salt, no iteration count, or no class key wrapped with the password
  };

  // Reads the TLV records of `data`. Returns nullopt when a record runs past the end, an
  // integer has another size than 4 or 8 bytes, or a class record lacks CLAS or WPKY.
  [[nodiscard]] static std::optional<Keybag> Parse(const Bytes& data);

  // The KEK of `password` (its bytes as given: UTF-8). nullopt when the keybag lacks SALT or
  // ITER or a derivation fails. `first_stage` receives the PBKDF2-HMAC-SHA256 output when
  // that stage runs.
  [[nodiscard]] std::optional<Bytes> DeriveKek(const Bytes& password,
                                               Bytes* first_stage = nullptr) const;

  // Unwraps every class key that is wrapped with the password key (WRAP bit 2) using `kek`.
  [[nodiscard]] UnlockResult UnlockWithKek(const Bytes& kek);
  // DeriveKek and UnlockWithKek.
  [[nodiscard]] UnlockResult Unlock(const Bytes& password);

  // Unwraps a file's or the manifest's wrapped key with the unlocked key of
  // `protection_class`. nullopt for an unknown or locked class or a failed integrity check.
  [[nodiscard]] std::optional<Bytes> UnwrapKey(uint32_t protection_class,
                                               const Bytes& wrapped) const;

  [[nodiscard]] const std::map<uint32_t, ClassKey>& class_keys() const { return class_keys_; }
  [[nodiscard]] bool has_second_stage() const { return !dpsl_.empty() && dpic_ != 0; }
  [[nodiscard]] uint32_t type() const { return type_; }

 private:
  uint32_t version_ = 0;
  uint32_t type_ = 0;
  Bytes salt_;
  uint32_t iter_ = 0;
  Bytes dpsl_;
  uint32_t dpic_ = 0;
  std::map<uint32_t, ClassKey> class_keys_;
};

}  // namespace salvora::decryptor

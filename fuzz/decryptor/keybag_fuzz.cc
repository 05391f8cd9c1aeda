// Feeds arbitrary bytes to the backup keybag reader, then unwraps whatever class keys it
// found with a fixed KEK: record lengths and wrapped-key sizes must never lead past the
// buffer. (No key derivation: the iteration counts come from the input.)
#include <cstddef>
#include <cstdint>

#include "decryptor/keybag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  salvora::decryptor::Bytes bytes(data, data + size);
  std::optional<salvora::decryptor::Keybag> bag = salvora::decryptor::Keybag::Parse(bytes);
  if (bag) {
    (void)bag->UnlockWithKek(salvora::decryptor::Bytes(32, 0x5A));
    for (const auto& [cls, key] : bag->class_keys()) {
      (void)bag->UnwrapKey(cls, key.wrappedKey);
    }
  }
  return 0;
}

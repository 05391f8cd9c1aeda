#include "decryptor/keybag.h"

#include <string_view>

namespace salvora::decryptor {
namespace {

constexpr size_t kTagSize = 4;
constexpr size_t kLengthSize = 4;
constexpr size_t kKeySize = 32;  // AES-256 KEK and class keys

uint32_t ReadBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// A TLV integer: 4 or 8 bytes big-endian; 8-byte values must fit 32 bits.
std::optional<uint32_t> ReadInt(const uint8_t* p, uint32_t length) {
  if (length == 4) return ReadBe32(p);
  if (length == 8 && ReadBe32(p) == 0) return ReadBe32(p + 4);
  return std::nullopt;
}

}  // namespace

std::optional<Keybag> Keybag::Parse(const Bytes& data) {
  Keybag bag;
  ClassKey* current = nullptr;  // the class record being read; null in the header
  bool seen_uuid = false;
  bool has_class_tag = false;
  auto finish_class = [&]() -> bool {
    if (current == nullptr) return true;
    if (!has_class_tag || current->wrappedKey.empty()) return false;
    ClassKey done = *current;
    bag.class_keys_[done.protectionClass] = std::move(done);  // a later duplicate wins
    return true;
  };
  ClassKey pending;
  size_t at = 0;
  while (at < data.size()) {
    // Each record: tag (4 bytes), length (4 bytes, big-endian), value.
    if (data.size() - at < kTagSize + kLengthSize) return std::nullopt;
    std::string_view tag(reinterpret_cast<const char*>(&data[at]), kTagSize);
    uint32_t length = ReadBe32(&data[at + kTagSize]);
    at += kTagSize + kLengthSize;
    if (length > data.size() - at) return std::nullopt;
    const uint8_t* value = data.data() + at;
    at += length;

    auto read_int = [&](uint32_t& out) -> bool {
      std::optional<uint32_t> v = ReadInt(value, length);
      if (!v) return false;
      out = *v;
      return true;
    };
    if (tag == "UUID") {
      // The first UUID names the keybag; each later one opens a class-key record.
      if (seen_uuid) {
        if (!finish_class()) return std::nullopt;
        pending = ClassKey{};
        current = &pending;
        has_class_tag = false;
      }
      seen_uuid = true;
    } else if (current != nullptr) {
      if (tag == "CLAS") {
        if (!read_int(current->protectionClass)) return std::nullopt;
        has_class_tag = true;
      } else if (tag == "WRAP") {
        if (!read_int(current->wrap)) return std::nullopt;
      } else if (tag == "WPKY") {
        current->wrappedKey.assign(value, value + length);
      }
    } else if (tag == "VERS") {
      if (!read_int(bag.version_)) return std::nullopt;
    } else if (tag == "TYPE") {
      if (!read_int(bag.type_)) return std::nullopt;
    } else if (tag == "SALT") {
      bag.salt_.assign(value, value + length);
    } else if (tag == "ITER") {
      if (!read_int(bag.iter_)) return std::nullopt;
    } else if (tag == "DPSL") {
      bag.dpsl_.assign(value, value + length);
    } else if (tag == "DPIC") {
      if (!read_int(bag.dpic_)) return std::nullopt;
    }
  }
  if (!finish_class()) return std::nullopt;
  return bag;
}

std::optional<Bytes> Keybag::DeriveKek(const Bytes& password, Bytes* first_stage) const {
  if (salt_.empty() || iter_ == 0) return std::nullopt;
  if (has_second_stage()) {
    std::optional<Bytes> stage = Pbkdf2Sha256(password, dpsl_, dpic_, kKeySize);
    if (!stage) return std::nullopt;
    if (first_stage != nullptr) *first_stage = *stage;
    return Pbkdf2Sha1(*stage, salt_, iter_, kKeySize);
  }
  return Pbkdf2Sha1(password, salt_, iter_, kKeySize);
}

Keybag::UnlockResult Keybag::UnlockWithKek(const Bytes& kek) {
  constexpr uint32_t kWrapPasscode = 2;
  bool any = false;
  for (auto& [cls, ck] : class_keys_) {
    if ((ck.wrap & kWrapPasscode) == 0) continue;
    std::optional<Bytes> key = AesKeyUnwrap(kek, ck.wrappedKey);
    if (!key) {
      for (auto& entry : class_keys_) entry.second.key.clear();
      return UnlockResult::kWrongPassword;
    }
    ck.key = std::move(*key);
    any = true;
  }
  return any ? UnlockResult::kOk : UnlockResult::kUnusable;
}

Keybag::UnlockResult Keybag::Unlock(const Bytes& password) {
  std::optional<Bytes> kek = DeriveKek(password);
  if (!kek) return UnlockResult::kUnusable;
  return UnlockWithKek(*kek);
}

std::optional<Bytes> Keybag::UnwrapKey(uint32_t protection_class, const Bytes& wrapped) const {
  auto it = class_keys_.find(protection_class);
  if (it == class_keys_.end() || it->second.key.empty()) return std::nullopt;
  return AesKeyUnwrap(it->second.key, wrapped);
}

}  // namespace salvora::decryptor

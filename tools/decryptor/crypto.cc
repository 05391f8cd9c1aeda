#include "decryptor/crypto.h"

#include <memory>

#include <openssl/evp.h>

namespace salvora::decryptor {
namespace {

struct CipherCtxDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

std::optional<Bytes> Pbkdf2(const Bytes& password, const Bytes& salt, uint32_t iterations,
                            size_t length, const EVP_MD* digest) {
  if (iterations == 0 || iterations > INT32_MAX || length == 0 || length > INT32_MAX ||
      password.size() > INT32_MAX || salt.size() > INT32_MAX) {
    return std::nullopt;
  }
  Bytes out(length);
  // An empty buffer's data() may be null; OpenSSL wants a valid pointer with length 0.
  static const unsigned char kEmpty = 0;
  const char* pass = password.empty() ? reinterpret_cast<const char*>(&kEmpty)
                                      : reinterpret_cast<const char*>(password.data());
  const unsigned char* salt_ptr = salt.empty() ? &kEmpty : salt.data();
  if (PKCS5_PBKDF2_HMAC(pass, static_cast<int>(password.size()), salt_ptr,
                        static_cast<int>(salt.size()), static_cast<int>(iterations), digest,
                        static_cast<int>(length), out.data()) != 1) {
    return std::nullopt;
  }
  return out;
}

const EVP_CIPHER* WrapCipher(size_t kek_size) {
  switch (kek_size) {
    case 16:
      return EVP_aes_128_wrap();
    case 24:
      return EVP_aes_192_wrap();
    case 32:
      return EVP_aes_256_wrap();
    default:
      return nullptr;
  }
}

// One pass of the key-wrap cipher; `encrypt` 1 wraps, 0 unwraps (and checks integrity).
std::optional<Bytes> Wrap(const Bytes& kek, const Bytes& in, int encrypt, size_t out_size) {
  const EVP_CIPHER* cipher = WrapCipher(kek.size());
  if (cipher == nullptr || in.size() > INT32_MAX) return std::nullopt;
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::nullopt;
  EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, kek.data(), nullptr, encrypt) != 1) {
    return std::nullopt;
  }
  Bytes out(out_size + 16);  // room the cipher may claim beyond the result
  int n = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
      n < 0) {
    return std::nullopt;
  }
  int tail = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1) return std::nullopt;
  if (static_cast<size_t>(n + tail) != out_size) return std::nullopt;
  out.resize(out_size);
  return out;
}

}  // namespace

std::optional<Bytes> Pbkdf2Sha1(const Bytes& password, const Bytes& salt, uint32_t iterations,
                                size_t length) {
  return Pbkdf2(password, salt, iterations, length, EVP_sha1());
}

std::optional<Bytes> Pbkdf2Sha256(const Bytes& password, const Bytes& salt, uint32_t iterations,
                                  size_t length) {
  return Pbkdf2(password, salt, iterations, length, EVP_sha256());
}

std::optional<Bytes> AesKeyUnwrap(const Bytes& kek, const Bytes& wrapped) {
  // RFC 3394: n 64-bit blocks of key plus one block of integrity value, n >= 2.
  if (wrapped.size() < 24 || wrapped.size() % 8 != 0) return std::nullopt;
  return Wrap(kek, wrapped, 0, wrapped.size() - 8);
}

std::optional<Bytes> AesKeyWrap(const Bytes& kek, const Bytes& key) {
  if (key.size() < 16 || key.size() % 8 != 0) return std::nullopt;
  return Wrap(kek, key, 1, key.size() + 8);
}

std::string ToHex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::optional<Bytes> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Bytes out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = value(hex[i]);
    int lo = value(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return out;
}

}  // namespace salvora::decryptor

#include "backup/file_id_hasher.h"

#include <openssl/evp.h>

namespace salvora {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

FileIdHasher::FileIdHasher() {
  // Fetch the algorithm once: EVP_sha1() would look it up again on every digest.
  md_ = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  ctx_ = EVP_MD_CTX_new();
}

FileIdHasher::~FileIdHasher() {
  EVP_MD_CTX_free(ctx_);
  EVP_MD_free(md_);
}

bool FileIdHasher::Digest(std::initializer_list<std::string_view> parts, std::string& out) {
  out.clear();
  if (!ok()) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestInit_ex2(ctx_, md_, nullptr) != 1) return false;
  for (std::string_view part : parts) {
    if (!part.empty() && EVP_DigestUpdate(ctx_, part.data(), part.size()) != 1) return false;
  }
  if (EVP_DigestFinal_ex(ctx_, digest, &length) != 1 || length != 20) return false;
  out.resize(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    out[2 * i] = kHexDigits[digest[i] >> 4];
    out[2 * i + 1] = kHexDigits[digest[i] & 0x0F];
  }
  return true;
}

bool FileIdHasher::IdOf(std::string_view domain, std::string_view path, std::string& out) {
  return Digest({domain, "-", path}, out);
}

std::string FileIdHasher::IdOf(std::string_view domain, std::string_view path) {
  std::string out;
  (void)IdOf(domain, path, out);
  return out;
}

std::string FileIdHasher::IdOfKey(std::string_view key) {
  std::string out;
  (void)Digest({key}, out);
  return out;
}

std::string FileIdOfKey(std::string_view key) {
  FileIdHasher hasher;
  return hasher.IdOfKey(key);
}

}  // namespace salvora

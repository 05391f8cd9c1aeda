// File ids: the SHA-1 digest of a file's key (domain, "-", relative path), written as 40
// lower-case hexadecimal digits. Backups name every stored file by its id; "Manifest.db"
// stores the id, for "Manifest.mbdb" it is computed here.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// OpenSSL's digest types (EVP_MD, EVP_MD_CTX), declared so that this header needs no OpenSSL.
struct evp_md_st;
struct evp_md_ctx_st;

namespace salvora {

// Computes file ids through OpenSSL's EVP interface. Keeps its digest context between
// calls, so hashing many keys (a whole manifest) costs no set-up per key. Not thread-safe:
// use one object per thread.
class FileIdHasher {
 public:
  FileIdHasher();
  ~FileIdHasher();
  FileIdHasher(const FileIdHasher&) = delete;
  FileIdHasher& operator=(const FileIdHasher&) = delete;

  // False when OpenSSL could not provide SHA-1 (every result is then empty).
  [[nodiscard]] bool ok() const { return md_ != nullptr && ctx_ != nullptr; }

  // The id of the key `key` (bytes as they are). Empty when OpenSSL fails.
  [[nodiscard]] std::string IdOfKey(std::string_view key);
  // The id of domain "-" path, without building the key first.
  [[nodiscard]] std::string IdOf(std::string_view domain, std::string_view path);
  // Writes the 40 digits into `out` (which is resized); false when OpenSSL fails.
  [[nodiscard]] bool IdOf(std::string_view domain, std::string_view path, std::string& out);

 private:
  bool Digest(std::initializer_list<std::string_view> parts, std::string& out);

  ::evp_md_st* md_ = nullptr;
  ::evp_md_ctx_st* ctx_ = nullptr;
};

// One-off convenience: the id of `key` with a temporary hasher.
[[nodiscard]] std::string FileIdOfKey(std::string_view key);

}  // namespace salvora

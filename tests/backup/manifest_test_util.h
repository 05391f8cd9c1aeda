// Small helpers of the manifest and classification tests: a temporary folder, files written
// into it, and an encoder of Manifest.mbdb records.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace salvora::testing {

// A fresh folder below the system's temporary folder, removed with everything inside.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("salvora-manifest-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// One record as the mbdb encoder writes it; nullopt strings are written absent (0xFFFF).
struct MbdbRecordSpec {
  std::optional<std::string> domain;
  std::optional<std::string> path;
  std::optional<std::string> linkTarget;
  std::optional<std::string> dataHash;
  std::optional<std::string> encryptionKey;
  uint16_t mode = 0x81A4;  // regular file, rw-r--r--
  uint64_t inode = 0;
  uint32_t userId = 501;
  uint32_t groupId = 501;
  uint32_t modificationTime = 0;
  uint32_t accessTime = 0;
  uint32_t creationTime = 0;
  uint64_t size = 0;
  uint8_t protectionClass = 0;
  std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> properties;
};

// Builds the bytes of a Manifest.mbdb: the header "mbdb" 05 00, then the records.
class MbdbBytes {
 public:
  MbdbBytes() { bytes_ = std::string("mbdb\x05\x00", 6); }

  MbdbBytes& Add(const MbdbRecordSpec& r) {
    String(r.domain);
    String(r.path);
    String(r.linkTarget);
    String(r.dataHash);
    String(r.encryptionKey);
    Int(r.mode, 2);
    Int(r.inode, 8);
    Int(r.userId, 4);
    Int(r.groupId, 4);
    Int(r.modificationTime, 4);
    Int(r.accessTime, 4);
    Int(r.creationTime, 4);
    Int(r.size, 8);
    Int(r.protectionClass, 1);
    Int(r.properties.size(), 1);
    for (const auto& [name, value] : r.properties) {
      String(name);
      String(value);
    }
    return *this;
  }
  // A regular file record of domain and path.
  MbdbBytes& AddFile(std::string domain, std::string path) {
    MbdbRecordSpec r;
    r.domain = std::move(domain);
    r.path = std::move(path);
    return Add(r);
  }

  [[nodiscard]] const std::string& str() const { return bytes_; }

 private:
  void Int(uint64_t value, int size) {
    for (int i = size - 1; i >= 0; --i)
      bytes_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  void String(const std::optional<std::string>& s) {
    if (!s) {
      Int(0xFFFF, 2);
      return;
    }
    Int(s->size(), 2);
    bytes_ += *s;
  }

  std::string bytes_;
};

}  // namespace salvora::testing

// Shared helpers of the decryptor tests: temporary folders, the encrypted fixtures and their
// vectors, file contents.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "json_value.h"

namespace salvora::testing {

namespace fs = std::filesystem;

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("salvora-decryptor-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline fs::path EncryptedFixtures() {
  return fs::path(SALVORA_FIXTURES_DIR) / "encrypted-synthetic";
}

// The parsed vectors.json, or nullopt when the fixtures are absent.
inline std::optional<JsonValue> LoadVectors() {
  fs::path p = EncryptedFixtures() / "vectors.json";
  if (!fs::exists(p)) return std::nullopt;
  return JsonValue::Parse(ReadFileBytes(p));
}

// The vectors of the backup of `kind` ("modern" or "legacy").
inline const JsonValue* BackupVectors(const JsonValue& vectors, const std::string& kind) {
  for (const JsonValue& b : vectors["backups"].items()) {
    if (b["kind"].str() == kind) return &b;
  }
  return nullptr;
}

// Copies the fixture backup of `kind` into `dir` with write permission; returns its path.
inline fs::path CopyFixtureBackup(const JsonValue& backup, const fs::path& dir) {
  fs::path from = EncryptedFixtures() / backup["backup_dir"].str();
  fs::path to = dir / from.filename();
  fs::copy(from, to, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(to)) {
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  return to;
}

#define SALVORA_REQUIRE_VECTORS(var)                                                   \
  std::optional<JsonValue> var = LoadVectors();                                        \
  if (!var) GTEST_SKIP() << "encrypted fixtures not found in " << EncryptedFixtures(); \
  ASSERT_EQ(var->kind(), JsonValue::Kind::kObject)

}  // namespace salvora::testing

// Shared pieces of the records tests: a scratch folder, a database made from raw SQL (for
// schemas that no phone writes: missing tables, foreign layouts), the real fixtures, and a
// listing of a folder to show that reading left nothing beside a database.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace salvora::testing {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("records_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
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
  // A path inside the folder, as the UTF-8 text the extractors take.
  [[nodiscard]] std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Creates a database at `path` by running `sql` (several statements). Fails the test on error.
inline void WriteRawDb(const std::string& path, const char* sql) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  std::string message = error != nullptr ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names of the entries of a folder.
inline std::set<std::string> Listing(const std::filesystem::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A file of the real fixtures, or an empty text when the fixtures folder is absent.
inline std::string FixtureFile(const std::string& relative) {
  std::filesystem::path path = std::filesystem::path(SALVORA_FIXTURES_DIR) / relative;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) ? path.string() : std::string();
}

}  // namespace salvora::testing

// Skips the test when the real fixture is absent.
#define REQUIRE_FIXTURE(var, relative)                                                      \
  const std::string var = ::salvora::testing::FixtureFile(relative);                        \
  if (var.empty()) {                                                                        \
    GTEST_SKIP() << "real fixture " << (relative) << " not found in " SALVORA_FIXTURES_DIR; \
  }

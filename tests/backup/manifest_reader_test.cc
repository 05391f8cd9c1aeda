#include "backup/manifest_reader.h"

#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup_layout.h"
#include "backup/file_id_hasher.h"
#include "backup/manifest_test_util.h"
#include "core/result_codes.h"
#include "support/sample_backup.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

// Writes an SQLite database with the statements `sql`.
void MakeDatabase(const fs::path& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  std::string message = error != nullptr ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

constexpr const char* kFilesTable =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
    "INTEGER, file BLOB);";

TEST(ReadManifestDbTest, RowsBecomeEntriesWithTheirNulls) {
  TempDir dir;
  fs::path db = dir.path() / "Manifest.db";
  MakeDatabase(
      db, (std::string(kFilesTable) +
           "INSERT INTO Files VALUES"
           " ('3d0d7e5fb2ce288813306e4d4636395e047a3d28','HomeDomain','Library/SMS/sms.db',1,NULL),"
           " ('aaaa','HomeDomain',NULL,2,NULL),"          // domain row: key without "-"
           " ('bbbb','HomeDomain','',2,NULL),"            // empty path keeps the "-"
           " (NULL,'MediaDomain','Media/x.jpg',1,NULL),"  // no id
           " ('cccc',NULL,'Library/y',1,NULL),"
           " ('dddd','AppDomain-com.x','Documents/\xC3(.jpg',1,NULL);")
              .c_str());
  ManifestIndex index = {{"stale", "entry"}};
  ASSERT_EQ(ReadManifestDb(db, index), kOk);
  const std::vector<ManifestEntry> expected = {
      {"HomeDomain-Library/SMS/sms.db", "3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
      {"HomeDomain", "aaaa"},
      {"HomeDomain-", "bbbb"},
      {"MediaDomain-Media/x.jpg", ""},
      {"-Library/y", "cccc"},
      {"AppDomain-com.x-Documents/\xC3(.jpg", "dddd"},
  };
  ASSERT_EQ(index.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(index[i].key, expected[i].key);
    EXPECT_EQ(index[i].fileId, expected[i].fileId);
  }
  // The database was only read: nothing was created beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ReadManifestDbTest, FailureCodes) {
  TempDir dir;
  WriteFile(dir.path() / "text.db", std::string(4096, 'x'));
  WriteFile(dir.path() / "empty.db", "");
  MakeDatabase(dir.path() / "other.db", "CREATE TABLE Other (a);");
  MakeDatabase(dir.path() / "columns.db", "CREATE TABLE Files (fileID TEXT, domain TEXT);");
  struct Case {
    const char* name;
    int result;
  };
  const Case cases[] = {
      {"missing.db", SQLITE_CANTOPEN}, {"text.db", SQLITE_NOTADB},
      {"other.db", kSqlFailed},    // no Files table
      {"columns.db", kSqlFailed},  // no relativePath column
      {"empty.db", kSqlFailed},    // an empty file is an empty database without tables
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManifestIndex index = {{"stale", "entry"}};
    EXPECT_EQ(ReadManifestDb(dir.path() / c.name, index), c.result);
    EXPECT_TRUE(index.empty());
  }
}

TEST(ReadManifestDbTest, DamagedPageKeepsTheRowsBeforeIt) {
  // Enough rows for several table pages; then the last page is overwritten with noise.
  TempDir dir;
  fs::path db = dir.path() / "Manifest.db";
  MakeDatabase(db, (std::string("PRAGMA page_size=1024;") + kFilesTable +
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<400)"
                    " INSERT INTO Files SELECT printf('%040d', i), 'HomeDomain',"
                    " 'Library/file' || i, 1, NULL FROM n;")
                       .c_str());
  ManifestIndex whole;
  ASSERT_EQ(ReadManifestDb(db, whole), kOk);
  ASSERT_EQ(whole.size(), 400u);
  {
    std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(-1024, std::ios::end);
    std::string noise(1024, '\xA5');
    f.write(noise.data(), static_cast<std::streamsize>(noise.size()));
  }
  ManifestIndex index;
  EXPECT_EQ(ReadManifestDb(db, index), kSqlFailed);
  EXPECT_GT(index.size(), 0u);
  EXPECT_LT(index.size(), 400u);
  for (size_t i = 0; i < index.size(); ++i) EXPECT_EQ(index[i].key, whole[i].key);
}

TEST(ChooseManifestTest, LayoutSelection) {
  struct Case {
    const char* label;
    std::vector<const char*> files;
    int result;
    const char* chosen;
    bool isManifestDb;
    bool twoLevel;
  };
  const Case cases[] = {
      {"mbdb only", {"Manifest.mbdb"}, kOk, "Manifest.mbdb", false, false},
      {"db only", {"Manifest.db"}, kOk, "Manifest.db", true, true},
      {"both", {"Manifest.db", "Manifest.mbdb"}, kOk, "Manifest.db", true, true},
      {"db and its decrypted copy",
       {"Manifest.db", "Manifest.db-decypted"},
       kOk,
       "Manifest.db-decypted",
       true,
       true},
      {"decrypted copy without db",
       {"Manifest.db-decypted", "Manifest.mbdb"},
       kOk,
       "Manifest.mbdb",
       false,
       false},
      {"neither", {"Info.plist"}, kInvalidParameter, "Manifest.mbdb", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    for (const char* name : c.files) WriteFile(dir.path() / name, "x");
    ManifestChoice choice;
    EXPECT_EQ(ChooseManifest(dir.path(), choice), c.result);
    EXPECT_EQ(choice.file, dir.path() / c.chosen);
    EXPECT_EQ(choice.isManifestDb, c.isManifestDb);
    EXPECT_EQ(choice.twoLevel, c.twoLevel);
  }
}

TEST(BackupLayoutTest, PathOfId) {
  const std::string id = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
  struct Case {
    const char* label;
    bool encrypted;
    bool twoLevel;
    std::string id;
    std::string expected;  // relative to the folder; empty: no path
  };
  const Case cases[] = {
      {"flat", false, false, id, id},
      {"two-level", false, true, id, "3d/" + id},
      {"decrypted copy is flat", true, true, id, id},
      {"encrypted flat", true, false, id, id},
      {"empty id", false, true, "", ""},
      {"dot", false, false, ".", ""},
      {"dot dot", false, false, "..", ""},
      {"slash", false, false, "../etc/passwd", ""},
      {"nul byte", false, false, std::string("ab\0cd", 5), ""},
      {"two-level parent prefix", false, true, "..abc", ""},
      {"flat dot prefix is a plain name", false, false, "..abc", "..abc"},
      {"short id", false, true, "a", "a/a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    BackupLayout layout{"/backups/x", c.encrypted, c.twoLevel};
    fs::path path = FilePathOfId(layout, c.id);
    EXPECT_EQ(path, c.expected.empty() ? fs::path() : fs::path("/backups/x") / c.expected);
  }
  EXPECT_EQ(FilePathOfId(BackupLayout{}, id), fs::path());
}

// Both readers over builder backups: the index is exactly what the builder wrote, and every
// file the builder left in the folder is found at the path of its id.
TEST(ManifestContractTest, BothReadersOverBuilderBackups) {
  for (int generation : {9, 12}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    sample::SampleOptions options;
    ASSERT_TRUE(sample::PresetOptions("tiny", options));
    options.generation = generation;
    sample::SampleReport report;
    ASSERT_EQ(sample::WriteSampleBackup(dir.path() / "b", options, report), 0) << report.error;

    ManifestChoice choice;
    ASSERT_EQ(ChooseManifest(dir.path() / "b", choice), kOk);
    EXPECT_EQ(choice.twoLevel, report.two_level);
    ManifestIndex index;
    ASSERT_EQ(ReadManifest(choice, index), kOk);
    EXPECT_EQ(static_cast<int>(index.size()), report.manifest_entries);

    const std::set<std::string> missing(report.missing_keys.begin(), report.missing_keys.end());
    BackupLayout layout{dir.path() / "b", false, choice.twoLevel};
    FileIdHasher hasher;
    int found = 0;
    for (const ManifestEntry& entry : index) {
      if (generation == 9) {
        EXPECT_EQ(entry.fileId, hasher.IdOfKey(entry.key));
      }
      std::error_code ec;
      bool on_disk = fs::is_regular_file(FilePathOfId(layout, entry.fileId), ec);
      if (missing.count(entry.key) != 0) {
        EXPECT_FALSE(on_disk) << entry.key;
      }
      if (on_disk) ++found;
    }
    EXPECT_GT(found, 0);
    for (const std::string& key : report.camera_roll_keys) {
      EXPECT_TRUE(std::any_of(index.begin(), index.end(), [&](const ManifestEntry& e) {
        return e.key == key;
      })) << key;
    }
  }
}

TEST(ManifestFixtureTest, RealIos14ManifestDb) {
  fs::path folder = fs::path(SALVORA_FIXTURES_DIR) / "ios14-backup-partial";
  if (!fs::exists(folder / "Manifest.db")) GTEST_SKIP() << "fixture folder absent: " << folder;
  ManifestChoice choice;
  ASSERT_EQ(ChooseManifest(folder, choice), kOk);
  EXPECT_TRUE(choice.isManifestDb);
  EXPECT_TRUE(choice.twoLevel);
  ManifestIndex index;
  ASSERT_EQ(ReadManifest(choice, index), kOk);
  EXPECT_EQ(index.size(), 3721u);

  // The hashed files present lie at the two-level paths of their ids.
  BackupLayout layout{folder, false, true};
  int present = 0;
  bool sms_found = false;
  for (const ManifestEntry& entry : index) {
    std::error_code ec;
    if (fs::is_regular_file(FilePathOfId(layout, entry.fileId), ec)) ++present;
    if (entry.key == "HomeDomain-Library/SMS/sms.db") {
      sms_found = true;
      EXPECT_EQ(entry.fileId, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    }
  }
  EXPECT_EQ(present, 10);  // the eleventh hashed file in the folder has no row
  EXPECT_TRUE(sms_found);
}

}  // namespace
}  // namespace salvora

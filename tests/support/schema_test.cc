// The databases the builder writes have the columns (names, declared types, order) of real
// phone files of the same generation, for every table the readers use. References are the
// real files in the fixtures folder where one exists, else the CREATE TABLE texts dumped from
// real files (SCHEMAS.md and the per-database dumps beside it).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/sample_backup.h"

namespace salvora::sample {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = SALVORA_FIXTURES_DIR;

struct Db {
  sqlite3* db = nullptr;
  ~Db() {
    if (db != nullptr) sqlite3_close(db);
  }
};

// "name type" per column, in table order; empty when the table does not exist.
std::vector<std::string> Columns(sqlite3* db, const std::string& table) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  std::string sql = "PRAGMA table_info('" + table + "');";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    const char* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
    out.push_back(std::string(name ? name : "") + " " + (type ? type : ""));
  }
  sqlite3_finalize(st);
  return out;
}

bool OpenReadOnly(const fs::path& path, Db& db) {
  std::string uri = "file:" + path.string() + "?mode=ro&immutable=1";
  return sqlite3_open_v2(uri.c_str(), &db.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
         SQLITE_OK;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Loads CREATE TABLE statements into an in-memory database; virtual tables are skipped
// (their tokenizer exists only on the phone).
bool LoadStatements(const std::string& sql, Db& db) {
  if (sqlite3_open(":memory:", &db.db) != SQLITE_OK) return false;
  size_t pos = 0;
  while (pos < sql.size()) {
    size_t end = sql.find(";\n", pos);
    if (end == std::string::npos) end = sql.size();
    std::string statement = sql.substr(pos, end - pos);
    pos = end + 1;
    if (statement.find("CREATE TABLE") == std::string::npos) continue;
    if (statement.find("VIRTUAL") != std::string::npos) continue;
    statement = statement.substr(statement.find("CREATE TABLE"));
    if (sqlite3_exec(db.db, statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "reference statement fails: " << statement.substr(0, 80);
    }
  }
  return true;
}

// The ```sql block under the heading "### <heading>" of SCHEMAS.md.
std::string SchemaBlock(const std::string& heading) {
  std::string md = ReadText(kFixtures / "schemas" / "SCHEMAS.md");
  size_t at = md.find("### " + heading + "\n");
  if (at == std::string::npos) return {};
  size_t start = md.find("```sql", at);
  size_t end = md.find("```", start + 6);
  if (start == std::string::npos || end == std::string::npos) return {};
  return md.substr(start + 6, end - start - 6);
}

enum class Ref { kFile, kSchemasMd, kDump };

struct Case {
  const char* domain;
  const char* path;
  int generation;
  Ref ref;
  const char* reference;  // fixture file, SCHEMAS.md heading, or dump file under schemas/
  const char* tables;     // blank-separated
};

constexpr const char* kSmsTables =
    "message handle chat chat_message_join attachment message_attachment_join";
constexpr const char* kAbTables = "ABPerson ABMultiValue ABPersonFullTextSearch_content";
constexpr const char* kWaTables = "ZWACHATSESSION ZWAGROUPMEMBER ZWAMESSAGE ZWAMEDIAITEM";

constexpr Case kCases[] = {
    {"HomeDomain", "Library/SMS/sms.db", 7, Ref::kSchemasMd, "sms.db - iOS 7.1.2", kSmsTables},
    {"HomeDomain", "Library/SMS/sms.db", 9, Ref::kSchemasMd, "sms.db - iOS 9.3.6", kSmsTables},
    {"HomeDomain", "Library/SMS/sms.db", 12, Ref::kFile, "ios12-sms/sms.db", kSmsTables},
    {"HomeDomain", "Library/SMS/sms.db", 15, Ref::kFile,
     "ios14-backup-partial/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28", "message handle"},
    {"HomeDomain", "Library/SMS/sms.db", 15, Ref::kFile, "ios12-sms/sms.db",
     "chat chat_message_join attachment message_attachment_join"},
    {"HomeDomain", "Library/SMS/sms.db", 17, Ref::kFile,
     "ios14-backup-partial/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28", "message handle"},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 7, Ref::kSchemasMd,
     "AddressBook.sqlitedb - iOS 7.1.2", kAbTables},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 9, Ref::kSchemasMd,
     "AddressBook.sqlitedb - iOS 9.3.6", kAbTables},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 12, Ref::kFile,
     "ios15-josh/AddressBook.sqlitedb", kAbTables},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 15, Ref::kFile,
     "ios15-josh/AddressBook.sqlitedb", kAbTables},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", 17, Ref::kSchemasMd,
     "AddressBook.sqlitedb - iOS 16.3", kAbTables},
    {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", 9, Ref::kSchemasMd,
     "CallHistory.storedata - iOS 9.3.6", "ZCALLRECORD"},
    {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", 12, Ref::kDump,
     "calls/calls_11.2.sql", "ZCALLRECORD"},
    {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", 15, Ref::kSchemasMd,
     "CallHistory.storedata - iOS 17.x (inferred)", "ZCALLRECORD"},
    {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", 17, Ref::kSchemasMd,
     "CallHistory.storedata - iOS 17.x (inferred)", "ZCALLRECORD"},
    {"WirelessDomain", "Library/CallHistory/call_history.db", 7, Ref::kSchemasMd,
     "call_history.db - iOS 7.1.2", "call"},
    {"WirelessDomain", "Library/CallHistory/call_history.db", 9, Ref::kSchemasMd,
     "call_history.db - iOS 9.3.6", "call"},
    {"HomeDomain", "Library/Notes/notes.sqlite", 7, Ref::kSchemasMd, "notes.sqlite - iOS 7.1.2",
     "ZNOTE ZNOTEBODY"},
    {"HomeDomain", "Library/Notes/notes.sqlite", 9, Ref::kSchemasMd, "notes.sqlite - iOS 9.3.6",
     "ZNOTE ZNOTEBODY"},
    {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", 9, Ref::kSchemasMd,
     "NoteStore.sqlite - iOS 9.3.6", "ZICCLOUDSYNCINGOBJECT ZICNOTEDATA"},
    {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", 12, Ref::kDump,
     "notes/notes_11.2.sql", "ZICCLOUDSYNCINGOBJECT ZICNOTEDATA"},
    {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", 15, Ref::kFile,
     "ios15-notes/NoteStore.sqlite", "ZICCLOUDSYNCINGOBJECT ZICNOTEDATA"},
    {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", 17, Ref::kSchemasMd,
     "NoteStore.sqlite - iOS 17.3", "ZICCLOUDSYNCINGOBJECT ZICNOTEDATA"},
    {"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite", 9, Ref::kFile,
     "ios15-josh/ChatStorage.sqlite", kWaTables},
    {"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite", 15, Ref::kFile,
     "ios15-josh/ChatStorage.sqlite", kWaTables},
};

class SchemaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new fs::path(fs::temp_directory_path() /
                         ("salvora-schema-test-" + std::to_string(::getpid())));
    fs::remove_all(*root_);
    for (int generation : kGenerations) {
      SampleOptions options;
      ASSERT_TRUE(PresetOptions("tiny", options));
      options.generation = generation;
      SampleReport report;
      ASSERT_EQ(WriteSampleBackup(Folder(generation), options, report), 0) << report.error;
    }
  }
  static void TearDownTestSuite() {
    fs::remove_all(*root_);
    delete root_;
  }
  static fs::path Folder(int generation) { return *root_ / std::to_string(generation); }
  static fs::path* root_;
};
fs::path* SchemaTest::root_ = nullptr;

TEST_F(SchemaTest, TablesMatchRealFilesOfTheSameGeneration) {
  if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no fixtures folder at " << kFixtures;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.path) + " iOS " + std::to_string(c.generation) + " vs " +
                 c.reference);
    Db ref;
    switch (c.ref) {
      case Ref::kFile:
        ASSERT_TRUE(OpenReadOnly(kFixtures / c.reference, ref));
        break;
      case Ref::kSchemasMd: {
        std::string block = SchemaBlock(c.reference);
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(LoadStatements(block, ref));
        break;
      }
      case Ref::kDump:
        ASSERT_TRUE(LoadStatements(ReadText(kFixtures / "schemas" / c.reference), ref));
        break;
    }
    const bool two_level = c.generation >= 10;
    Db built;
    ASSERT_TRUE(
        OpenReadOnly(HashedPath(Folder(c.generation), FileId(c.domain, c.path), two_level), built));
    std::istringstream tables(c.tables);
    for (std::string table; tables >> table;) {
      SCOPED_TRACE(table);
      std::vector<std::string> want = Columns(ref.db, table);
      ASSERT_FALSE(want.empty()) << "reference lacks the table";
      EXPECT_EQ(Columns(built.db, table), want);
    }
  }
}

TEST_F(SchemaTest, ManifestDbMatchesARealManifest) {
  const fs::path real = kFixtures / "ios14-backup-partial" / "Manifest.db";
  if (!fs::exists(real)) GTEST_SKIP() << "no fixture " << real;
  Db ref;
  ASSERT_TRUE(OpenReadOnly(real, ref));
  for (int generation : {12, 15, 17}) {
    Db built;
    ASSERT_TRUE(OpenReadOnly(Folder(generation) / "Manifest.db", built));
    for (const char* table : {"Files", "Properties"}) {
      SCOPED_TRACE(table);
      EXPECT_EQ(Columns(built.db, table), Columns(ref.db, table));
    }
  }
}

}  // namespace
}  // namespace salvora::sample

// The builder's backups: layout per generation, manifests that describe the files on disk,
// property lists, determinism, and a report that agrees with the written databases when the
// report's rules are run as SQL.
#include "support/sample_backup.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/sample_media.h"

namespace salvora::sample {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempDir {
 public:
  TempDir() {
    static int n = 0;
    path_ = fs::temp_directory_path() /
            ("salvora-support-test-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
    fs::remove_all(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs `sql` (one integer result) on a database, read-only.
int64_t QueryInt(const fs::path& db_path, const char* sql) {
  sqlite3* db = nullptr;
  std::string uri = "file:" + db_path.string() + "?mode=ro&immutable=1";
  int64_t value = -1;
  if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      value = sqlite3_column_int64(st, 0);
    } else {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return value;
}

SampleReport Build(const fs::path& folder, SampleOptions options) {
  SampleReport report;
  EXPECT_EQ(WriteSampleBackup(folder, options, report), 0) << report.error;
  return report;
}

SampleOptions Tiny(int generation) {
  SampleOptions o;
  EXPECT_TRUE(PresetOptions("tiny", o));
  o.generation = generation;
  return o;
}

fs::path DbPath(const SampleReport& r, const char* domain, const char* path) {
  return HashedPath(r.folder, FileId(domain, path), r.two_level);
}

// A small independent reader of Manifest.mbdb: (domain, path, mode) per record.
struct MbdbRecord {
  std::string domain, path;
  uint16_t mode = 0;
};
bool ReadMbdb(const std::string& bytes, std::vector<MbdbRecord>& out) {
  if (bytes.compare(0, 4, "mbdb") != 0) return false;
  size_t at = 6;
  auto need = [&](size_t n) { return at + n <= bytes.size(); };
  auto u16 = [&]() {
    uint16_t v = static_cast<uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                       static_cast<unsigned char>(bytes[at + 1]));
    at += 2;
    return v;
  };
  auto str = [&](std::string* s) {
    if (!need(2)) return false;
    uint16_t n = u16();
    if (n == 0xFFFF) return true;
    if (!need(n)) return false;
    if (s != nullptr) s->assign(bytes, at, n);
    at += n;
    return true;
  };
  while (at < bytes.size()) {
    MbdbRecord r;
    if (!str(&r.domain) || !str(&r.path) || !str(nullptr) || !str(nullptr) || !str(nullptr)) {
      return false;
    }
    if (!need(2 + 8 + 4 * 5 + 8 + 2)) return false;
    r.mode = u16();
    at += 8 + 4 * 5 + 8 + 1;
    int properties = static_cast<unsigned char>(bytes[at++]);
    for (int i = 0; i < properties * 2; ++i) {
      if (!str(nullptr)) return false;
    }
    out.push_back(r);
  }
  return true;
}

TEST(FileIdTest, FixedDatabaseIds) {
  constexpr struct {
    const char* domain;
    const char* path;
    const char* id;
  } kIds[] = {
      {"HomeDomain", "Library/SMS/sms.db", "3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
      {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
       "31bb7ba8914766d4ba40d6dfb6113c8b614be442"},
      {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
       "5a4935c78a5255723f707230a451d79c540d2741"},
      {"WirelessDomain", "Library/CallHistory/call_history.db",
       "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca"},
      {"HomeDomain", "Library/Notes/notes.sqlite", "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c"},
      {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
       "4f98687d8ab0d6d1a371110e6b7300f6e465bef2"},
  };
  for (const auto& c : kIds) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FileId(c.domain, c.path), c.id);
  }
  EXPECT_EQ(HashedPath("/b", "3d0d7e", true), fs::path("/b/3d/3d0d7e"));
  EXPECT_EQ(HashedPath("/b", "3d0d7e", false), fs::path("/b/3d0d7e"));
}

TEST(SampleBackupTest, ManifestDescribesTheFilesOnDiskInEveryGeneration) {
  for (int generation : kGenerations) {
    SCOPED_TRACE("iOS " + std::to_string(generation));
    TempDir dir;
    SampleReport r = Build(dir.path() / "b", Tiny(generation));
    const bool modern = generation >= 12;
    EXPECT_EQ(r.two_level, modern);
    EXPECT_EQ(fs::exists(r.folder / "Manifest.db"), modern);
    EXPECT_EQ(fs::exists(r.folder / "Manifest.mbdb"), !modern);

    // (domain, path, is file) of every manifest row, read back from the manifest itself.
    std::vector<MbdbRecord> rows;
    if (modern) {
      sqlite3* db = nullptr;
      std::string uri = "file:" + (r.folder / "Manifest.db").string() + "?mode=ro&immutable=1";
      ASSERT_EQ(sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr),
                SQLITE_OK);
      sqlite3_stmt* st = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(db, "select fileID, domain, relativePath, flags from Files", -1,
                                   &st, nullptr),
                SQLITE_OK);
      while (sqlite3_step(st) == SQLITE_ROW) {
        MbdbRecord rec;
        rec.domain = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        rec.path = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        rec.mode = sqlite3_column_int(st, 3) == 1 ? 0100644 : 040755;
        EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                  FileId(rec.domain, rec.path));
        rows.push_back(rec);
      }
      sqlite3_finalize(st);
      sqlite3_close(db);
    } else {
      ASSERT_TRUE(ReadMbdb(ReadFile(r.folder / "Manifest.mbdb"), rows));
    }
    ASSERT_EQ(static_cast<int>(rows.size()), r.manifest_rows);
    std::set<std::string> missing(r.missing_keys.begin(), r.missing_keys.end());
    EXPECT_FALSE(missing.empty());
    int entries = 0, files = 0;
    for (const MbdbRecord& rec : rows) {
      const bool is_dir = (rec.mode & 0xE000) == 0x4000;
      if (modern || (!rec.domain.empty() && !rec.path.empty() && !is_dir)) ++entries;
      if ((rec.mode & 0xE000) != 0x8000) continue;
      ++files;
      const std::string key = rec.domain + "-" + rec.path;
      EXPECT_EQ(fs::exists(HashedPath(r.folder, FileId(rec.domain, rec.path), modern)),
                missing.count(key) == 0)
          << key;
    }
    EXPECT_EQ(entries, r.manifest_entries);
    // Nothing but the manifest, the property lists and hashed files (or their sub-folders).
    int on_disk = 0;
    for (const auto& e : fs::recursive_directory_iterator(r.folder)) {
      if (e.is_regular_file()) ++on_disk;
    }
    EXPECT_EQ(on_disk, files - static_cast<int>(missing.size()) + 4);
  }
}

TEST(SampleBackupTest, ArchivedFileBlobsDescribeTheirRows) {
  TempDir dir;
  SampleReport r = Build(dir.path() / "b", Tiny(15));
  sqlite3* db = nullptr;
  std::string uri = "file:" + (r.folder / "Manifest.db").string() + "?mode=ro&immutable=1";
  ASSERT_EQ(sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr),
            SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "select fileID, relativePath, flags, file from Files", -1, &st,
                               nullptr),
            SQLITE_OK);
  std::set<int> kinds;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const std::string id = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    const std::string path = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    const int flags = sqlite3_column_int(st, 2);
    kinds.insert(flags);
    SCOPED_TRACE(path);
    plist_t root = nullptr;
    plist_from_bin(static_cast<const char*>(sqlite3_column_blob(st, 3)),
                   static_cast<uint32_t>(sqlite3_column_bytes(st, 3)), &root);
    ASSERT_NE(root, nullptr);
    char* archiver = nullptr;
    plist_get_string_val(plist_dict_get_item(root, "$archiver"), &archiver);
    EXPECT_STREQ(archiver, "NSKeyedArchiver");
    free(archiver);
    plist_t objects = plist_dict_get_item(root, "$objects");
    plist_t file = plist_array_get_item(objects, 1);
    uint64_t uid = 0, mode = 0, size = 0;
    plist_get_uid_val(plist_dict_get_item(file, "RelativePath"), &uid);
    char* rel = nullptr;
    plist_get_string_val(plist_array_get_item(objects, static_cast<uint32_t>(uid)), &rel);
    EXPECT_EQ(std::string(rel ? rel : ""), path);
    free(rel);
    plist_get_uint_val(plist_dict_get_item(file, "Mode"), &mode);
    EXPECT_EQ(mode & 0xF000, flags == 1 ? 0x8000u : flags == 2 ? 0x4000u : 0xA000u);
    plist_get_uint_val(plist_dict_get_item(file, "Size"), &size);
    const fs::path on_disk = HashedPath(r.folder, id, true);
    if (flags == 1 && fs::exists(on_disk)) {
      EXPECT_EQ(size, fs::file_size(on_disk));
    }
    EXPECT_EQ(flags == 4, plist_dict_get_item(file, "Target") != nullptr);
    plist_free(root);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_EQ(kinds, (std::set<int>{1, 2, 4}));
}

TEST(SampleBackupTest, PropertyLists) {
  TempDir dir;
  SampleOptions o = Tiny(9);
  SampleReport xml = Build(dir.path() / "xml", o);
  o.binary_plists = true;
  o.encrypted = true;
  SampleReport bin = Build(dir.path() / "bin", o);

  // The XML form puts each value on the line after its key, as the sync software does.
  std::istringstream lines(ReadFile(xml.folder / "Info.plist"));
  std::map<std::string, std::string> next_line;
  std::string previous;
  for (std::string line; std::getline(lines, line); previous = line) next_line[previous] = line;
  EXPECT_EQ(next_line["\t<key>Display Name</key>"], "\t<string>Zoë’s iPhone</string>");
  EXPECT_EQ(next_line["\t<key>Product Version</key>"], "\t<string>9.3.6</string>");
  EXPECT_EQ(next_line["\t<key>Last Backup Date</key>"], "\t<date>2023-11-14T22:13:20Z</date>");

  for (const char* name : {"Info.plist", "Manifest.plist", "Status.plist"}) {
    EXPECT_EQ(ReadFile(bin.folder / name).substr(0, 8), "bplist00") << name;
  }
  auto encrypted = [](const fs::path& folder) {
    std::string bytes = ReadFile(folder / "Manifest.plist");
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    uint8_t value = 2;
    if (root != nullptr) plist_get_bool_val(plist_dict_get_item(root, "IsEncrypted"), &value);
    plist_free(root);
    return value;
  };
  EXPECT_EQ(encrypted(xml.folder), 0);
  EXPECT_EQ(encrypted(bin.folder), 1);
  // The content stays plain: the address book still starts with the SQLite signature.
  EXPECT_EQ(
      ReadFile(DbPath(bin, "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")).substr(0, 6),
      "SQLite");
}

// Every file of the folder, by relative path, with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) out[fs::relative(e.path(), folder).string()] = ReadFile(e.path());
  }
  return out;
}

TEST(SampleBackupTest, SameSeedSameBytes) {
  for (int generation : {9, 15}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    SampleOptions o;
    ASSERT_TRUE(PresetOptions("small", o));
    o.generation = generation;
    Build(dir.path() / "a", o);
    Build(dir.path() / "b", o);
    o.seed = 2;
    SampleReport other = Build(dir.path() / "c", o);
    auto a = Snapshot(dir.path() / "a");
    EXPECT_TRUE(a == Snapshot(dir.path() / "b"));
    const std::string sms =
        fs::relative(DbPath(other, "HomeDomain", "Library/SMS/sms.db"), other.folder).string();
    EXPECT_NE(a.at(sms), Snapshot(dir.path() / "c").at(sms));
  }
}

// The report's database rules, run as SQL over what was written.
TEST(SampleBackupTest, ReportAgreesWithTheDatabases) {
  for (int generation : kGenerations) {
    SCOPED_TRACE("iOS " + std::to_string(generation));
    TempDir dir;
    SampleOptions o;
    ASSERT_TRUE(PresetOptions("small", o));
    o.generation = generation;
    SampleReport r = Build(dir.path() / "b", o);
    EXPECT_EQ(QueryInt(DbPath(r, "HomeDomain", "Library/SMS/sms.db"),
                       "SELECT count(*) FROM chat_message_join INNER JOIN message ON message.rowid "
                       "= chat_message_join.message_id INNER JOIN handle ON handle.rowid = "
                       "message.handle_id WHERE message.text <> ''"),
              r.messages);
    EXPECT_EQ(QueryInt(DbPath(r, "HomeDomain", "Library/SMS/sms.db"),
                       "SELECT count(DISTINCT message.handle_id) FROM chat_message_join INNER JOIN "
                       "message ON message.rowid = chat_message_join.message_id INNER JOIN handle "
                       "ON handle.rowid = message.handle_id WHERE message.text <> ''"),
              r.message_conversations);
    const char* phone_sql =
        generation <= 9
            ? "SELECT count(*) FROM ABPersonFullTextSearch_content WHERE c15Phone <> ''"
            : "SELECT count(*) FROM ABPersonFullTextSearch_content WHERE c16Phone <> ''";
    EXPECT_EQ(
        QueryInt(DbPath(r, "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"), phone_sql),
        r.contacts);
    if (generation == 7) {
      EXPECT_FALSE(
          fs::exists(DbPath(r, "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata")));
      EXPECT_EQ(r.calls, 0);
    } else {
      EXPECT_EQ(QueryInt(DbPath(r, "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"),
                         "SELECT count(*) FROM ZCALLRECORD WHERE ZADDRESS <> ''"),
                r.calls);
    }
    if (generation <= 9) {
      EXPECT_EQ(QueryInt(DbPath(r, "HomeDomain", "Library/Notes/notes.sqlite"),
                         "SELECT count(*) FROM ZNOTE LEFT JOIN ZNOTEBODY ON ZBODY = ZNOTEBODY.Z_PK "
                         "WHERE ZTITLE <> '' OR ZCONTENT <> ''"),
                r.notes);
    } else {
      EXPECT_EQ(QueryInt(DbPath(r, "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"),
                         "SELECT count(*) FROM ZICCLOUDSYNCINGOBJECT WHERE ZTITLE1 <> '' OR "
                         "ZSNIPPET <> ''"),
                r.notes);
    }
    const fs::path wa =
        DbPath(r, "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite");
    const char* wa_rule =
        "FROM ZWAMESSAGE m WHERE m.ZCHATSESSION <> 0 AND (m.ZTEXT <> '' OR (SELECT ZTITLE FROM "
        "ZWAMEDIAITEM WHERE ZMESSAGE = m.Z_PK ORDER BY Z_PK LIMIT 1) <> '')";
    EXPECT_EQ(QueryInt(wa, (std::string("SELECT count(*) ") + wa_rule).c_str()),
              r.whatsapp_messages);
    EXPECT_EQ(
        QueryInt(wa, (std::string("SELECT count(DISTINCT m.ZCHATSESSION) ") + wa_rule).c_str()),
        r.whatsapp_chats);
    EXPECT_GT(r.messages, 0);
    EXPECT_GT(r.contacts, 0);
    EXPECT_GT(r.notes, 0);
    EXPECT_GT(r.whatsapp_messages, 0);
  }
}

// The files the report counts are on disk with a picture, video or sound signature; the
// edge-case files that must not count (0 bytes, missing) are not among them.
TEST(SampleBackupTest, ReportedFilesArePresentAndTyped) {
  TempDir dir;
  SampleReport r = Build(dir.path() / "b", Tiny(17));
  auto typed = [](const std::string& b) {
    auto at = [&b](size_t i, const char* s) { return b.compare(i, std::strlen(s), s) == 0; };
    return at(0, "\xFF\xD8\xFF") || at(0, "\x89PNG") || at(0, "GIF8") || at(4, "ftyp") ||
           at(0, "ID3") || at(0, "RIFF");
  };
  for (const auto* keys : {&r.camera_roll_keys, &r.photo_stream_keys, &r.message_attachment_keys,
                           &r.whatsapp_attachment_keys, &r.app_file_keys}) {
    for (const std::string& key : *keys) {
      SCOPED_TRACE(key);
      size_t dash = key.find('-');
      // Domains with a dash in them are AppDomain-<bundle> and AppDomainGroup-<group>.
      if (key.rfind("AppDomain-", 0) == 0) dash = key.find('-', 10);
      const fs::path path =
          HashedPath(r.folder, FileId(key.substr(0, dash), key.substr(dash + 1)), true);
      ASSERT_TRUE(fs::exists(path));
      EXPECT_TRUE(typed(ReadFile(path)));
    }
  }
  EXPECT_EQ(r.camera_roll, static_cast<int>(r.camera_roll_keys.size()));
  EXPECT_EQ(r.app_files, r.app_photos + r.app_videos);
  auto has = [](const std::vector<std::string>& keys, const std::string& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  EXPECT_TRUE(has(r.camera_roll_keys, "CameraRollDomain-Media/DCIM/999APPLE/IMG_9001.PNG"));
  EXPECT_FALSE(has(r.camera_roll_keys, "CameraRollDomain-Media/DCIM/999APPLE/IMG_9006.JPG"));
  EXPECT_TRUE(has(r.missing_keys, "CameraRollDomain-Media/DCIM/999APPLE/IMG_9007.JPG"));
  EXPECT_FALSE(has(r.camera_roll_keys, "CameraRollDomain-Media/DCIM/999APPLE/IMG_9007.JPG"));
  EXPECT_FALSE(has(r.app_file_keys, "AppDomain-com.example.photoeditor-Documents/empty.png"));
}

TEST(SampleBackupTest, RefusesBadOptionsAndUsedFolders) {
  TempDir dir;
  SampleReport r;
  SampleOptions o = Tiny(15);
  o.generation = 10;
  EXPECT_EQ(WriteSampleBackup(dir.path() / "a", o, r), 87);
  o = Tiny(15);
  o.messages = -1;
  EXPECT_EQ(WriteSampleBackup(dir.path() / "a", o, r), 87);
  fs::create_directories(dir.path() / "used");
  std::ofstream(dir.path() / "used" / "keep.txt") << "the user's file";
  EXPECT_EQ(WriteSampleBackup(dir.path() / "used", Tiny(15), r), 87);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(ReadFile(dir.path() / "used" / "keep.txt"), "the user's file");
  EXPECT_FALSE(PresetOptions("huge", o));
}

TEST(SampleDatabasesTest, NullAndEmptyTextsAndDateUnits) {
  TempDir dir;
  fs::create_directories(dir.path());
  MessagesData data;
  data.handles = {{1, "+15550100001", "SMS"}};
  data.chats = {{1, "+15550100001", std::nullopt, false, {1}}};
  SmsMessage m;
  m.handle_id = 1;
  m.chat_rowids = {1};
  m.rowid = 1, m.text = std::nullopt, m.date = SmsDate(7, 1700000000);
  data.messages.push_back(m);
  m.rowid = 2, m.text = "", m.date = SmsDate(12, 1700000000);
  data.messages.push_back(m);
  for (int generation : {7, 12}) {
    SCOPED_TRACE(generation);
    const fs::path path = dir.path() / ("sms" + std::to_string(generation) + ".db");
    ASSERT_EQ(WriteMessagesDb(path, generation, data), 0);
    EXPECT_EQ(QueryInt(path, "SELECT count(*) FROM message WHERE rowid = 1 AND text IS NULL"), 1);
    EXPECT_EQ(QueryInt(path, "SELECT count(*) FROM message WHERE rowid = 2 AND text = ''"), 1);
    EXPECT_EQ(QueryInt(path, "SELECT date FROM message WHERE rowid = 1"), 1700000000 - 978307200);
    EXPECT_EQ(QueryInt(path, "SELECT date FROM message WHERE rowid = 2"),
              (1700000000LL - 978307200) * 1000000000);
    EXPECT_EQ(QueryInt(path, "SELECT count(*) FROM chat_message_join"), 2);
    // Written with the rollback journal and nothing left beside the file.
    EXPECT_EQ(ReadFile(path).substr(18, 2), std::string("\x01\x01", 2));
    EXPECT_FALSE(fs::exists(path.string() + "-journal"));
  }
}

TEST(SampleDatabasesTest, PhoneSpellings) {
  constexpr struct {
    const char* number;
    const char* text;
  } kCases[] = {
      {"+15550100001", "+15550100001 +1 (555) 010-0001 15550100001 5550100001"},
      {"+441632960001", "+441632960001 441632960001"},
      {"12345", "12345 +12345"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(PhoneSpellings(c.number), c.text);
  }
}

TEST(SampleMediaTest, SignaturesAndSizes) {
  constexpr struct {
    MediaKind kind;
    const char* start;
    size_t offset;
    bool short_file;
  } kCases[] = {
      {MediaKind::kJpeg, "\xFF\xD8\xFF\xE0", 0, false},
      {MediaKind::kJpegExif, "\xFF\xD8\xFF\xE1", 0, false},
      {MediaKind::kJpegDqt, "\xFF\xD8\xFF\xDB", 0, false},
      {MediaKind::kJpegTiny, "\xFF\xD8\xFF\xDB", 0, true},
      {MediaKind::kPng, "\x89PNG\r\n\x1A\n", 0, false},
      {MediaKind::kPngTiny, "\x89PNG\r\n\x1A\n", 0, true},
      {MediaKind::kGif, "GIF89a", 0, false},
      {MediaKind::kHeic, "ftypheic", 4, false},
      {MediaKind::kMov, "ftypqt  ", 4, false},
      {MediaKind::kMp4, "ftypisom", 4, false},
      {MediaKind::kMp3, "ID3", 0, false},
      {MediaKind::kWav, "RIFF", 0, false},
  };
  for (const auto& c : kCases) {
    const MediaFile& m = Media(c.kind);
    SCOPED_TRACE(m.extension);
    EXPECT_EQ(m.bytes.substr(c.offset, std::strlen(c.start)), c.start);
    EXPECT_EQ(m.bytes.size() < 512, c.short_file) << m.bytes.size();
  }
}

}  // namespace
}  // namespace salvora::sample

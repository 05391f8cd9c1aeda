// Whole runs of the decryptor on the cross-checked fixtures and on backups encrypted by the
// test helper: byte-for-byte output, the wrong password, damaged and hostile content.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "backup/file_id_hasher.h"
#include "backup_encryptor.h"
#include "decryptor/backup_decryptor.h"
#include "test_util.h"

namespace salvora::testing {
namespace {

using decryptor::BackupDecryptor;

struct RunResult {
  int rc = -1;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  std::fclose(f);
  return s;
}

RunResult RunTool(const fs::path& backup, const fs::path& output, const std::string& password,
                  BackupDecryptor::Options options = {}) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  BackupDecryptor decryptor(out, err, options);
  RunResult r;
  r.rc = decryptor.Run(backup, output, password);
  r.out = Drain(out);
  r.err = Drain(err);
  return r;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename());
  return names;
}

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return "";
  size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1,
                     end - (start == std::string::npos ? 0 : start + 1) + 1);
}

class FixtureRunTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureRunTest, DecryptsByteForByteAndWritesOnlyTheManifestIntoTheBackup) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const std::string kind = GetParam();
  const JsonValue* b = BackupVectors(*vectors, kind);
  ASSERT_NE(b, nullptr);
  TempDir dir;
  fs::path backup = CopyFixtureBackup(*b, dir.path());
  std::set<std::string> before = Names(backup);

  RunResult r = RunTool(backup, dir.path() / "out put", (*b)["password"].str());
  ASSERT_EQ(r.rc, decryptor::kExitDone) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(LastLine(r.out), "Count: 4");

  const fs::path expected = EncryptedFixtures() / "expected" / kind;
  std::set<std::string> ids;
  for (const JsonValue& f : (*b)["files"].items()) {
    SCOPED_TRACE(f["relativePath"].str());
    ids.insert(f["fileID"].str());
    EXPECT_EQ(ReadFileBytes(dir.path() / "out put" / f["fileID"].str()),
              ReadFileBytes(expected / f["domain"].str() / f["relativePath"].str()));
  }
  EXPECT_EQ(Names(dir.path() / "out put"), ids);

  std::set<std::string> after = Names(backup);
  if (kind == "modern") {
    EXPECT_EQ(ReadFileBytes(backup / "Manifest.db-decypted"),
              ReadFileBytes(expected / "Manifest.db.plain"));
    before.insert("Manifest.db-decypted");
  }
  EXPECT_EQ(after, before);
}

TEST_P(FixtureRunTest, WrongPasswordSaysSoAndWritesNothing) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, GetParam());
  ASSERT_NE(b, nullptr);
  TempDir dir;
  fs::path backup = CopyFixtureBackup(*b, dir.path());
  std::set<std::string> before = Names(backup);
  RunResult r = RunTool(backup, dir.path() / "out", (*vectors)["wrong_password"].str());
  EXPECT_EQ(r.rc, decryptor::kExitWrongPassword);
  EXPECT_EQ(r.out, "Wrong password\n");
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
  EXPECT_EQ(Names(backup), before);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRunTest, ::testing::Values("modern", "legacy"));

TEST(DecryptorRunTest, DamagedFilesAreSkippedAndNamedWhileTheRestGoesOn) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, "modern");
  ASSERT_NE(b, nullptr);
  TempDir dir;
  fs::path backup = CopyFixtureBackup(*b, dir.path());
  const std::string sms = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
  const std::string jpg = "343e26971dfe9c395c425c0ccf799df63ae6261e";
  const std::string note = "63feae7eeeb9eee272261b721ba1147a11deb561";
  const std::string m4a = "0dd1664a5fc6367aad81810c4032a7fa04a6520a";
  fs::remove(backup / "34" / jpg);  // missing
  std::string cut = ReadFileBytes(backup / "63" / note);
  WriteFileBytes(backup / "63" / note, cut.substr(0, cut.size() - 5));  // not whole blocks
  std::string flipped = ReadFileBytes(backup / "3d" / sms);
  flipped.back() ^= 0x5A;  // the padding block decrypts to garbage
  WriteFileBytes(backup / "3d" / sms, flipped);

  RunResult r = RunTool(backup, dir.path() / "out", (*b)["password"].str());
  ASSERT_EQ(r.rc, decryptor::kExitDone);
  EXPECT_EQ(LastLine(r.out), "Count: 4");
  EXPECT_EQ(Names(dir.path() / "out"), std::set<std::string>{m4a});
  for (const std::string& id : {sms, jpg, note}) {
    EXPECT_NE(r.err.find("Skipped " + id), std::string::npos) << r.err;
  }

  // Past the limit, failures are only counted.
  BackupDecryptor::Options few;
  few.maxNamedFiles = 1;
  RunResult limited = RunTool(backup, dir.path() / "out2", (*b)["password"].str(), few);
  EXPECT_EQ(limited.err.find("Skipped"), limited.err.rfind("Skipped")) << limited.err;
  EXPECT_NE(limited.err.find("\n2 more files"), std::string::npos) << limited.err;
}

// The iOS 9 manifest of the fixture, with the recorded size of sms.db made stale as real
// backups show it (118,784 recorded for a file that decrypts to 20,480).
TEST(DecryptorRunTest, LegacyTrustsTheDecryptedLengthOverAStaleSize) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, "legacy");
  ASSERT_NE(b, nullptr);
  TempDir dir;
  fs::path backup = CopyFixtureBackup(*b, dir.path());
  std::string mbdb = ReadFileBytes(backup / "Manifest.mbdb");
  const std::string path = "Library/SMS/sms.db";
  size_t at = mbdb.find(path);
  ASSERT_NE(at, std::string::npos);
  // After the path: link and hash (absent, 2 bytes each), the key (2 + 44), mode 2, inode 8,
  // user 4, group 4, three times 4 each; then the 8-byte size.
  size_t size_at = at + path.size() + 2 + 2 + 2 + 44 + 2 + 8 + 4 + 4 + 12;
  ASSERT_EQ(mbdb.substr(size_at, 8), std::string("\0\0\0\0\0\0\x50\x00", 8));  // 20480
  mbdb.replace(size_at, 8, std::string("\0\0\0\0\0\x01\xD0\x00", 8));          // 118784
  WriteFileBytes(backup / "Manifest.mbdb", mbdb);

  RunResult r = RunTool(backup, dir.path() / "out", (*b)["password"].str());
  ASSERT_EQ(r.rc, decryptor::kExitDone) << r.err;
  EXPECT_EQ(ReadFileBytes(dir.path() / "out/3d0d7e5fb2ce288813306e4d4636395e047a3d28"),
            ReadFileBytes(EncryptedFixtures() / "expected/legacy/HomeDomain" / path));
}

std::vector<PlainFile> SampleFiles() {
  return {
      {"HomeDomain", "Library/SMS/sms.db", std::string(4096, 'S')},  // whole blocks
      {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.JPG", "\xFF\xD8\xFF\xE0 tiny jpeg"},
      {"MediaDomain", "Media/Recordings/a b c.m4a", std::string(300001, 'm')},
      {"HomeDomain", "Library/empty.txt", ""},
  };
}

TEST(DecryptorRunTest, BackupsOfTheTestHelperDecryptToTheirPlainFiles) {
  struct Case {
    const char* what;
    EncryptOptions options;
  };
  const std::vector<Case> cases = {
      {"iOS 10.2 keybag, padded manifest", {"pass word", 10, 100, 3, 3, true}},
      {"older keybag, unpadded manifest", {"", 5, 0, 4, 1, false}},
      {"other classes", {"ü", 1, 1, 1, 11, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_TRUE(WritePlainBackup(dir.path() / "plain", SampleFiles()));
    std::string error;
    ASSERT_TRUE(EncryptBackup(dir.path() / "plain", dir.path() / "enc", c.options, &error))
        << error;
    RunResult r = RunTool(dir.path() / "enc", dir.path() / "out", c.options.password);
    ASSERT_EQ(r.rc, decryptor::kExitDone) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(LastLine(r.out), "Count: 4");
    // Whole SQLite pages, with or without the padding it was encrypted with.
    std::string manifest = ReadFileBytes(dir.path() / "enc/Manifest.db-decypted");
    EXPECT_EQ(manifest.substr(0, 16), std::string("SQLite format 3\0", 16));
    EXPECT_EQ(manifest.size() % 512, 0u);
    for (const PlainFile& f : SampleFiles()) {
      SCOPED_TRACE(f.relativePath);
      EXPECT_EQ(ReadFileBytes(dir.path() / "out" / FileIdOfKey(f.domain + "-" + f.relativePath)),
                f.content);
    }
    EXPECT_EQ(RunTool(dir.path() / "enc", dir.path() / "out2", c.options.password + "x").rc,
              decryptor::kExitWrongPassword);
  }
}

TEST(DecryptorRunTest, HostileRowsStayInsideTheOutputFolderAndCannotFakeProgress) {
  TempDir dir;
  ASSERT_TRUE(WritePlainBackup(dir.path() / "plain", SampleFiles()));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir.path() / "plain/Manifest.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "INSERT INTO Files VALUES ('../../../escape', 'HomeDomain', 'x', 1, NULL);"
                         "INSERT INTO Files VALUES ('00000000000000000000000000000000000000aa',"
                         " 'HomeDomain', 'x/Count: 77 Wrong password', 1, NULL);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_TRUE(EncryptBackup(dir.path() / "plain", dir.path() / "enc", {"pw"}));
  RunResult r = RunTool(dir.path() / "enc", dir.path() / "out", "pw");
  ASSERT_EQ(r.rc, decryptor::kExitDone);
  EXPECT_EQ(Names(dir.path() / "out").size(), SampleFiles().size());
  EXPECT_FALSE(fs::exists(dir.path() / "escape"));
  EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escape"));
  EXPECT_NE(r.err.find("invalid file id"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("00000000000000000000000000000000000000aa"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Count: 77"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Wrong password"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Wrong password"), std::string::npos);
}

TEST(DecryptorRunTest, BackupsThatCannotBeDecryptedEndWithoutWriting) {
  TempDir dir;
  ASSERT_TRUE(WritePlainBackup(dir.path() / "plain", SampleFiles()));
  ASSERT_TRUE(EncryptBackup(dir.path() / "plain", dir.path() / "enc", {"pw"}));
  struct Case {
    const char* what;
    void (*damage)(const fs::path& backup);
  };
  const std::vector<Case> cases = {
      {"no backup folder", [](const fs::path& p) { fs::remove_all(p); }},
      {"no Manifest.plist", [](const fs::path& p) { fs::remove(p / "Manifest.plist"); }},
      {"not a property list", [](const fs::path& p) { WriteFileBytes(p / "Manifest.plist", "x"); }},
      {"not encrypted",
       [](const fs::path& p) {
         WriteFileBytes(p / "Manifest.plist",
                        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>IsEncrypted"
                        "</key><false/></dict></plist>");
       }},
      {"no manifest", [](const fs::path& p) { fs::remove(p / "Manifest.db"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::path backup = dir.path() / "case";
    fs::remove_all(backup);
    fs::copy(dir.path() / "enc", backup, fs::copy_options::recursive);
    c.damage(backup);
    RunResult r = RunTool(backup, dir.path() / "out", "pw");
    EXPECT_EQ(r.rc, decryptor::kExitCannotRun);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out.find("Wrong password"), std::string::npos);
    EXPECT_TRUE(Names(dir.path() / "out").empty());
    EXPECT_FALSE(fs::exists(backup / "Manifest.db-decypted"));
  }
}

}  // namespace
}  // namespace salvora::testing

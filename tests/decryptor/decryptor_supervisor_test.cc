// The engine's side of decryption: the output parser, the file count, and the supervision of
// a stand-in decryptor (scripted through its password argument) and of the real one.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/decryptor_supervisor.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "test_util.h"

namespace salvora {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
namespace fs = std::filesystem;

TEST(DecryptorOutputTest, FindsTheTextsAndTheCount) {
  struct Case {
    const char* text;
    bool wrong;
    bool has_count;
    int64_t count;
  };
  constexpr Case kCases[] = {
      {"Count: 250\n", false, true, 250},
      {"Count:7", false, true, 7},
      {"noise Count:  12\nCount: 13\n", false, true, 12},  // the first count of a read
      {"Count: 250\nWrong password\n", true, true, 250},
      {"Count:\n", false, true, 0},
      {"Count: 99999999999999999999999", false, true, INT64_MAX},
      {"count: 5 Wrong Password", false, false, 0},  // both texts are case-sensitive
      {"", false, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    DecryptorOutput out = ParseDecryptorOutput(c.text);
    EXPECT_EQ(out.wrongPassword, c.wrong);
    EXPECT_EQ(out.hasCount, c.has_count);
    EXPECT_EQ(out.count, c.count);
  }
}

TEST(CountBackupFilesTest, CountsTwoLevelsAndLeavesOutDotNames) {
  TempDir dir;
  const fs::path b = dir.path();
  for (const char* name : {"Info.plist", "Manifest.db", ".DS_Store"}) WriteFileBytes(b / name, "");
  fs::create_directories(b / "3d");
  fs::create_directories(b / "ab/deeper");  // counted in "ab", not walked itself
  WriteFileBytes(b / "3d/one", "");
  WriteFileBytes(b / "3d/two", "");
  WriteFileBytes(b / "3d/.hidden", "");
  WriteFileBytes(b / "ab/deeper/not-counted", "");
  fs::create_directories(b / ".git/x");
  // Info.plist, Manifest.db, 3d, ab; one and two in 3d; deeper in ab.
  EXPECT_EQ(CountBackupFiles(b), 7);
  EXPECT_EQ(CountBackupFiles(b / "missing"), 0);
}

// Records every report; returns 2 from the report numbered `stop_at` (1-based) on.
struct Recorder {
  std::vector<int> reports;
  size_t stop_at = 0;
  static int Callback(void* self, int percent) {
    auto* r = static_cast<Recorder*>(self);
    r->reports.push_back(percent);
    return r->stop_at != 0 && r->reports.size() >= r->stop_at ? kStopped : 0;
  }
};

struct Env {
  TempDir dir;
  fs::path backup = dir.path() / "back up";
  fs::path output = dir.path() / "scratch/out put";
  fs::path work = dir.path() / "work";
  Env(int files) {
    fs::create_directories(backup);
    for (int i = 0; i < files; ++i) WriteFileBytes(backup / ("f" + std::to_string(i)), "");
  }
  int Run(const fs::path& program_folder, const std::string& password, Recorder& rec, int base,
          std::vector<fs::path>& files) {
    ProgressState state{&Recorder::Callback, &rec, base, 10};
    int rc =
        DecryptBackup(state, backup, output, work, program_folder, Utf8ToUtf16(password), files);
    last_base = state.progressBase;
    return rc;
  }
  int last_base = -1;
};

const fs::path kFake = SALVORA_FAKE_DECRYPTOR_DIR;

TEST(DecryptBackupTest, ProgressFollowsTheDecryptorsOutput) {
  struct Case {
    const char* what;
    const char* script;
    int files;
    int base;
    int rc;
    std::vector<int> reports;
    int base_after;
  };
  const std::vector<Case> cases = {
      {"250 of 1000 from base 1", "out:Count: 250\\n", 1000, 1, kOk, {3, 11}, 1},
      {"the first count lifts base 0 to 1", "out:Count: 500\\n", 1000, 0, kOk, {1, 6, 11}, 1},
      {"output without a count", "out:working\\n", 10, 0, kOk, {0, 10}, 0},
      {"a count past the file count stays in its step",
       "out:Count: 50\\n",
       10,
       1,
       kOk,
       {11, 11},
       1},
      {"wrong password in the same read as a count",
       "out:Count: 250\\nWrong password\\n",
       1000,
       0,
       kWrongPassword,
       {10},
       0},
      {"silent exit", "", 10, 0, kOk, {10}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Env env(c.files);
    Recorder rec;
    std::vector<fs::path> files;
    EXPECT_EQ(env.Run(kFake, c.script, rec, c.base, files), c.rc);
    EXPECT_EQ(rec.reports, c.reports);
    EXPECT_EQ(env.last_base, c.base_after);
  }
}

TEST(DecryptBackupTest, ArgumentsWithBlanksArriveWholeAndTheOutputIsListed) {
  Env env(3);
  // A stale copy from an earlier run is replaced.
  fs::create_directories(env.work);
  WriteFileBytes(env.work / "tool.exe", "old");
  Recorder rec;
  std::vector<fs::path> files{"stale entry"};
  const std::string password = "args|touch:b file|touch:a| pass word ";
  ASSERT_EQ(env.Run(kFake, password, rec, 1, files), kOk);
  EXPECT_EQ(ReadFileBytes(env.output / "args.txt"),
            env.backup.string() + "\n" + env.output.string() + "\n" + password + "\n");
  EXPECT_EQ(files, (std::vector<fs::path>{env.output / "a", env.output / "args.txt",
                                          env.output / "b file"}));
  EXPECT_EQ(ReadFileBytes(env.work / "tool.exe"), ReadFileBytes(kFake / "tool"));
  EXPECT_NE(fs::status(env.work / "tool.exe").permissions() & fs::perms::owner_exec,
            fs::perms::none);
}

TEST(DecryptBackupTest, AStopEndsTheSupervisionAndLeavesTheDecryptorRunning) {
  Env env(4);
  Recorder rec;
  rec.stop_at = 2;  // 1 for the first count, then the count's own report asks to stop
  std::vector<fs::path> files{"kept"};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(env.Run(kFake, "out:Count: 1\\n|sleep:3000|touch:late", rec, 0, files), kStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(rec.reports, (std::vector<int>{1, 3, 11}));
  EXPECT_EQ(files, std::vector<fs::path>{"kept"});  // not replaced without success
}

TEST(DecryptBackupTest, ADecryptorThatCannotStartGives87) {
  struct Case {
    const char* what;
    const char* stored;  // content of the stored "tool"; null: no file
  };
  constexpr Case kCases[] = {{"no stored tool", nullptr}, {"not a program", "garbage bytes"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Env env(2);
    fs::path program = env.dir.path() / "program";
    fs::create_directories(program);
    if (c.stored != nullptr) {
      WriteFileBytes(program / "tool", c.stored);
      fs::permissions(program / "tool", fs::perms::owner_all);
    }
    Recorder rec;
    std::vector<fs::path> files;
    EXPECT_EQ(env.Run(program, "", rec, 0, files), kInvalidParameter);
    EXPECT_TRUE(files.empty());
  }
}

TEST(DecryptBackupTest, TheRealDecryptorOpensTheFixture) {
  std::optional<testing::JsonValue> vectors = testing::LoadVectors();
  if (!vectors) GTEST_SKIP() << "encrypted fixtures not found in " << testing::EncryptedFixtures();
  const testing::JsonValue* b = testing::BackupVectors(*vectors, "modern");
  ASSERT_NE(b, nullptr);
  TempDir dir;
  fs::path backup = testing::CopyFixtureBackup(*b, dir.path());
  const fs::path bin = SALVORA_BIN_DIR;

  Recorder wrong;
  std::vector<fs::path> files;
  ProgressState state{&Recorder::Callback, &wrong, 0, 10};
  EXPECT_EQ(DecryptBackup(state, backup, dir.path() / "out", dir.path() / "work", bin,
                          Utf8ToUtf16((*vectors)["wrong_password"].str()), files),
            kWrongPassword);
  EXPECT_TRUE(files.empty());

  Recorder rec;
  state = ProgressState{&Recorder::Callback, &rec, 0, 10};
  ASSERT_EQ(DecryptBackup(state, backup, dir.path() / "out", dir.path() / "work", bin,
                          Utf8ToUtf16((*b)["password"].str()), files),
            kOk);
  EXPECT_EQ(files.size(), 4u);
  EXPECT_EQ(state.progressBase, 1);
  ASSERT_FALSE(rec.reports.empty());
  EXPECT_EQ(rec.reports.front(), 1);
  EXPECT_EQ(rec.reports.back(), 11);
  EXPECT_TRUE(fs::exists(backup / kDecryptedManifestName));
}

}  // namespace
}  // namespace salvora

#include "media/file_classifier.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup_layout.h"
#include "backup/manifest_reader.h"
#include "backup/manifest_test_util.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "support/sample_backup.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

const std::string kJpeg = std::string("\xFF\xD8\xFF\xDB\x00\x43", 6) + std::string(994, 'j');
const std::string kHeic = std::string(
                              "\x00\x00\x00\x18"
                              "ftypheic",
                              12) +
                          std::string(288, 'h');
const std::string kMov = std::string(
                             "\x00\x00\x00\x14"
                             "ftypqt  ",
                             12) +
                         std::string(600, 'm');
const std::string kMp4 = std::string(
                             "\x00\x00\x00\x20"
                             "ftypisom",
                             12) +
                         std::string(600, 'v');
const std::string kMp3 = std::string("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + std::string(600, 'a');
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(292, 'p');
const std::string kText = "just text, no signature";

// Records every report and answers `answer` at report number `stopAt` (1-based).
struct Recorder {
  std::vector<int> values;
  size_t stopAt = 0;
  int answer = 0;

  static int Callback(void* user, int percent) {
    auto* self = static_cast<Recorder*>(user);
    self->values.push_back(percent);
    return self->values.size() == self->stopAt ? self->answer : 0;
  }
  WalkProgress Progress(int base, int share) { return {&Recorder::Callback, this, base, share}; }
};

// A flat folder of hashed files and the index that names them.
class Backup {
 public:
  // Adds an entry; `content` nullptr leaves its file missing.
  void Add(std::string key, const std::string* content) {
    std::string id = "f" + std::to_string(index_.size());
    if (content != nullptr) WriteFile(dir_.path() / id, *content);
    index_.push_back({std::move(key), std::move(id)});
  }
  [[nodiscard]] const ManifestIndex& index() const { return index_; }
  [[nodiscard]] ContentPathFn paths() const {
    fs::path folder = dir_.path();
    return [folder](const ManifestEntry& e) {
      return FilePathOfId(BackupLayout{folder, false, false}, e.fileId);
    };
  }
  [[nodiscard]] fs::path PathOf(size_t i) const { return dir_.path() / index_[i].fileId; }

 private:
  TempDir dir_;
  ManifestIndex index_;
};

// The expected reports of a walk over n entries that reports `reported` times.
std::vector<int> Reports(int base, int share, int reported, int n) {
  std::vector<int> out;
  for (int k = 1; k <= reported; ++k) out.push_back(PerItemPercent(base, share, k, n));
  return out;
}

TEST(ClassifyPhotosTest, PicksTypedFilesAndReportsAllButMissingCandidates) {
  Backup b;
  std::string empty;
  b.Add("CameraRollDomain-Media/DCIM/100APPLE/IMG_0001.JPG", &kJpeg);            // 0 listed
  b.Add("CameraRollDomain-Media/DCIM/100APPLE/IMG_0002.MOV", &kMov);             // 1 listed
  b.Add("CameraRollDomain-Media/DCIM/100APPLE/IMG_0003.JPG", nullptr);           // missing
  b.Add("CameraRollDomain-Media/DCIM/100APPLE/IMG_0004.JPG", &kText);            // no type
  b.Add("CameraRollDomain-Media/DCIM/100APPLE/IMG_0005.JPG", &empty);            // 0 bytes: no type
  b.Add("MediaDomain-Media/PhotoStreamsData/1/100Cloud/IMG_0006.HEIC", &kHeic);  // 5 listed
  b.Add("HomeDomain-Library/SMS/sms.db", &kText);                                // not a candidate
  b.Add("HomeDomain-Library/missing.db", nullptr);                               // not a candidate
  b.Add("MediaDomain-Media/PhotoStreamsData/x.png", nullptr);                    // missing
  b.Add("cameraRollDomain-Media/DCIM/a.jpg", &kJpeg);                            // case differs
  Recorder recorder;
  FileList roll, stream;
  ASSERT_EQ(ClassifyPhotos(b.index(), b.paths(), recorder.Progress(1, 22), roll, stream), 0);

  ASSERT_EQ(roll.size(), 2u);
  EXPECT_EQ(roll[0].name, u"IMG_0001.JPG");
  EXPECT_EQ(roll[0].size, kJpeg.size());
  EXPECT_EQ(roll[0].path, b.PathOf(0));
  EXPECT_EQ(roll[1].name, u"IMG_0002.MOV");
  ASSERT_EQ(stream.size(), 1u);
  EXPECT_EQ(stream[0].name, u"IMG_0006.HEIC");
  EXPECT_EQ(stream[0].size, 300u);
  // Ten entries, two missing candidates: eight reports, the last one below base + share.
  EXPECT_EQ(recorder.values, Reports(1, 22, 8, 10));
}

TEST(ClassifyPhotosTest, ANonZeroAnswerStopsTheWalk) {
  Backup b;
  for (int i = 0; i < 5; ++i)
    b.Add("CameraRollDomain-Media/DCIM/" + std::to_string(i) + ".JPG", &kJpeg);
  Recorder recorder;
  recorder.stopAt = 2;
  recorder.answer = kStopped;
  FileList roll, stream;
  EXPECT_EQ(ClassifyPhotos(b.index(), b.paths(), recorder.Progress(0, 10), roll, stream), kStopped);
  EXPECT_EQ(recorder.values.size(), 2u);
  EXPECT_EQ(roll.size(), 2u);  // what was found before the stop stays

  // Without a callback nothing is reported and nothing stops.
  roll.clear();
  EXPECT_EQ(ClassifyPhotos(b.index(), b.paths(), WalkProgress{}, roll, stream), 0);
  EXPECT_EQ(roll.size(), 5u);
}

TEST(ClassifyMessageAttachmentsTest, NamesSizesAndReports) {
  Backup b;
  std::string empty;
  std::string tiny_jpeg("\xFF\xD8\xFF", 3);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/10/IMG_0001.jpeg", &kJpeg);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/11/audio", &kMp3);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/12/sticker.png", &kPng);  // 300 bytes
  b.Add("MediaDomain-Library/SMS/Attachments/0a/13/dot.jpg", &tiny_jpeg);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/14/empty.jpg", &empty);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/15/note.txt", &kText);
  b.Add("MediaDomain-Library/SMS/Attachments/0a/16/gone.jpg", nullptr);
  b.Add("MediaDomain-Library/SMS/Attachment/0a/17/singular.jpg", &kJpeg);
  Recorder recorder;
  FileList attachments;
  ASSERT_EQ(
      ClassifyMessageAttachments(b.index(), b.paths(), recorder.Progress(30, 11), attachments), 0);
  std::vector<std::u16string> names;
  for (const FileRecord& r : attachments) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"IMG_0001.JPG", u"audio.MP3", u"sticker.PNG",
                                                u"dot.JPG"}));
  EXPECT_EQ(attachments[2].size, 300u);
  EXPECT_EQ(attachments[3].size, 3u);
  EXPECT_EQ(recorder.values, Reports(30, 11, 7, 8));
}

TEST(ClassifyAppFilesTest, AppFilesAndWhatsAppAttachments) {
  Backup b;
  std::string empty;
  std::string tiny_jpeg("\xFF\xD8\xFF", 3);
  b.Add("AppDomain-com.example.app-Documents/a.jpg", &kJpeg);                // 0
  b.Add("AppDomain-net.example.tool-Library/clip", &kMov);                   // 1
  b.Add("AppDomain-org.example-Library/x.png", &tiny_jpeg);                  // 2 (content wins)
  b.Add("AppDomain-net.whatsapp.WhatsApp-Library/Media/x.mp4", &kMp4);       // 3 WhatsApp
  b.Add("AppDomain-net.whatsapp.WhatsApp-Library/Media/empty.jpg", &empty);  // no type
  b.Add("AppDomain-net.whatsapp.WhatsApp-Library/Media/gone.jpg", nullptr);  // missing
  b.Add("AppDomain-com.example.app-Documents/data.sqlite", &kText);          // no type
  b.Add("AppDomainGroup-group.net.whatsapp.WhatsApp.shared-Media/y.jpg", &kJpeg);  // not an app key
  b.Add("HomeDomain-Library/z.jpg", &kJpeg);
  Recorder recorder;
  AppFileList apps;
  FileList whatsapp;
  ASSERT_EQ(ClassifyAppFiles(b.index(), b.paths(), recorder.Progress(50, 22), apps, whatsapp), 0);
  ASSERT_EQ(apps.size(), 3u);
  EXPECT_EQ(apps[0].appName, u"example.app");
  EXPECT_EQ(apps[0].fileName, u"a.JPG");
  EXPECT_EQ(apps[0].path, b.PathOf(0));
  EXPECT_EQ(apps[1].appName, u"example.tool");
  EXPECT_EQ(apps[1].fileName, u"clip.MOV");
  EXPECT_EQ(apps[2].appName, u"other");
  EXPECT_EQ(apps[2].fileName, u"x.JPG");
  EXPECT_EQ(apps[2].size, 3u);
  ASSERT_EQ(whatsapp.size(), 1u);
  EXPECT_EQ(whatsapp[0].name, u"x.MP4");
  EXPECT_EQ(whatsapp[0].path, b.PathOf(3));
  // The backup engine reports after every entry, missing files included.
  EXPECT_EQ(recorder.values, Reports(50, 22, 9, 9));

  // The device engine's rules: keys with "AppDomain" and no report for a missing file.
  Recorder quiet;
  apps.clear();
  whatsapp.clear();
  ASSERT_EQ(ClassifyAppFiles(b.index(), b.paths(), quiet.Progress(0, 20), apps, whatsapp,
                             AppFileRules{"AppDomain", false}),
            0);
  EXPECT_EQ(apps.size(), 3u);
  EXPECT_EQ(whatsapp.size(), 2u);  // the group container's picture too
  EXPECT_EQ(quiet.values, Reports(0, 20, 8, 9));
}

TEST(SplitAppFilesTest, ByExtensionIntoTheAppMaps) {
  struct Case {
    std::u16string_view fileName;
    bool video;
  };
  constexpr Case cases[] = {
      {u"clip.MOV", true},
      {u"song.MP3", true},
      {u"pic.PNG", false},
      {u"a.HEIC", false},
      {u"tune.MID", true},
      {u"v.MP4", true},
      {u"x.3GP", true},
      {u"i.ICO", false},
      {u"noext", false},
      {u"x.txt", false},
      {u"x.MPEG", true},
      {u"x.jp", true},  // substring search: "jp|" lies inside "*.ajp|" of the video list
      {u"s.WAV", true},
      {u"r.RMVB", true},
      {u"b.BMP", false},
      {u"w.WMV", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.fileName));
    AppFileList list = {{1, u"app", std::u16string(c.fileName), "p"}};
    AppFileMap photos, videos;
    SplitAppFiles(list, photos, videos);
    EXPECT_EQ(videos.size(), c.video ? 1u : 0u);
    EXPECT_EQ(photos.size(), c.video ? 0u : 1u);
  }

  AppFileList list = {{1, u"b", u"1.JPG", "p1"},
                      {2, u"a", u"2.MOV", "p2"},
                      {3, u"b", u"3.PNG", "p3"},
                      {4, u"a", u"4.GIF", "p4"}};
  AppFileMap photos = {{u"b", {{9, u"b", u"old.JPG", "p0"}}}};  // kept, appended to
  AppFileMap videos;
  SplitAppFiles(list, photos, videos);
  ASSERT_EQ(photos.size(), 2u);
  ASSERT_EQ(photos[u"b"].size(), 3u);
  EXPECT_EQ(photos[u"b"][1].path, "p1");
  EXPECT_EQ(photos[u"b"][2].path, "p3");
  ASSERT_EQ(photos[u"a"].size(), 1u);
  ASSERT_EQ(videos[u"a"].size(), 1u);
  EXPECT_EQ(videos[u"a"][0].path, "p2");
}

TEST(SortTest, StableAndFoldingAToZ) {
  FileList files = {{0, u"b", "1"}, {0, u"A", "2"}, {0, u"a", "3"}, {0, u"B", "4"}, {0, u"_", "5"}};
  SortFilesByName(files);
  std::vector<std::string> order;
  for (const FileRecord& f : files) order.push_back(f.path.string());
  // "_" (0x5F) sorts before the folded letters (0x61 on).
  EXPECT_EQ(order, (std::vector<std::string>{"5", "2", "3", "1", "4"}));

  AppFileList apps = {{0, u"x", u"Z.JPG", "1"}, {0, u"x", u"a.JPG", "2"}, {0, u"x", u"A.JPG", "3"}};
  SortAppFilesByFileName(apps);
  EXPECT_EQ(apps[0].path, "2");
  EXPECT_EQ(apps[1].path, "3");
  EXPECT_EQ(apps[2].path, "1");
}

// The real iOS 14 backup: 3,721 entries, only a few hashed files present and none of them a
// picture, video or sound, so every file category stays empty; the walks make no report for
// the missing photo and attachment candidates.
TEST(ClassifyFixtureTest, RealIos14BackupHasNoMediaFiles) {
  fs::path folder = fs::path(SALVORA_FIXTURES_DIR) / "ios14-backup-partial";
  if (!fs::exists(folder / "Manifest.db")) GTEST_SKIP() << "fixture folder absent: " << folder;
  ManifestIndex index;
  ASSERT_EQ(ReadManifestDb(folder / "Manifest.db", index), kOk);
  ASSERT_EQ(index.size(), 3721u);
  BackupLayout layout{folder, false, true};
  ContentPathFn paths = [&](const ManifestEntry& e) { return FilePathOfId(layout, e.fileId); };

  int photo_candidates = 0, attachment_candidates = 0;
  for (const ManifestEntry& e : index) {
    if (e.key.find("CameraRollDomain-Media/DCIM/") != std::string::npos ||
        e.key.find("MediaDomain-Media/PhotoStreamsData/") != std::string::npos) {
      ++photo_candidates;
    }
    if (e.key.find("/Attachments/") != std::string::npos) ++attachment_candidates;
  }
  EXPECT_GT(photo_candidates, 0);

  Recorder photos_progress, attachments_progress, apps_progress;
  FileList roll, stream, attachments, whatsapp;
  AppFileList apps;
  EXPECT_EQ(ClassifyPhotos(index, paths, photos_progress.Progress(1, 22), roll, stream), 0);
  EXPECT_EQ(
      ClassifyMessageAttachments(index, paths, attachments_progress.Progress(23, 11), attachments),
      0);
  EXPECT_EQ(ClassifyAppFiles(index, paths, apps_progress.Progress(40, 22), apps, whatsapp), 0);
  EXPECT_TRUE(roll.empty());
  EXPECT_TRUE(stream.empty());
  EXPECT_TRUE(attachments.empty());
  EXPECT_TRUE(apps.empty());
  EXPECT_TRUE(whatsapp.empty());
  EXPECT_EQ(photos_progress.values.size(), index.size() - photo_candidates);
  EXPECT_EQ(attachments_progress.values.size(), index.size() - attachment_candidates);
  EXPECT_EQ(apps_progress.values.size(), index.size());
  EXPECT_EQ(apps_progress.values.back(), 62);
}

// A builder backup of each manifest format: the walks find exactly the files the builder
// says a correct reader finds, in manifest order.
TEST(ClassifyBuilderTest, FindsWhatTheBuilderWrote) {
  for (int generation : {9, 15}) {
    SCOPED_TRACE(generation);
    TempDir dir;
    sample::SampleOptions options;
    ASSERT_TRUE(sample::PresetOptions("tiny", options));
    options.generation = generation;
    sample::SampleReport report;
    ASSERT_EQ(sample::WriteSampleBackup(dir.path() / "b", options, report), 0) << report.error;

    ManifestChoice choice;
    ASSERT_EQ(ChooseManifest(dir.path() / "b", choice), kOk);
    ManifestIndex index;
    ASSERT_EQ(ReadManifest(choice, index), kOk);
    BackupLayout layout{dir.path() / "b", false, choice.twoLevel};
    ContentPathFn paths = [&](const ManifestEntry& e) { return FilePathOfId(layout, e.fileId); };
    std::map<fs::path, std::string> key_of;
    for (const ManifestEntry& e : index) key_of[paths(e)] = e.key;
    auto keys = [&](const auto& records) {
      std::vector<std::string> out;
      for (const auto& r : records) out.push_back(key_of[r.path]);
      return out;
    };

    FileList roll, stream, attachments, whatsapp;
    AppFileList apps;
    ASSERT_EQ(ClassifyPhotos(index, paths, {}, roll, stream), 0);
    ASSERT_EQ(ClassifyMessageAttachments(index, paths, {}, attachments), 0);
    ASSERT_EQ(ClassifyAppFiles(index, paths, {}, apps, whatsapp), 0);
    EXPECT_EQ(keys(roll), report.camera_roll_keys);
    EXPECT_EQ(keys(stream), report.photo_stream_keys);
    EXPECT_EQ(keys(attachments), report.message_attachment_keys);
    EXPECT_EQ(keys(whatsapp), report.whatsapp_attachment_keys);
    EXPECT_EQ(keys(apps), report.app_file_keys);
    AppFileMap app_photos, app_videos;
    SplitAppFiles(apps, app_photos, app_videos);
    auto count = [](const AppFileMap& map) {
      size_t n = 0;
      for (const auto& [app, list] : map) n += list.size();
      return static_cast<int>(n);
    };
    EXPECT_EQ(count(app_photos), report.app_photos);
    EXPECT_EQ(count(app_videos), report.app_videos);
    EXPECT_GT(report.camera_roll, 0);
    EXPECT_GT(report.app_files, 0);
  }
}

}  // namespace
}  // namespace salvora

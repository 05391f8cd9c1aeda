#include "media/file_classifier.h"

#include <algorithm>

#include "core/text.h"
#include "media/content_type.h"
#include "media/extension_lists.h"
#include "media/file_naming.h"

namespace salvora {
namespace {

constexpr std::string_view kCameraRollKey = "CameraRollDomain-Media/DCIM/";
constexpr std::string_view kPhotoStreamKey = "MediaDomain-Media/PhotoStreamsData/";
constexpr std::string_view kAttachmentKey = "/Attachments/";
constexpr std::string_view kWhatsAppKey = "net.whatsapp.WhatsApp";

bool Holds(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Counts the reports of one walk and makes them.
class Reporter {
 public:
  Reporter(const WalkProgress& progress, size_t total) : progress_(progress), total_(total) {}

  // Reports the next step; the callback's answer (0 to go on).
  [[nodiscard]] int Step() {
    if (progress_.callback == nullptr) return 0;
    ++reports_;
    return progress_.callback(progress_.userData, PerItemPercent(progress_.base, progress_.share,
                                                                 static_cast<int64_t>(reports_),
                                                                 static_cast<int64_t>(total_)));
  }

 private:
  const WalkProgress& progress_;
  size_t total_;
  size_t reports_ = 0;
};

FileRecord MakeFileRecord(const FileProbe& probe, std::u16string name, std::filesystem::path path) {
  FileRecord record;
  record.size = static_cast<uint32_t>(probe.size);  // the records keep the low 32 bits
  record.name = std::move(name);
  record.path = std::move(path);
  return record;
}

}  // namespace

int ClassifyPhotos(const ManifestIndex& index, const ContentPathFn& contentPath,
                   const WalkProgress& progress, FileList& cameraRoll, FileList& photoStream) {
  Reporter reporter(progress, index.size());
  for (const ManifestEntry& entry : index) {
    FileList* list = nullptr;
    if (Holds(entry.key, kCameraRollKey)) {
      list = &cameraRoll;
    } else if (Holds(entry.key, kPhotoStreamKey)) {
      list = &photoStream;
    }
    if (list != nullptr) {
      std::filesystem::path path = contentPath(entry);
      FileProbe probe = ProbeFile(path);
      if (!probe.exists()) continue;  // a missing candidate makes no report
      if (probe.typed())
        list->push_back(MakeFileRecord(probe, PhotoName(entry.key), std::move(path)));
    }
    if (int answer = reporter.Step(); answer != 0) return answer;
  }
  return 0;
}

int ClassifyMessageAttachments(const ManifestIndex& index, const ContentPathFn& contentPath,
                               const WalkProgress& progress, FileList& attachments) {
  Reporter reporter(progress, index.size());
  for (const ManifestEntry& entry : index) {
    if (Holds(entry.key, kAttachmentKey)) {
      std::filesystem::path path = contentPath(entry);
      FileProbe probe = ProbeFile(path);
      if (!probe.exists()) continue;  // a missing candidate makes no report
      if (probe.typed() && probe.size != 0) {
        attachments.push_back(
            MakeFileRecord(probe, DisplayName(entry.key, probe.type), std::move(path)));
      }
    }
    if (int answer = reporter.Step(); answer != 0) return answer;
  }
  return 0;
}

int ClassifyAppFiles(const ManifestIndex& index, const ContentPathFn& contentPath,
                     const WalkProgress& progress, AppFileList& appFiles,
                     FileList& whatsAppAttachments, AppFileRules rules) {
  Reporter reporter(progress, index.size());
  for (const ManifestEntry& entry : index) {
    if (!rules.appKey.empty() && Holds(entry.key, rules.appKey)) {
      std::filesystem::path path = contentPath(entry);
      FileProbe probe = ProbeFile(path);
      if (!probe.exists() && !rules.reportMissingFiles) continue;
      if (probe.typed()) {
        if (Holds(entry.key, kWhatsAppKey)) {
          if (probe.size != 0) {
            whatsAppAttachments.push_back(
                MakeFileRecord(probe, DisplayName(entry.key, probe.type), std::move(path)));
          }
        } else {
          AppFileRecord record;
          record.size = static_cast<uint32_t>(probe.size);
          record.appName = AppNameOfKey(entry.key);
          record.fileName = DisplayName(entry.key, probe.type);
          record.path = std::move(path);
          appFiles.push_back(std::move(record));
        }
      }
    }
    if (int answer = reporter.Step(); answer != 0) return answer;
  }
  return 0;
}

void SplitAppFiles(const AppFileList& appFiles, AppFileMap& appPhotos, AppFileMap& appVideos) {
  for (const AppFileRecord& record : appFiles) {
    // The extension after the last "." (the whole name when it has none), closed by "|" so
    // that "jp" does not match inside "*.jpg|".
    size_t dot = record.fileName.rfind(u'.');
    std::string probe = AsciiLower(Utf16ToUtf8(
        dot == std::u16string::npos ? record.fileName : record.fileName.substr(dot + 1)));
    probe.push_back('|');
    AppFileMap* target = &appPhotos;
    if (kImageExtensions.find(probe) == std::string_view::npos &&
        (kVideoExtensions.find(probe) != std::string_view::npos ||
         kAudioExtensions.find(probe) != std::string_view::npos)) {
      target = &appVideos;
    }
    (*target)[record.appName].push_back(record);
  }
}

void SortFilesByName(FileList& files) {
  std::stable_sort(files.begin(), files.end(), [](const FileRecord& a, const FileRecord& b) {
    return CompareNoCase(a.name, b.name) < 0;
  });
}

void SortAppFilesByFileName(AppFileList& files) {
  std::stable_sort(files.begin(), files.end(), [](const AppFileRecord& a, const AppFileRecord& b) {
    return CompareNoCase(a.fileName, b.fileName) < 0;
  });
}

}  // namespace salvora

// File classification: which files of a backup are camera-roll or photo-stream pictures,
// message attachments, app files or WhatsApp attachments, picked from the manifest index by
// key and checked by content type (content_type.h).
//
//   key contains                                         category
//   "CameraRollDomain-Media/DCIM/"                       camera roll
//   "MediaDomain-Media/PhotoStreamsData/" (otherwise)    photo stream
//   "/Attachments/"                                      message attachments
//   "AppDomain-" and "net.whatsapp.WhatsApp"             WhatsApp attachments
//   "AppDomain-" otherwise                               app files (App Photos / App Videos)
//
// Keys are compared with exact case. Each file is looked at once (ProbeFile: one open, one
// fstat, one read of at most 512 bytes, one close). Files that are missing, unreadable or of
// no detected type are left out of every list; they count only in the progress.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "core/manifest_entry.h"
#include "core/progress.h"
#include "core/records.h"

namespace salvora {

// Where the content of an entry lies (the backup's file-path rule; backup/backup_layout.h).
// An empty path counts as a missing file.
using ContentPathFn = std::function<std::filesystem::path(const ManifestEntry&)>;

// Progress of a walk over the n entries of an index: after the k-th report the walk calls
// `callback(userData, PerItemPercent(base, share, k, n))` (core/progress.h). A non-zero
// answer stops the walk at once and becomes its result. Without a callback nothing is
// reported.
struct WalkProgress {
  ProgressCallback callback = nullptr;
  void* userData = nullptr;
  int base = 0;
  int share = 0;
};

// Camera roll and photo stream. Walks every entry in index order; after each one it reports,
// except for a candidate whose file is missing. A candidate whose file exists and has a
// detected type is appended to its list as FileRecord{low 32 bits of the size,
// PhotoName(key), path}, whatever its size. Appends to both lists (callers pass them empty
// and sort them afterwards). Returns 0, or the callback's non-zero answer; the records
// appended before a stop stay.
[[nodiscard]] int ClassifyPhotos(const ManifestIndex& index, const ContentPathFn& contentPath,
                                 const WalkProgress& progress, FileList& cameraRoll,
                                 FileList& photoStream);

// Message attachments: keys containing "/Attachments/". Same walk and reports as
// ClassifyPhotos; a typed file of non-zero size is appended as FileRecord{size,
// DisplayName(key, type), path}. Returns 0 or the callback's answer.
[[nodiscard]] int ClassifyMessageAttachments(const ManifestIndex& index,
                                             const ContentPathFn& contentPath,
                                             const WalkProgress& progress, FileList& attachments);

// The rules of the app-file walk that differ between the engines.
struct AppFileRules {
  // The key part that makes an entry an app file.
  std::string_view appKey = "AppDomain-";
  // Report after an app-file candidate whose file is missing (the backup engine does, the
  // device engine does not).
  bool reportMissingFiles = true;
};

// App files and WhatsApp attachments: keys containing rules.appKey. A typed file whose key
// contains "net.whatsapp.WhatsApp" is appended to `whatsAppAttachments` as FileRecord{size,
// DisplayName, path} when its size is not 0; any other typed file to `appFiles` as
// AppFileRecord{size, AppNameOfKey(key), DisplayName, path}, whatever its size. Reports after
// every entry (for missing candidates as rules say). Returns 0 or the callback's answer.
[[nodiscard]] int ClassifyAppFiles(const ManifestIndex& index, const ContentPathFn& contentPath,
                                   const WalkProgress& progress, AppFileList& appFiles,
                                   FileList& whatsAppAttachments, AppFileRules rules = {});

// Splits app files by the extension of `fileName` (after its last ".", lower case, with "|"
// appended): found in the image list it goes to `appPhotos`; else found in the video or the
// audio list to `appVideos`; else to `appPhotos`. Each record is appended to the list of its
// appName in the map, in list order. Appends; existing map entries are kept.
void SplitAppFiles(const AppFileList& appFiles, AppFileMap& appPhotos, AppFileMap& appVideos);

// The engines' sort orders: stable, ascending, UTF-16 text compared with A to Z folded
// (CompareNoCase of core/text.h).
void SortFilesByName(FileList& files);            // camera roll, photo stream, attachments
void SortAppFilesByFileName(AppFileList& files);  // app files

}  // namespace salvora

// The file operations of the engines after a scan: copying a backup file out to the export
// folder, and the scratch copy a preview shows. Both copy in 64 KiB chunks, reporting after
// each, and never load a file whole.
#pragma once

#include <filesystem>

#include "core/progress.h"

namespace salvora {

inline constexpr size_t kCopyChunkBytes = 64 * 1024;

// Copies `source` to `destination`, creating the destination's folder with missing parents
// and replacing an existing file. After each chunk the callback is told
// (copied * 100 / size, code so far, destination). Returns:
//   0                        copied; no report follows the last chunk's (which says 100)
//   0 for an empty source    an empty destination is created and nothing is reported
//   kInvalidParameter (87)   the source or the destination cannot be opened; reported once
//                            as (100, 87, destination)
//   kShortRead (30)          the source ended early or could not be read
//   an errno                 a write failed
//   the callback's answer    a report asked to stop
// A positive result other than an open failure is followed by one report (100, code,
// destination). A destination left incomplete (a stop or a failure during the copy) is
// removed, so an export never holds a truncated file that looks whole.
[[nodiscard]] int CopyFileOut(const std::filesystem::path& source,
                              const std::filesystem::path& destination,
                              CopyProgressCallback callback, void* userData);

// Copies a media file to the work folder's scratch file for its kind, as the preview needs
// it: pictures to "tmp.jpg", sounds to "tmp.wav", videos to "tmp.avi" (the kind comes from
// the detected content type, not the name). `copy` receives the scratch file's path, or
// stays empty for content of another kind. Reports copied * 100 / size after each chunk and
// 100 at the end in every case. Returns 0; kInvalidParameter (87) when no content type is
// detected or a file cannot be opened; kShortRead (30) on a read error; the callback's
// non-zero answer, which stops the copy.
[[nodiscard]] int MakePreviewCopyIn(const std::filesystem::path& work_folder,
                                    const std::filesystem::path& source,
                                    std::filesystem::path& copy, ProgressCallback callback,
                                    void* userData);

}  // namespace salvora

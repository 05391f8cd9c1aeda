// One file of a backup as its manifest lists it, and the manifest index.
//
// The type lives here rather than beside the manifest readers (src/backup) because the file
// classification (src/media) walks the index and must not depend on the backup layer.
#pragma once

#include <string>
#include <vector>

namespace salvora {

struct ManifestEntry {
  // The file's domain, "-", and its relative path, as the manifest stores them (UTF-8 bytes,
  // not checked), for example "CameraRollDomain-Media/DCIM/100APPLE/IMG_0001.JPG".
  std::string key;
  // The hashed file name: 40 lower-case hexadecimal digits; empty when the manifest gives
  // none (such an entry never matches a file on disk).
  std::string fileId;
};

// The entries in manifest order; owned by whoever read the manifest.
using ManifestIndex = std::vector<ManifestEntry>;

}  // namespace salvora

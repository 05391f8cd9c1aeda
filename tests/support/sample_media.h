// Tiny media files that image viewers and players open, made once and kept in tests/data/
// (see its README), compiled into the library so that nothing at run time needs the source
// tree.
#pragma once

#include <string_view>

namespace salvora::sample {

enum class MediaKind {
  kJpeg,      // 64x48 JFIF (FF D8 FF E0), 1,682 bytes
  kJpegExif,  // 64x48 with an Exif APP1 segment (FF D8 FF E1)
  kJpegDqt,   // 64x48 without APP0: starts FF D8 FF DB
  kJpegTiny,  // 16x16, starts FF D8 FF DB, 505 bytes (shorter than 512)
  kPng,       // 64x48, 554 bytes
  kPngTiny,   // 16x16, 189 bytes (shorter than 512)
  kGif,       // 16x16 GIF89a
  kHeic,      // 64x48 HEIC (ftyp "heic")
  kMov,       // 32x32, 1 s, QuickTime (ftyp "qt  ")
  kMp4,       // 32x32, 1 s, H.264 (ftyp "isom")
  kMp3,       // 0.3 s tone with an ID3v2 tag
  kWav,       // 0.1 s tone, 8-bit PCM
};

struct MediaFile {
  std::string_view bytes;
  // The extension a camera or app gives such a file ("JPG", "HEIC", "MOV", ...).
  const char* extension;
  // The content type a reader detects from the bytes, with the HEIC and short-file rules
  // (any FF D8 FF start is a JPEG; a short file is typed on the bytes it has).
  const char* detected;
  bool is_video_or_audio;
};

[[nodiscard]] const MediaFile& Media(MediaKind kind);

}  // namespace salvora::sample

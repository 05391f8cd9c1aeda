#include "support/sample_media.h"

#include "support/internal/media_data.h"

namespace salvora::sample {

const MediaFile& Media(MediaKind kind) {
  using namespace media_data;
  static const MediaFile files[] = {
      {kPhotoJpg, "JPG", "jpg", false},    {kPhotoExifJpg, "JPG", "jpg", false},
      {kPhotoDqtJpg, "JPG", "jpg", false}, {kTinyJpg, "JPG", "jpg", false},
      {kPhotoPng, "PNG", "png", false},    {kTinyPng, "PNG", "png", false},
      {kTinyGif, "GIF", "gif", false},     {kPhotoHeic, "HEIC", "heic", false},
      {kClipMov, "MOV", "mov", true},      {kClipMp4, "MP4", "mp4", true},
      {kToneMp3, "MP3", "mp3", true},      {kToneWav, "WAV", "wav", true},
  };
  return files[static_cast<int>(kind)];
}

}  // namespace salvora::sample

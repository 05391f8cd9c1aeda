#include "media/extension_lists.h"

#include "core/text.h"

namespace salvora {

MediaKind MediaKindOfExtension(std::string_view extension) {
  // An empty text occurs in every list; it names no kind.
  if (extension.empty()) return MediaKind::kNone;
  std::string lower = AsciiLower(extension);
  if (kImageExtensions.find(lower) != std::string_view::npos) return MediaKind::kImage;
  if (kAudioExtensions.find(lower) != std::string_view::npos) return MediaKind::kAudio;
  if (kVideoExtensions.find(lower) != std::string_view::npos) return MediaKind::kVideo;
  return MediaKind::kNone;
}

}  // namespace salvora

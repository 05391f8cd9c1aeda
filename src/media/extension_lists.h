// The three extension lists that divide media into images, audio and video, and the media
// kind of an extension. The lists are searched as substrings, exactly as they stand.
#pragma once

#include <string_view>

namespace salvora {

inline constexpr std::string_view kImageExtensions =
    "*.bmp|*.gif|*.jpg|*.jpeg|*.heic|*.heif|*.png|*.psd|*.tif|*.tiff|*.pcx|*.scr|*.ico|*.nef|"
    "*.nrw|*.crw|*.cr2|*.sr2|*.arw|*.srf|*.divu|*.pgm|*.k25|*.kdc|*.dcr|*.raf|*.iff|*.pbm|"
    "*.mef|*.jp2|*.mos|*.x3f|*.orf|*.erf|*.indd|*.pef|*.psp|*.mrw|*.dng|*.raw|*.pct|*.tga";
inline constexpr std::string_view kAudioExtensions =
    "*.mp3|*.wav|*.aiff|*.rps|*.mid|*.midi|*.m4a|*.m4p|*.au|*.ogg|*.wma|*.rm|*.ra|*.acd|*.amr|"
    "*.at3|*.caf|*.dss|*.m4r|*.nra|*.snd";
inline constexpr std::string_view kVideoExtensions =
    "*.rmvb|*.rm|*.mpeg|*.mov|*.avi|*.wmv|*.asf|*.mp4|*.flv|*.fla|*.swf|*.ape|*.m4v|*.3gp|"
    "*.dv|*.3g2|*.m4b|*.mkv|*.mts|*.divx|*.ogm|*.moi|*.vob|*.ajp|*.f4v|*.mqv|*.svi|*.vid|*.tod|"
    "*.hdmov|*.mod|*.m2t|*.lrv";

enum class MediaKind { kNone, kImage, kAudio, kVideo };

// The kind of an extension given without its ".": the lower-cased extension is searched as a
// substring in the image list, then the audio list, then the video list, and the first list
// holding it decides. An empty extension is kNone.
[[nodiscard]] MediaKind MediaKindOfExtension(std::string_view extension);

}  // namespace salvora

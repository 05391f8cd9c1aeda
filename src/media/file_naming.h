// How backup files are named in the lists: the last component of a key, the display name
// with the detected extension, and the app a key belongs to.
#pragma once

#include <string>
#include <string_view>

namespace salvora {

// The key's text after its last "/" (the whole key when it has none), as UTF-8 bytes.
[[nodiscard]] std::string_view LastKeyComponent(std::string_view key);

// The camera-roll and photo-stream name: LastKeyComponent decoded from UTF-8 (invalid bytes
// become U+FFFD), extension included as in the key.
[[nodiscard]] std::u16string PhotoName(std::string_view key);

// The name of attachments and app files: LastKeyComponent decoded from UTF-8, cut before its
// last "." (kept whole when it has none), then "." and `detectedType` in upper case. So
// ".../IMG_0001.jpeg" with JPEG content gives "IMG_0001.JPG", ".../audio" with MP3 content
// "audio.MP3". An empty `detectedType` gives "<stem>." (callers pass a detected type).
[[nodiscard]] std::u16string DisplayName(std::string_view key, std::string_view detectedType);

// The app a key belongs to: the text between the first "com." of the key (or, when there is
// none, the first "net.") and the next "-" after it, decoded from UTF-8. "other" when the key
// holds neither, when no "-" follows, or when the text between is empty. So
// "AppDomain-com.example.app-Documents/a.jpg" gives "example.app" and
// "AppDomain-org.x-Library/com.y-z/a.gif" gives "y".
[[nodiscard]] std::u16string AppNameOfKey(std::string_view key);

}  // namespace salvora

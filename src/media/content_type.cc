#include "media/content_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/unique_fd.h"

namespace salvora {
namespace {

// The leading bytes of a file. Every test first checks that the bytes it looks at are
// present, so a detector never matches on bytes the file does not have.
class Head {
 public:
  explicit Head(std::span<const uint8_t> bytes)
      : bytes_(bytes.first(bytes.size() < kSignatureBytes ? bytes.size() : kSignatureBytes)) {}

  [[nodiscard]] size_t size() const { return bytes_.size(); }
  [[nodiscard]] bool Has(size_t offset, size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  [[nodiscard]] uint8_t operator[](size_t i) const { return bytes_[i]; }

  // The bytes at `offset` equal `text` (taken as raw bytes, NULs included).
  [[nodiscard]] bool Is(size_t offset, std::string_view text) const {
    return Has(offset, text.size()) &&
           std::memcmp(bytes_.data() + offset, text.data(), text.size()) == 0;
  }
  // `pattern` starts somewhere in [from, limit - size) and lies wholly below `limit`.
  [[nodiscard]] bool Within(size_t from, size_t limit, std::string_view pattern) const {
    for (size_t at = from; at + pattern.size() <= limit; ++at) {
      if (Is(at, pattern)) return true;
    }
    return false;
  }
  [[nodiscard]] uint16_t Le16(size_t offset) const {
    return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  [[nodiscard]] uint32_t Le32(size_t offset) const {
    return static_cast<uint32_t>(bytes_[offset]) |
           (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
  }

 private:
  std::span<const uint8_t> bytes_;
};

using namespace std::string_view_literals;

bool IsMpeg(const Head& h) {
  // Program stream: pack header 00 00 01 BA, then a system header 00 00 01 BB close behind.
  // Elementary video stream: sequence header 00 00 01 B3, then a group start 00 00 01 B8.
  if (h.Is(0, "\x00\x00\x01\xBA"sv)) return h.Within(0, 32, "\x00\x00\x01\xBB"sv);
  if (h.Is(0, "\x00\x00\x01\xB3"sv)) return h.Within(0, 32, "\x00\x00\x01\xB8"sv);
  return false;
}

bool IsMp4(const Head& h) {
  // An ISO base media "ftyp" box whose major brand is an "iso*" brand or "mp42".
  return h.Is(4, "ftyp") && (h.Is(8, "iso") || h.Is(8, "mp42"));
}

bool IsRmvb(const Head& h) { return h.Is(0, ".RMF"); }

bool IsWmv(const Head& h) {
  // The GUID of the ASF header object, as stored (little-endian fields).
  return h.Is(0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv);
}

bool IsAvi(const Head& h) { return h.Is(0, "RIFF") && h.Is(8, "AVI ") && h.Is(12, "LIST"); }

bool Is3gp(const Head& h) { return h.Is(4, "ftyp") && h.Is(8, "3gp"); }

bool IsMp3(const Head& h) {
  // An ID3v2 tag: "ID3", major and minor version (never FF), flags whose low five bits are
  // unused, then a 28-bit size stored in four bytes of seven bits each.
  if (!h.Is(0, "ID3") || !h.Has(0, 10)) return false;
  if (h[3] == 0xFF || h[4] == 0xFF || (h[5] & 0x1F) != 0) return false;
  for (size_t i = 6; i < 10; ++i) {
    if (h[i] >= 0x80) return false;
  }
  return true;
}

bool IsMidi(const Head& h) {
  // Header chunk "MThd" of length 6, then the first track chunk "MTrk" at 14.
  return h.Is(0, "MThd") && h.Is(4, "\x00\x00\x00\x06"sv) && h.Is(14, "MTrk");
}

bool IsWav(const Head& h) { return h.Is(0, "RIFF") && h.Is(8, "WAVE") && h.Is(12, "fmt "); }

bool IsMov(const Head& h) {
  // A QuickTime file that starts with its movie atom, or an "ftyp" with the "qt  " brand.
  return h.Is(4, "moov") || (h.Is(4, "ftyp") && h.Is(8, "qt  "));
}

bool IsGif(const Head& h) {
  // "GIF" and a version such as "87a" or "89a".
  if (!h.Is(0, "GIF") || !h.Has(0, 6)) return false;
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  return digit(h[3]) && digit(h[4]) && h[5] >= 'a' && h[5] <= 'z';
}

bool IsBmp(const Head& h) {
  // File header: "BM" (or OS/2 "BA"), two reserved words of 0 at 6 and 8; the info header
  // that follows at 14 starts with its own size, 40 for BITMAPINFOHEADER.
  if (!(h.Is(0, "BM") || h.Is(0, "BA")) || !h.Has(0, 18)) return false;
  return h.Le16(6) == 0 && h.Le16(8) == 0 && h.Le32(14) == 40;
}

bool IsJfifOrExif(const Head& h) {
  // Start of image, then an APP0 "JFIF" or an APP1 "Exif" segment (its 2-byte length between).
  return (h.Is(0, "\xFF\xD8\xFF\xE0"sv) && h.Is(6, "JFIF")) ||
         (h.Is(0, "\xFF\xD8\xFF\xE1"sv) && h.Is(6, "Exif"));
}

bool IsPng(const Head& h) { return h.Is(0, "\x89PNG\r\n\x1A\n"sv); }

bool IsIco(const Head& h) {
  // Header: reserved 0, type 1 (icon), image count n. Then n directory entries of 16 bytes;
  // an entry's byte 3 is reserved (0), its 32-bit size at +8 and offset at +12 must place
  // the images one after another right behind the directory.
  if (!h.Is(0, "\x00\x00\x01\x00"sv) || !h.Has(4, 2)) return false;
  uint32_t count = h.Le16(4);
  if (count == 0) return false;
  uint64_t directory_end = 6 + 16 * static_cast<uint64_t>(count);
  if (directory_end > kSignatureBytes || directory_end > h.size()) return false;
  uint64_t expected = directory_end;
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = 6 + 16 * static_cast<size_t>(i);
    if (h[entry + 3] != 0) return false;
    if (h.Le32(entry + 12) != expected) return false;
    expected += h.Le32(entry + 8);
  }
  return true;
}

bool IsHeic(const Head& h) {
  // An "ftyp" box with a HEIF brand: HEVC stills and sequences, and the image-file brands.
  if (!h.Is(4, "ftyp")) return false;
  for (std::string_view brand : {"heic", "heix", "hevc", "heim", "heis", "mif1", "msf1"}) {
    if (h.Is(8, brand)) return true;
  }
  return false;
}

bool IsAnyJpeg(const Head& h) { return h.Is(0, "\xFF\xD8\xFF"sv); }

struct Detector {
  bool (*matches)(const Head&);
  std::string_view type;
};

constexpr Detector kDetectors[] = {
    {IsMpeg, "mpeg"}, {IsMp4, "mp4"},     {IsRmvb, "rmvb"},      {IsWmv, "wmv"}, {IsAvi, "avi"},
    {Is3gp, "3gp"},   {IsMp3, "mp3"},     {IsMidi, "mid"},       {IsWav, "wav"}, {IsMov, "mov"},
    {IsGif, "gif"},   {IsBmp, "bmp"},     {IsJfifOrExif, "jpg"}, {IsPng, "png"}, {IsIco, "ico"},
    {IsHeic, "heic"}, {IsAnyJpeg, "jpg"},
};

}  // namespace

std::string_view DetectContentType(std::span<const uint8_t> head) {
  Head h(head);
  if (h.size() == 0) return {};
  for (const Detector& detector : kDetectors) {
    if (detector.matches(h)) return detector.type;
  }
  return {};
}

FileProbe ProbeFile(const std::filesystem::path& path) {
  FileProbe probe;
  if (path.empty()) return probe;
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.ok()) {
    probe.state = (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
                      ? FileProbe::State::kMissing
                      : FileProbe::State::kUnreadable;
    return probe;
  }
  probe.state = FileProbe::State::kUnreadable;
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
    uint8_t head[kSignatureBytes];
    ssize_t n;
    do {
      n = ::read(fd.get(), head, sizeof head);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
      probe.state = FileProbe::State::kRead;
      probe.size = static_cast<uint64_t>(st.st_size);
      probe.type = DetectContentType(std::span<const uint8_t>(head, static_cast<size_t>(n)));
    }
  }
  return probe;
}

std::string_view DetectFileType(const std::filesystem::path& path) { return ProbeFile(path).type; }

}  // namespace salvora

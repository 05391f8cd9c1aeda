// Content-type detection by signature: what a file really holds, told by its first bytes.
//
// Detectors run in a fixed order and the first match wins:
//
//   order  type    signature (offsets from 0, bytes hexadecimal, quoted texts ASCII)
//   1      mpeg    00 00 01 BA at 0 and 00 00 01 BB within the first 32 bytes; or
//                  00 00 01 B3 at 0 and 00 00 01 B8 within the first 32 bytes
//   2      mp4     "ftyp" at 4, and "iso" at 8 or "mp42" at 8
//   3      rmvb    ".RMF" at 0
//   4      wmv     the ASF header object GUID 30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C
//   5      avi     "RIFF" at 0, "AVI " at 8, "LIST" at 12
//   6      3gp     "ftyp" at 4, "3gp" at 8
//   7      mp3     "ID3" at 0, bytes 3 and 4 not FF, byte 5 AND 1F is 0, bytes 6-9 below 80
//   8      mid     "MThd" at 0, 00 00 00 06 at 4, "MTrk" at 14
//   9      wav     "RIFF" at 0, "WAVE" at 8, "fmt " at 12
//   10     mov     "moov" at 4; or "ftyp" at 4 and "qt  " at 8
//   11     gif     "GIF" at 0, bytes 3 and 4 decimal digits, byte 5 a lower-case letter
//   12     bmp     "BM" or "BA" at 0, 16-bit words at 6 and 8 zero, 32-bit LE 40 at 14
//   13     jpg     FF D8 FF E0 at 0 and "JFIF" at 6; or FF D8 FF E1 at 0 and "Exif" at 6
//   14     png     89 50 4E 47 0D 0A 1A 0A at 0
//   15     ico     00 00 01 00 at 0; image count n (16-bit LE at 4) not 0; the n 16-byte
//                  directory entries from 6 lie within the first 512 bytes; each entry's
//                  byte 3 is 0 and its image offset (32-bit LE at entry + 12) equals the
//                  expected offset, which starts at 6 + 16 n and grows by each entry's image
//                  size (32-bit LE at entry + 8)
//   16     heic    "ftyp" at 4 and one of "heic" "heix" "hevc" "heim" "heis" "mif1" "msf1"
//                  at 8 (iPhone photos since iOS 11)
//   17     jpg     FF D8 FF at 0 (every other JPEG: quantisation-table and Adobe starts)
//
// A detector matches only when every byte it tests is present, so a short file is typed on
// the bytes it has; a file of 0 bytes has no type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace salvora {

// The detectors look at no more than this many leading bytes.
inline constexpr size_t kSignatureBytes = 512;

// The type of the leading bytes `head` (only the first kSignatureBytes are looked at): the
// extension of the table ("mp4", "jpg", ...; lower case, static storage), or an empty view
// when no detector matches.
[[nodiscard]] std::string_view DetectContentType(std::span<const uint8_t> head);

// What one look at a file gives: whether it exists, its type and its size.
struct FileProbe {
  enum class State {
    kMissing,     // nothing at the path (or a path component is not a folder)
    kUnreadable,  // something is there but cannot be read as a regular file
    kRead,        // a regular file; `type` and `size` are set
  };
  State state = State::kMissing;
  std::string_view type;  // empty when no detector matches
  uint64_t size = 0;      // from fstat

  [[nodiscard]] bool exists() const { return state != State::kMissing; }
  [[nodiscard]] bool typed() const { return !type.empty(); }
};

// Detects the type and size of the file at `path` with one open (read-only, non-blocking so
// that a FIFO cannot hang the walk), one fstat, one read of at most kSignatureBytes bytes and
// one close. Folders, devices, FIFOs and sockets are kUnreadable. Never throws.
[[nodiscard]] FileProbe ProbeFile(const std::filesystem::path& path);

// The detected type of the file at `path`, or empty (shorthand for ProbeFile(path).type).
[[nodiscard]] std::string_view DetectFileType(const std::filesystem::path& path);

}  // namespace salvora

// Result codes shared by every layer. 0 is success; SQLite's own codes and errno values pass
// through where a layer says so.
#pragma once

namespace salvora {

inline constexpr int kOk = 0;
// The progress callback asked to stop (the scan page's value for a stop request).
inline constexpr int kStopped = 2;
// Treated by the scan page like a stop, without a message.
inline constexpr int kStoppedSilently = -1;
// Wrong password for an encrypted backup.
inline constexpr int kWrongPassword = -110;
// Reported by the scan page with its own message (scan event 4).
inline constexpr int kOpenRefused = -111;
// A short read while copying a file.
inline constexpr int kShortRead = 30;
// A required file is missing or a path or argument is invalid.
inline constexpr int kInvalidParameter = 87;
// An SQL text failed.
inline constexpr int kSqlFailed = 1006;
// "Manifest.mbdb" cannot be opened.
inline constexpr int kMbdbUnopenable = 6009;

}  // namespace salvora

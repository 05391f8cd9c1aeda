// A file that the export writes: created (or truncated) inside the output folder, written in
// large buffered pieces, and closed or removed as one unit.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace salvora {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes the file (what was written stays)
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `path` or truncates it, after creating its parent folder with all missing levels.
  // A symbolic link at `path` is never followed, so a link planted in the output folder
  // cannot redirect the write elsewhere. Returns 0, or the errno of the failed folder
  // creation or open.
  [[nodiscard]] int Create(const std::filesystem::path& path);

  // Appends bytes. Errors are remembered and returned by Close.
  void Write(std::string_view bytes);

  // Flushes and closes. Returns 0, or the errno of the first failed write or of the close.
  // Calling it again, or without an open file, returns 0.
  [[nodiscard]] int Close();

  // Closes and deletes the file that Create made (for a file left incomplete by a cancel).
  // Does nothing when Create failed.
  void Remove();

  [[nodiscard]] bool is_open() const { return fd_ >= 0; }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  void Flush();

  int fd_ = -1;
  int error_ = 0;
  bool opened_ = false;  // Create succeeded for path_
  std::string buffer_;
  std::filesystem::path path_;
};

// Creates `folder` with all missing levels. Returns 0 (also when it exists as a folder), or
// the errno of the failure (a file in the way gives ENOTDIR or EEXIST).
[[nodiscard]] int CreateFolders(const std::filesystem::path& folder);

// Writes `bytes` to `path` so that either the whole new content or the old file is left:
// the text goes to a temporary file beside it, which then replaces `path`. Returns 0 or the
// errno of the failure.
[[nodiscard]] int ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace salvora

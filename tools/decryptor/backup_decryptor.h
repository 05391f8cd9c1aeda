// The decryptor's whole run: unlock the keybag with the password, decrypt the manifest and
// every file of an encrypted backup, and report progress as the engine expects it.
//
// Output texts (standard output, flushed as written):
//   "Count: N"        N of the backup's files handled so far (decrypted or failed), a running
//                     total printed at most every `countInterval` and once at the end
//   "Wrong password"  the password does not open the keybag; nothing is written
// Failures of single files, and why the run cannot start, go to standard error, one line
// each; after `maxNamedFiles` file lines the rest are only counted, in one closing line, so
// that a backup with many missing files cannot flood the reader's pipe. Names taken from the backup
// are escaped there so that they can never spell either of the two texts above.
//
// Writes: the decrypted files, flat in the output folder under their file ids; for a backup
// with "Manifest.db", its decryption as "Manifest.db-decypted" in the backup folder. Nothing
// else is ever written into the backup folder.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "decryptor/crypto.h"
#include "decryptor/keybag.h"

namespace salvora::decryptor {

// Exit statuses of the program.
inline constexpr int kExitDone = 0;  // ran to the end (single files may have failed)
inline constexpr int kExitWrongPassword = 1;
inline constexpr int kExitCannotRun = 2;  // bad arguments, no manifest, unreadable keybag, ...

class BackupDecryptor {
 public:
  struct Options {
    unsigned threads = 0;  // 0: one per processor, at least 2
    std::chrono::milliseconds countInterval{100};
    uint64_t maxNamedFiles = 1000;
  };

  // One backup file to produce.
  struct FileJob {
    std::string fileId;           // 40 hexadecimal digits: the output file's name
    std::filesystem::path input;  // the encrypted file in the backup
    std::string name;             // domain-relativePath, for diagnostics
    uint32_t protectionClass = 0;
    Bytes wrappedKey;                      // empty: the file is stored plain and is copied
    std::optional<uint64_t> expectedSize;  // checked after decryption (Manifest.db backups)
  };

  // `out` receives the progress texts, `err` the diagnostics; neither is closed.
  BackupDecryptor(std::FILE* out, std::FILE* err, Options options);
  BackupDecryptor(std::FILE* out, std::FILE* err) : BackupDecryptor(out, err, Options{}) {}

  // Decrypts the backup in `backup_folder` into `output_folder` (created when missing) with
  // `password` (UTF-8 bytes). Returns one of the exit statuses above.
  [[nodiscard]] int Run(const std::filesystem::path& backup_folder,
                        const std::filesystem::path& output_folder, const std::string& password);

  // Counters of the last Run.
  [[nodiscard]] uint64_t files_decrypted() const { return decrypted_; }
  [[nodiscard]] uint64_t files_failed() const { return failed_; }

 private:
  int RunModern(const std::filesystem::path& backup_folder, const Keybag& keybag,
                const std::optional<Bytes>& manifest_key, std::vector<FileJob>& jobs);
  int RunLegacy(const std::filesystem::path& backup_folder, std::vector<FileJob>& jobs);
  void ProcessJobs(const Keybag& keybag, const std::vector<FileJob>& jobs,
                   const std::filesystem::path& output_folder);
  void Note(const std::string& line);      // one diagnostic line, under the lock
  void NoteFile(const std::string& line);  // a line about one file, within the limit

  std::FILE* out_;
  std::FILE* err_;
  Options options_;
  std::mutex err_mutex_;
  uint64_t decrypted_ = 0;
  uint64_t failed_ = 0;
  uint64_t file_notes_ = 0;  // file lines asked for, named or not
};

// Text from a backup made safe for a diagnostic line: control bytes and backslashes are
// written as \xNN, and the texts "Count:" and "Wrong password" are broken up the same way.
[[nodiscard]] std::string EscapeForDiagnostics(std::string_view text);

// True for exactly 40 hexadecimal digits (the only file ids used as file names).
[[nodiscard]] bool IsFileId(std::string_view text);

}  // namespace salvora::decryptor

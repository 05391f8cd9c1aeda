// Decryption of an encrypted backup through the decryptor program, and its supervision.
//
// The decryptor is the program "tool" installed in the program folder. Each run works on a
// fresh copy, "tool.exe" in the work folder, started with three arguments: the backup
// folder, the output folder and the password (UTF-8). What the engine relies on:
//
//   standard output + error   one pipe; the engine looks for "Wrong password" and "Count:"
//   "Count: N"                N files handled so far (a running total, decimal)
//   "Wrong password"          the password does not open the backup's keybag
//   output folder             the decrypted files, named by their file ids (flat layout)
//   "Manifest.db-decypted"    for a backup holding "Manifest.db": its decrypted copy, written
//                             into the backup folder itself
//   standard input            a pipe that is never written to
//   exit                      the program ends by itself; its exit status is not used
//
// Progress: the whole decryption is one step of `progressSpan` percent. The first "Count:"
// lifts `progressBase` from 0 to 1; after that each read of the output reports
// progressBase + progressSpan * N / file count.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/progress.h"

namespace salvora {

// The stored decryptor in the program folder, and its working copy in the work folder.
inline constexpr const char* kDecryptorProgramName = "tool";
inline constexpr const char* kDecryptorWorkCopyName = "tool.exe";
// The decrypted manifest that the decryptor writes into the backup folder.
inline constexpr const char* kDecryptedManifestName = "Manifest.db-decypted";
// The folder below the scratch root that receives the decrypted files.
inline constexpr const char* kDecryptorOutputFolderName = "TarnwickBackupPath";

// The denominator of the decryption's progress: the entries directly in `backup_folder`
// plus the entries of each of its sub-folders (one level down); names that begin with "."
// are left out at both levels. A folder that cannot be read counts 0; an unreadable
// sub-folder counts as the one entry it is.
[[nodiscard]] int64_t CountBackupFiles(const std::filesystem::path& backup_folder);

// What one read of the decryptor's output says.
struct DecryptorOutput {
  bool wrongPassword = false;  // the text contains "Wrong password"
  bool hasCount = false;       // the text contains "Count:"
  int64_t count = 0;           // the decimal number after the first "Count:" (0 without one)
};

// Reads one chunk of the decryptor's output. Blanks between "Count:" and the number are
// skipped; a number too long for 64 bits saturates.
[[nodiscard]] DecryptorOutput ParseDecryptorOutput(std::string_view text);

// Decrypts the encrypted backup in `backup_folder` into `output_folder` by running the
// decryptor and following its output, as the local-backup engine's Open needs it.
//
//   progress        the engine's progress state; its callback and user-data word are used
//                   for every report, and `progressBase` is set to 1 when the decryptor's
//                   first "Count:" arrives while it is still 0. `progressSpan` must already
//                   hold the step's share (10 for an encrypted backup). Reports: 1 (once,
//                   see above), then progressBase + progressSpan * N / file count after
//                   every read (N clamped to the file count, so a step never overshoots),
//                   and progressBase + progressSpan once more at the end.
//   backup_folder   the backup as the user chose it; only the decryptor writes there (its
//                   "Manifest.db-decypted").
//   output_folder   receives the decrypted files; created with missing parents. Files
//                   already in it are not removed (the engine's clean-up does that).
//   work_folder     receives "tool.exe", replacing an older copy (a copy that is still
//                   running from an earlier, stopped decryption is not disturbed); created
//                   with missing parents.
//   program_folder  the folder holding the stored decryptor "tool".
//   password        the user's password, handed to the decryptor as UTF-8; may be empty.
//   decrypted_files replaced, on success only, by the paths of the output folder's entries.
//
// Returns 0 when the decryptor ended without "Wrong password" (files it could not decrypt
// are simply missing from the output folder); kWrongPassword (-110) when its output holds
// "Wrong password" (the count in the same read is not reported); kInvalidParameter (87)
// when "tool" cannot be copied, the output folder cannot be created, or the decryptor or its
// pipes cannot be started; the callback's non-zero value (2 for a stop) when a report asks
// to stop. On a stop the decryptor is left to finish on its own; whatever it wrote stays.
// Runs on the caller's thread and blocks until the decryptor has ended (and its output has
// been read, for at most 100 further passes of 5 ms) or a report asks to stop; a callback
// that blocks (pause) blocks the supervision, while the decryptor goes on.
[[nodiscard]] int DecryptBackup(ProgressState& progress, const std::filesystem::path& backup_folder,
                                const std::filesystem::path& output_folder,
                                const std::filesystem::path& work_folder,
                                const std::filesystem::path& program_folder,
                                const std::u16string& password,
                                std::vector<std::filesystem::path>& decrypted_files);

}  // namespace salvora

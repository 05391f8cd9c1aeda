// The synthetic-backup builder: writes a complete, realistic backup folder of one iOS
// generation, and reports what a correct reader must find in it.
//
// Layout written into the folder:
//   Info.plist, Manifest.plist, Status.plist   XML as the desktop sync software writes them,
//                                              or binary property lists
//   Manifest.mbdb + flat layout                generations 7 and 9
//   Manifest.db + two-level layout (xx/id)     generations 12, 15 and 17
//   the phone's databases at their fixed file ids (sms.db, AddressBook.sqlitedb, the call
//   history stores, the notes stores) and ChatStorage.sqlite of WhatsApp, with the real
//   schemas of the generation (see sample_databases.h)
//   media files (camera roll, photo stream, message attachments, app and WhatsApp files),
//   app and system files, directories and symbolic links
//
// Same options and seed, same bytes: nothing reads a clock or a random device, and every
// date is fixed relative to kSampleBaseTime.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/sample_databases.h"

namespace salvora::sample {

// 2023-11-14 22:13:20 UTC: the "Last Backup Date"; every other date lies before it.
inline constexpr int64_t kSampleBaseTime = 1700000000;

struct SampleOptions {
  int generation = 15;         // 7, 9, 12, 15 or 17
  bool binary_plists = false;  // Info.plist, Manifest.plist and Status.plist as bplist00
  bool encrypted = false;      // IsEncrypted in Manifest.plist; the content stays plain
  // Address-book layout; default: c15Phone up to generation 9, c16Phone after.
  std::optional<AddressBookLayout> address_book_layout;
  uint64_t seed = 1;
  // Adds the fixed rows and files that exercise the readers' edge cases (handle id 0,
  // messages outside a chat, a contact without phone, calls of 0, 59, 60 and 3600 seconds,
  // notes with markup, WhatsApp groups, hostile file names, short and empty files, ...).
  bool edge_cases = true;

  // Sizes of the generated content, on top of the edge cases.
  int handles = 6;
  int messages = 40;
  int message_attachments = 6;
  int contacts = 8;
  int calls = 10;
  int notes = 5;
  int whatsapp_chats = 3;
  int whatsapp_messages = 30;
  int whatsapp_media = 4;
  int camera_roll = 8;   // photos and videos under CameraRollDomain-Media/DCIM/
  int photo_stream = 3;  // pictures under MediaDomain-Media/PhotoStreamsData/
  int app_files = 6;     // pictures, videos and sounds in apps' Documents folders
  // Manifest rows whose hashed file is left out of the folder (as in a partial copy); they
  // are taken from the system files, so no category loses an item.
  int missing_files = 3;
  // Total manifest rows to reach with system files, folders and links; 0 adds none beyond
  // what the content needs.
  int manifest_rows = 0;
};

// Options of a named preset: "tiny" (edge cases and a handful of rows, for unit tests),
// "small", "demo" (the bundled sample the main job scans; a few MB) and "large" (for
// benchmarks: 300,000 manifest rows, 50,000 photo files, 200,000 messages over 2,000
// handles, 5,000 contacts, 20,000 calls, 2,000 notes, 200,000 WhatsApp messages).
// Returns false for an unknown name (`options` unchanged).
[[nodiscard]] bool PresetOptions(std::string_view name, SampleOptions& options);

// What a correct reader finds in the folder. Every figure is computed from the rows and files
// the builder wrote, never by running a reader. The rules:
//   manifest_rows        rows of Manifest.db, or records of Manifest.mbdb (folders included)
//   manifest_entries     index entries: every Manifest.db row; for Manifest.mbdb the records
//                        with a non-empty domain and path that are not folders
//   messages             one per chat_message_join row whose message has a non-empty text and
//                        a handle_id naming a handle row (handle id 0 never does); a message
//                        in two chats counts twice
//   message_conversations  distinct handle ids of those messages
//   contacts             address-book people whose full-text phone column is non-empty
//   calls                ZCALLRECORD rows with a non-empty ZADDRESS in the current store
//                        when the backup has it, else in the older store (whose "call" table
//                        is not ZCALLRECORD, so 0)
//   notes                older-store notes with a non-empty title or body; when there are
//                        none, newer-store rows with a non-empty ZTITLE1 or ZSNIPPET
//   whatsapp_messages    ZWAMESSAGE rows with a non-zero chat whose text is non-empty, or
//                        whose first media item (by row order) has a non-empty title
//   whatsapp_chats       distinct chats of those messages
//   camera_roll, photo_stream  files whose key holds "CameraRollDomain-Media/DCIM/" or
//                        "MediaDomain-Media/PhotoStreamsData/", present on disk and of a
//                        detected type (HEIC and any FF D8 FF file are pictures; a file
//                        under 512 bytes is typed on the bytes it has; 0 bytes: no type)
//   message_attachments  files with "/Attachments/" in the key, present, typed, non-empty
//   whatsapp_attachments files with "AppDomain-" and "net.whatsapp.WhatsApp" in the key,
//                        present, typed, non-empty
//   app_files            other "AppDomain-" files, present and typed (any size);
//                        app_videos those typed as video or sound, app_photos the rest
//   missing_keys         manifest keys (domain "-" path) of files left out of the folder
struct SampleReport {
  std::filesystem::path folder;
  int generation = 0;
  bool two_level = false;  // Manifest.db and xx/ sub-folders
  int manifest_rows = 0;
  int manifest_entries = 0;
  int messages = 0;
  int message_conversations = 0;
  int contacts = 0;
  int calls = 0;
  int notes = 0;
  int whatsapp_messages = 0;
  int whatsapp_chats = 0;
  int camera_roll = 0;
  int photo_stream = 0;
  int message_attachments = 0;
  int whatsapp_attachments = 0;
  int app_files = 0;
  int app_photos = 0;
  int app_videos = 0;
  int64_t bytes_written = 0;  // all files of the folder
  // Keys of the files counted above, in manifest order.
  std::vector<std::string> camera_roll_keys;
  std::vector<std::string> photo_stream_keys;
  std::vector<std::string> message_attachment_keys;
  std::vector<std::string> whatsapp_attachment_keys;
  std::vector<std::string> app_file_keys;
  std::vector<std::string> missing_keys;
  // A sentence saying what failed; empty on success.
  std::string error;
};

// Writes the backup into `folder`, which must not exist or be empty (it is created). Returns
// 0; 87 (invalid parameter) for an unknown generation, negative counts or a folder that is a
// file or not empty; errno of a failed file operation; or SQLite's code of a failed database.
// `report` is filled in every case; on failure its `error` says why and the folder may hold
// a partial backup.
[[nodiscard]] int WriteSampleBackup(const std::filesystem::path& folder,
                                    const SampleOptions& options, SampleReport& report);

// The file id of a manifest key: SHA-1 of "domain-relativePath", lower-case hexadecimal.
[[nodiscard]] std::string FileId(std::string_view domain, std::string_view relative_path);

// Path of a file id in a backup folder: folder/id (flat) or folder/xx/id (two-level).
[[nodiscard]] std::filesystem::path HashedPath(const std::filesystem::path& folder,
                                               const std::string& file_id, bool two_level);

}  // namespace salvora::sample

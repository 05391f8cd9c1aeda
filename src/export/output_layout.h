// The folder tree of an export and how every name in it is formed.
//
// Everything of a recover run goes below the output root the user picked:
//
//   Camera Roll/, Photo Stream/, Message Attachments/, WhatsApp Attachments/
//                                 copies under the file record's name
//   App Photos/<app>/, App Video/<app>/
//                                 copies under the app file's name
//   Message/<contact>-<stamp>/    <contact>(<address>).txt and .html per conversation
//   Message/sms.csv, sms.db       the run's messages as a table; the raw messages database
//   Contacts/<stamp>/             Contacts.html, Contacts.csv, AddressBook.sqlitedb
//   CallHistory/CallHistory_<stamp>.html
//   Notes/Notes_<stamp>.html
//   WhatsApp Message/<chat>-<stamp>/   <chat>.txt, .csv and .html per chat
//
// <stamp> is the run stamp, fourteen digits of the local time when the run starts
// (20150307090502). Copies and conversation files are made unique ("IMG_0001(1).JPG") when
// the name is taken; the category pages of one stamp are replaced.
//
// Names taken from records pass through SafeName, so no record can name a folder level, a
// parent folder or a character a file system refuses: whatever a record holds, every path
// built here stays below the output root.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/category_id.h"
#include "core/records.h"

namespace salvora {

// Longest name component that the common file systems accept, in bytes of UTF-8.
inline constexpr size_t kMaxNameBytes = 255;

// The run stamp of a calendar time: "%04d%02d%02d%02d%02d%02d".
[[nodiscard]] std::u16string FormatRunStamp(const std::tm& local_time);
// The run stamp of the local clock now.
[[nodiscard]] std::u16string RunStampNow();

// A name component made safe for any file system: "/", "\", NUL and other control
// characters and : * ? " < > | become "_"; trailing blanks and dots are trimmed; a name that
// is then empty, or was "." or "..", becomes "_"; the result is cut to `max_bytes` bytes of
// UTF-8 without splitting a character (an unpaired surrogate counts as U+FFFD).
[[nodiscard]] std::u16string SafeName(std::u16string_view name, size_t max_bytes = kMaxNameBytes);

// SafeName for a file name: when the name is too long the base is cut and the extension
// (from the last dot; at most 32 bytes) is kept, so "….JPG" stays a JPEG.
[[nodiscard]] std::u16string SafeFileName(std::u16string_view name);

// SafeName(`name`, room for `suffix`) followed by `suffix`, which is the program's own text
// (".txt", "-20150307090502") and is not changed.
[[nodiscard]] std::u16string SafeNameWithSuffix(std::u16string_view name,
                                                std::u16string_view suffix);

// A path from UTF-16 name text (the bytes on disk are its UTF-8).
[[nodiscard]] std::filesystem::path PathOf(std::u16string_view name);

// The folder name of a category under the output root ("Camera Roll", "App Video", ...);
// empty for a value outside the eleven.
[[nodiscard]] std::u16string_view CategoryFolderName(CategoryId id);
[[nodiscard]] std::filesystem::path CategoryFolder(const std::filesystem::path& root,
                                                   CategoryId id);

// The wanted path when nothing of that name exists (a dangling link counts as existing);
// otherwise the first of <base>(1)<ext>, <base>(2)<ext>, ... that is free. The extension is
// the last dot and what follows; a name without a dot has none. When the numbered name
// would pass kMaxNameBytes the base is cut for it. A name whose existence cannot be checked
// (a parent that is not a folder, no permission) is taken: opening it reports the error.
[[nodiscard]] std::filesystem::path UniquePath(const std::filesystem::path& wanted);

// Destination of a file of categories 1, 2, 6 and 11 (not yet unique).
[[nodiscard]] std::filesystem::path FileDestination(const std::filesystem::path& root,
                                                    CategoryId id, const FileRecord& file);
// Folder of an app's files in category 3 or 4, and a file's destination in it (not unique).
[[nodiscard]] std::filesystem::path AppFolder(const std::filesystem::path& root, CategoryId id,
                                              const AppFileRecord& file);
[[nodiscard]] std::filesystem::path AppFileDestination(const std::filesystem::path& root,
                                                       CategoryId id, const AppFileRecord& file);

// The name of a message conversation: `contactName`, or "Unknown" when it is empty.
[[nodiscard]] std::u16string MessageContactName(const MessageRecord& row);
// The file base of a message conversation: <contact name>(<address>), or the contact name
// alone when the address is empty.
[[nodiscard]] std::u16string MessageFileBase(const MessageRecord& row);
// The name of a WhatsApp chat: <memberNames>(<memberJids>), or `memberJids` alone when there
// are no member names; `chatName` for a group (member names with a comma); "Unknown" when
// the result is empty.
[[nodiscard]] std::u16string WhatsAppChatName(const ChatRecord& row);

// Folder and files of one conversation. The file paths are made unique when they are
// formed, so form them right before the files are written.
struct ConversationPaths {
  std::filesystem::path folder;
  std::filesystem::path transcript;  // .txt
  std::filesystem::path table;       // .csv (WhatsApp only)
  std::filesystem::path page;        // .html
};
[[nodiscard]] std::filesystem::path MessageConversationFolder(const std::filesystem::path& root,
                                                              const MessageRecord& row,
                                                              std::u16string_view stamp);
[[nodiscard]] ConversationPaths MessageConversationPaths(const std::filesystem::path& root,
                                                         const MessageRecord& row,
                                                         std::u16string_view stamp);
[[nodiscard]] std::filesystem::path WhatsAppChatFolder(const std::filesystem::path& root,
                                                       const ChatRecord& row,
                                                       std::u16string_view stamp);
[[nodiscard]] ConversationPaths WhatsAppChatPaths(const std::filesystem::path& root,
                                                  const ChatRecord& row, std::u16string_view stamp);

// The pages and tables of one run, all at fixed names.
[[nodiscard]] std::filesystem::path ContactsFolder(const std::filesystem::path& root,
                                                   std::u16string_view stamp);
[[nodiscard]] std::filesystem::path ContactsPagePath(const std::filesystem::path& root,
                                                     std::u16string_view stamp);
[[nodiscard]] std::filesystem::path ContactsTablePath(const std::filesystem::path& root,
                                                      std::u16string_view stamp);
[[nodiscard]] std::filesystem::path AddressBookCopyPath(const std::filesystem::path& root,
                                                        std::u16string_view stamp);
[[nodiscard]] std::filesystem::path CallHistoryPagePath(const std::filesystem::path& root,
                                                        std::u16string_view stamp);
[[nodiscard]] std::filesystem::path NotesPagePath(const std::filesystem::path& root,
                                                  std::u16string_view stamp);
// "Message/sms.csv" and "Message/sms.db": shared by every run on one output root.
[[nodiscard]] std::filesystem::path MessagesTablePath(const std::filesystem::path& root);
[[nodiscard]] std::filesystem::path MessagesDatabaseCopyPath(const std::filesystem::path& root);

}  // namespace salvora

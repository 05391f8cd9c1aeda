// The databases that the engines open by their file id, without the manifest index. Each id
// is computed from its key with the file-id rule (file_id_hasher.h).
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace salvora {

enum class FixedFile {
  kMessages,          // HomeDomain-Library/SMS/sms.db
  kAddressBook,       // HomeDomain-Library/AddressBook/AddressBook.sqlitedb
  kCallHistory,       // HomeDomain-Library/CallHistoryDB/CallHistory.storedata
  kCallHistoryOlder,  // WirelessDomain-Library/CallHistory/call_history.db
  kNotesOlder,        // HomeDomain-Library/Notes/notes.sqlite
  kNotesNewer,        // AppDomainGroup-group.com.apple.notes-NoteStore.sqlite
};

inline constexpr std::array<FixedFile, 6> kAllFixedFiles = {
    FixedFile::kMessages,         FixedFile::kAddressBook, FixedFile::kCallHistory,
    FixedFile::kCallHistoryOlder, FixedFile::kNotesOlder,  FixedFile::kNotesNewer};

// The key the id is derived from (domain "-" relative path).
[[nodiscard]] std::string_view FixedFileKey(FixedFile file);

// The 40-digit file id of `file`; computed once per process (thread-safe) and kept. Empty
// only when OpenSSL has no SHA-1.
[[nodiscard]] const std::string& FixedFileId(FixedFile file);

}  // namespace salvora

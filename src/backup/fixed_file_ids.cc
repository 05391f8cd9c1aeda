#include "backup/fixed_file_ids.h"

#include "backup/file_id_hasher.h"

namespace salvora {

std::string_view FixedFileKey(FixedFile file) {
  switch (file) {
    case FixedFile::kMessages:
      return "HomeDomain-Library/SMS/sms.db";
    case FixedFile::kAddressBook:
      return "HomeDomain-Library/AddressBook/AddressBook.sqlitedb";
    case FixedFile::kCallHistory:
      return "HomeDomain-Library/CallHistoryDB/CallHistory.storedata";
    case FixedFile::kCallHistoryOlder:
      return "WirelessDomain-Library/CallHistory/call_history.db";
    case FixedFile::kNotesOlder:
      return "HomeDomain-Library/Notes/notes.sqlite";
    case FixedFile::kNotesNewer:
      return "AppDomainGroup-group.com.apple.notes-NoteStore.sqlite";
  }
  return {};
}

const std::string& FixedFileId(FixedFile file) {
  // Computed on first use from the keys; a function-local static is initialised once even
  // when several threads ask at the same time.
  static const std::array<std::string, kAllFixedFiles.size()> ids = [] {
    std::array<std::string, kAllFixedFiles.size()> out;
    FileIdHasher hasher;
    for (size_t i = 0; i < kAllFixedFiles.size(); ++i)
      out[i] = hasher.IdOfKey(FixedFileKey(kAllFixedFiles[i]));
    return out;
  }();
  size_t index = static_cast<size_t>(file);
  static const std::string empty;
  return index < ids.size() ? ids[index] : empty;
}

}  // namespace salvora

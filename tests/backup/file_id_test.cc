#include "backup/file_id_hasher.h"

#include <gtest/gtest.h>

#include "backup/fixed_file_ids.h"

namespace salvora {
namespace {

// The ids that real backups store for the databases the engines open directly.
struct FixedIdCase {
  FixedFile file;
  const char* key;
  const char* id;
};
constexpr FixedIdCase kFixedIds[] = {
    {FixedFile::kMessages, "HomeDomain-Library/SMS/sms.db",
     "3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
    {FixedFile::kAddressBook, "HomeDomain-Library/AddressBook/AddressBook.sqlitedb",
     "31bb7ba8914766d4ba40d6dfb6113c8b614be442"},
    {FixedFile::kCallHistory, "HomeDomain-Library/CallHistoryDB/CallHistory.storedata",
     "5a4935c78a5255723f707230a451d79c540d2741"},
    {FixedFile::kCallHistoryOlder, "WirelessDomain-Library/CallHistory/call_history.db",
     "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca"},
    {FixedFile::kNotesOlder, "HomeDomain-Library/Notes/notes.sqlite",
     "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c"},
    {FixedFile::kNotesNewer, "AppDomainGroup-group.com.apple.notes-NoteStore.sqlite",
     "4f98687d8ab0d6d1a371110e6b7300f6e465bef2"},
};

TEST(FileIdTest, FixedIdsComeOutOfTheSha1Rule) {
  ASSERT_EQ(std::size(kFixedIds), kAllFixedFiles.size());
  FileIdHasher hasher;
  ASSERT_TRUE(hasher.ok());
  for (const FixedIdCase& c : kFixedIds) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(FixedFileKey(c.file), c.key);
    EXPECT_EQ(FixedFileId(c.file), c.id);
    EXPECT_EQ(hasher.IdOfKey(c.key), c.id);
    EXPECT_EQ(FileIdOfKey(c.key), c.id);
    // Hashing domain and path apart inserts the "-" between them.
    std::string_view key = c.key;
    size_t dash = key.find('-');
    EXPECT_EQ(hasher.IdOf(key.substr(0, dash), key.substr(dash + 1)), c.id);
  }
}

TEST(FileIdTest, PublishedDigestsOfOtherInputs) {
  // FIPS 180-1 test vectors and the empty text: lower-case, 40 digits, most significant first.
  FileIdHasher hasher;
  EXPECT_EQ(hasher.IdOfKey(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(hasher.IdOfKey("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // Bytes are hashed as they are, whatever their encoding.
  EXPECT_EQ(hasher.IdOf("a", "b"), hasher.IdOfKey("a-b"));
  EXPECT_EQ(hasher.IdOfKey(std::string_view("\xFF\x00x", 3)).size(), 40u);
}

}  // namespace
}  // namespace salvora

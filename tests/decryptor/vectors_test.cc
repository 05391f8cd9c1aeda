// Every intermediate key of the encrypted fixtures, step by step: the two PBKDF2 stages, the
// KEK, the class keys, the ManifestKey and each file's key.
#include <string>

#include <gtest/gtest.h>

#include "decryptor/archived_file.h"
#include "decryptor/crypto.h"
#include "decryptor/keybag.h"
#include "decryptor/manifest_plist.h"
#include "records/sqlite_db.h"
#include "test_util.h"

namespace salvora::testing {
namespace {

using decryptor::Bytes;
using decryptor::FromHex;
using decryptor::Keybag;
using decryptor::ToHex;

class VectorsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(VectorsTest, KeysMatchStepByStep) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, GetParam());
  ASSERT_NE(b, nullptr);
  const JsonValue& kv = (*b)["keybag"];

  std::optional<decryptor::ManifestPlist> plist = decryptor::ReadManifestPlist(
      EncryptedFixtures() / (*b)["backup_dir"].str() / "Manifest.plist");
  ASSERT_TRUE(plist);
  EXPECT_TRUE(plist->isEncrypted);
  std::optional<Keybag> bag = Keybag::Parse(plist->backupKeyBag);
  ASSERT_TRUE(bag);
  EXPECT_EQ(bag->has_second_stage(), !kv["DPSL"].is_null());

  // The KDF input is the password's UTF-8 bytes.
  Bytes password = *FromHex((*b)["password_utf8_hex"].str());
  EXPECT_EQ(password, decryptor::ToBytes((*b)["password"].str()));
  Bytes first_stage;
  std::optional<Bytes> kek = bag->DeriveKek(password, &first_stage);
  ASSERT_TRUE(kek);
  if (!kv["pbkdf2_sha256_output"].is_null()) {
    EXPECT_EQ(ToHex(first_stage), kv["pbkdf2_sha256_output"].str());
  }
  EXPECT_EQ(ToHex(*kek), kv["kek_pbkdf2_sha1_output"].str());

  ASSERT_EQ(bag->UnlockWithKek(*kek), Keybag::UnlockResult::kOk);
  ASSERT_EQ(bag->class_keys().size(), kv["class_keys"].members().size());
  for (const auto& [cls, key] : kv["class_keys"].members()) {
    SCOPED_TRACE("class " + cls);
    const Keybag::ClassKey& ck = bag->class_keys().at(static_cast<uint32_t>(std::stoul(cls)));
    EXPECT_EQ(ToHex(ck.wrappedKey), kv["wrapped_class_keys_WPKY"][cls].str());
    EXPECT_EQ(ToHex(ck.key), key.str());
  }

  const JsonValue& mv = (*b)["manifest_db"];
  if (!mv.is_null()) {
    ASSERT_TRUE(plist->manifestKey);
    EXPECT_EQ(ToHex(*plist->manifestKey), mv["ManifestKey"].str());
    auto split = decryptor::SplitClassWrappedKey(*plist->manifestKey);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->protectionClass, static_cast<uint32_t>(mv["ManifestKey_class"].integer()));
    std::optional<Bytes> key = bag->UnwrapKey(split->protectionClass, split->wrappedKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(ToHex(*key), mv["manifest_db_key"].str());
  } else {
    EXPECT_FALSE(plist->manifestKey);
  }

  for (const JsonValue& f : (*b)["files"].items()) {
    SCOPED_TRACE(f["relativePath"].str());
    auto split = decryptor::SplitClassWrappedKey(*FromHex(f["EncryptionKey_NS_data"].str()));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->protectionClass, static_cast<uint32_t>(f["protection_class"].integer()));
    std::optional<Bytes> key = bag->UnwrapKey(split->protectionClass, split->wrappedKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(ToHex(*key), f["file_key"].str());
    // Each class key is distinct: the neighbouring class must fail the integrity check.
    EXPECT_FALSE(bag->UnwrapKey(split->protectionClass % 11 + 1, split->wrappedKey));
  }
}

TEST_P(VectorsTest, WrongPasswordFailsTheUnwrap) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, GetParam());
  ASSERT_NE(b, nullptr);
  auto plist = decryptor::ReadManifestPlist(EncryptedFixtures() / (*b)["backup_dir"].str() /
                                            "Manifest.plist");
  ASSERT_TRUE(plist);
  std::optional<Keybag> bag = Keybag::Parse(plist->backupKeyBag);
  ASSERT_TRUE(bag);
  EXPECT_EQ(bag->Unlock(decryptor::ToBytes((*vectors)["wrong_password"].str())),
            Keybag::UnlockResult::kWrongPassword);
  for (const auto& [cls, ck] : bag->class_keys()) EXPECT_TRUE(ck.key.empty()) << cls;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, VectorsTest, ::testing::Values("modern", "legacy"));

// The EncryptionKey of every row's `file` blob in the plain manifest, as the vectors hold it.
TEST(ArchivedFileTest, BlobsOfThePlainManifestGiveTheVectorKeys) {
  SALVORA_REQUIRE_VECTORS(vectors);
  const JsonValue* b = BackupVectors(*vectors, "modern");
  ASSERT_NE(b, nullptr);
  SqliteDb db;
  ASSERT_EQ(db.OpenReadOnly((EncryptedFixtures() / "expected/modern/Manifest.db.plain").string()),
            SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT fileID, file FROM Files", -1, &stmt, nullptr),
            SQLITE_OK);
  int with_key = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::string id(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    std::string_view blob(static_cast<const char*>(sqlite3_column_blob(stmt, 1)),
                          static_cast<size_t>(sqlite3_column_bytes(stmt, 1)));
    auto archived = decryptor::ParseArchivedFile(blob);
    ASSERT_TRUE(archived) << id;
    for (const JsonValue& f : (*b)["files"].items()) {
      if (f["fileID"].str() != id) continue;
      ASSERT_TRUE(archived->encryptionKey) << id;
      EXPECT_EQ(ToHex(*archived->encryptionKey), f["EncryptionKey_NS_data"].str());
      EXPECT_EQ(archived->size, static_cast<uint64_t>(f["size"].integer()));
      EXPECT_EQ(archived->protectionClass, static_cast<uint32_t>(f["protection_class"].integer()));
      ++with_key;
    }
  }
  sqlite3_finalize(stmt);
  EXPECT_EQ(with_key, static_cast<int>((*b)["files"].items().size()));
}

}  // namespace
}  // namespace salvora::testing

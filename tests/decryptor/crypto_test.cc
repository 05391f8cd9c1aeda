// The building blocks of the decryptor: published vectors for PBKDF2 and the AES key wrap,
// malformed keybags, the CBC file decryption across buffer boundaries and the escaping of
// names on standard error.
#include <string>
#include <vector>

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include "decryptor/backup_decryptor.h"
#include "decryptor/cbc_file_decryptor.h"
#include "decryptor/crypto.h"
#include "decryptor/keybag.h"
#include "test_util.h"

namespace salvora::testing {
namespace {

using decryptor::Bytes;
using decryptor::CbcFileDecryptor;
using decryptor::FromHex;
using decryptor::ToBytes;
using decryptor::ToHex;

TEST(CryptoTest, Pbkdf2MatchesPublishedVectors) {
  // RFC 6070 (HMAC-SHA1) and the matching HMAC-SHA256 values.
  EXPECT_EQ(ToHex(*decryptor::Pbkdf2Sha1(ToBytes("password"), ToBytes("salt"), 1, 20)),
            "0c60c80f961f0e71f3a9b524af6012062fe037a6");
  EXPECT_EQ(ToHex(*decryptor::Pbkdf2Sha1(ToBytes("password"), ToBytes("salt"), 4096, 20)),
            "4b007901b765489abead49d926f721d065a429c1");
  EXPECT_EQ(ToHex(*decryptor::Pbkdf2Sha256(ToBytes("password"), ToBytes("salt"), 1, 32)),
            "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
  EXPECT_TRUE(decryptor::Pbkdf2Sha1(Bytes{}, ToBytes("salt"), 1, 32));  // an empty password
  EXPECT_FALSE(decryptor::Pbkdf2Sha1(ToBytes("password"), ToBytes("salt"), 0, 32));
}

TEST(CryptoTest, KeyWrapMatchesRfc3394AndChecksIntegrity) {
  // RFC 3394 section 4.6: 256 bits of key data with a 256-bit KEK.
  Bytes kek = *FromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
  Bytes key = *FromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F");
  const std::string wrapped =
      "28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21";
  EXPECT_EQ(ToHex(*decryptor::AesKeyWrap(kek, key)), wrapped);
  EXPECT_EQ(decryptor::AesKeyUnwrap(kek, *FromHex(wrapped)), key);

  Bytes damaged = *FromHex(wrapped);
  damaged[5] ^= 1;
  EXPECT_FALSE(decryptor::AesKeyUnwrap(kek, damaged));
  Bytes other_kek = kek;
  other_kek[0] ^= 1;
  EXPECT_FALSE(decryptor::AesKeyUnwrap(other_kek, *FromHex(wrapped)));
  EXPECT_FALSE(decryptor::AesKeyUnwrap(kek, Bytes(39)));  // not whole 8-byte blocks
  EXPECT_FALSE(decryptor::AesKeyUnwrap(kek, Bytes(16)));  // shorter than two blocks + check
  EXPECT_FALSE(decryptor::AesKeyUnwrap(Bytes(20), *FromHex(wrapped)));  // no AES key size
}

Bytes Tlv(const char* tag, const Bytes& value, uint32_t declared) {
  Bytes out(tag, tag + 4);
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(declared >> s));
  out.insert(out.end(), value.begin(), value.end());
  return out;
}
Bytes Tlv(const char* tag, const Bytes& value) {
  return Tlv(tag, value, static_cast<uint32_t>(value.size()));
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(KeybagTest, MalformedRecordsAreRejected) {
  const Bytes four{0, 0, 0, 1};
  const Bytes header = Cat({Tlv("UUID", Bytes(16)), Tlv("SALT", Bytes(20, 7)), Tlv("ITER", four)});
  struct Case {
    const char* what;
    Bytes bag;
  };
  const std::vector<Case> cases = {
      {"a record head cut short", Cat({header, Bytes{'C', 'L', 'A'}})},
      {"a length past the end", Cat({header, Tlv("SALT", Bytes(4), 5)})},
      {"an integer of three bytes", Cat({Tlv("UUID", Bytes(16)), Tlv("ITER", Bytes(3))})},
      {"a class record without WPKY", Cat({header, Tlv("UUID", Bytes(16)), Tlv("CLAS", four)})},
      {"a class record without CLAS",
       Cat({header, Tlv("UUID", Bytes(16)), Tlv("WPKY", Bytes(40))})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(decryptor::Keybag::Parse(c.bag));
  }

  // Well-formed, but no class key is wrapped with the password: nothing a password opens.
  auto device_only =
      decryptor::Keybag::Parse(Cat({header, Tlv("UUID", Bytes(16)), Tlv("CLAS", four),
                                    Tlv("WRAP", Bytes{0, 0, 0, 1}), Tlv("WPKY", Bytes(40))}));
  ASSERT_TRUE(device_only);
  EXPECT_EQ(device_only->Unlock(ToBytes("x")), decryptor::Keybag::UnlockResult::kUnusable);
}

// Encrypts `plain` the way a backup stores a file (zero IV; PKCS#7 unless `pad` is false).
std::string Encrypt(const std::string& plain, const Bytes& key, bool pad = true) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  static const uint8_t kIv[16] = {};
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), kIv);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  std::string out(plain.size() + 32, '\0');
  int n = 0, tail = 0;
  auto* o = reinterpret_cast<uint8_t*>(out.data());
  EVP_EncryptUpdate(ctx, o, &n, reinterpret_cast<const uint8_t*>(plain.data()),
                    static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(ctx, o + n, &tail);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n + tail));
  return out;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
  return s;
}

TEST(CbcFileDecryptorTest, RoundTripsAcrossBufferBoundaries) {
  TempDir dir;
  const Bytes key(32, 0x42);
  // A 32-byte buffer, so these sizes end inside, on, and past buffer and block boundaries.
  CbcFileDecryptor decryptor(32);
  for (size_t size : {1, 15, 16, 17, 31, 32, 33, 47, 48, 64, 100, 1000}) {
    SCOPED_TRACE(size);
    const std::string plain = Pattern(size);
    WriteFileBytes(dir.path() / "in", Encrypt(plain, key));
    auto r = decryptor.DecryptFile(dir.path() / "in", dir.path() / "out", key,
                                   CbcFileDecryptor::Padding::kRequired);
    ASSERT_EQ(r.status, CbcFileDecryptor::Status::kOk);
    EXPECT_EQ(r.plainSize, size);
    EXPECT_EQ(ReadFileBytes(dir.path() / "out"), plain);
  }
}

TEST(CbcFileDecryptorTest, DamagedFilesFailAndLeaveNoOutput) {
  TempDir dir;
  const Bytes key(32, 0x42);
  const std::string good = Encrypt(Pattern(40), key);
  struct Case {
    const char* what;
    std::string cipher;
    Bytes key;
    CbcFileDecryptor::Status status;
  };
  const std::vector<Case> cases = {
      {"cut inside a block", good.substr(0, good.size() - 3), key,
       CbcFileDecryptor::Status::kNotBlockAligned},
      {"wrong key", good, Bytes(32, 0x43), CbcFileDecryptor::Status::kBadPadding},
      {"no padding", Encrypt(std::string(32, 'a'), key, false), key,
       CbcFileDecryptor::Status::kBadPadding},
  };
  CbcFileDecryptor decryptor(32);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir.path() / "in", c.cipher);
    auto r = decryptor.DecryptFile(dir.path() / "in", dir.path() / "out", c.key,
                                   CbcFileDecryptor::Padding::kRequired);
    EXPECT_EQ(r.status, c.status);
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
  }
  auto missing = decryptor.DecryptFile(dir.path() / "none", dir.path() / "out", key,
                                       CbcFileDecryptor::Padding::kRequired);
  EXPECT_EQ(missing.status, CbcFileDecryptor::Status::kCannotOpenInput);

  // An output path that is a symbolic link is refused, and its target left alone.
  WriteFileBytes(dir.path() / "in", good);
  WriteFileBytes(dir.path() / "target", "keep");
  fs::create_symlink(dir.path() / "target", dir.path() / "link");
  auto linked = decryptor.DecryptFile(dir.path() / "in", dir.path() / "link", key,
                                      CbcFileDecryptor::Padding::kRequired);
  EXPECT_EQ(linked.status, CbcFileDecryptor::Status::kCannotOpenOutput);
  EXPECT_EQ(ReadFileBytes(dir.path() / "target"), "keep");
}

TEST(CbcFileDecryptorTest, OptionalPaddingKeepsWholeSqliteUnits) {
  TempDir dir;
  const Bytes key(32, 0x11);
  // 1024 bytes ending in 0x01, which looks like one byte of padding.
  std::string db = Pattern(1024);
  db.back() = '\x01';
  CbcFileDecryptor decryptor;
  for (bool pad : {true, false}) {
    SCOPED_TRACE(pad ? "padded" : "unpadded");
    WriteFileBytes(dir.path() / "in", Encrypt(db, key, pad));
    auto r = decryptor.DecryptFile(dir.path() / "in", dir.path() / "out", key,
                                   CbcFileDecryptor::Padding::kOptional);
    ASSERT_EQ(r.status, CbcFileDecryptor::Status::kOk);
    EXPECT_EQ(ReadFileBytes(dir.path() / "out"), db);
  }
}

TEST(DiagnosticsTest, NamesFromTheBackupCannotSpellTheProgressTexts) {
  struct Case {
    const char* in;
    const char* out;
  };
  constexpr Case kCases[] = {
      {"Media/Count: 99.jpg", "Media/Count\\x3a 99.jpg"},
      {"Wrong password.txt", "Wrong\\x20password.txt"},
      {"a\nCount: 5", "a\\x0aCount\\x3a 5"},
      {"back\\slash", "back\\x5cslash"},
      {"plain/ä name", "plain/ä name"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(decryptor::EscapeForDiagnostics(c.in), c.out);
  }
  EXPECT_TRUE(decryptor::IsFileId("3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
  EXPECT_FALSE(decryptor::IsFileId("../../../../../../../../../../etc/passwd0"));
  EXPECT_FALSE(decryptor::IsFileId("3d0d7e5fb2ce288813306e4d4636395e047a3d2"));
}

}  // namespace
}  // namespace salvora::testing

#include "backup_encryptor.h"

#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include "backup/file_id_hasher.h"
#include "backup/plist_ptr.h"
#include "decryptor/crypto.h"
#include "decryptor/keybag.h"

namespace salvora::testing {
namespace {

namespace fs = std::filesystem;
using decryptor::Bytes;

Bytes Random(size_t n) {
  Bytes out(n);
  RAND_bytes(out.data(), static_cast<int>(n));
  return out;
}

Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// The class-prefixed wrapped key of ManifestKey and EncryptionKey.
Bytes ClassWrapped(uint32_t cls, const Bytes& wrapped) {
  Bytes out = Le32(cls);
  out.insert(out.end(), wrapped.begin(), wrapped.end());
  return out;
}

bool EncryptFile(const fs::path& in_path, const fs::path& out_path, const Bytes& key, bool pad) {
  std::ifstream in(in_path, std::ios::binary);
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(),
                                                                 EVP_CIPHER_CTX_free);
  static const uint8_t kIv[16] = {};
  if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), kIv) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), pad ? 1 : 0);
  std::vector<char> buf(1 << 20);
  std::vector<uint8_t> enc(buf.size() + 32);
  uint64_t total = 0;
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    std::streamsize got = in.gcount();
    if (got <= 0) break;
    total += static_cast<uint64_t>(got);
    int n = 0;
    if (EVP_EncryptUpdate(ctx.get(), enc.data(), &n, reinterpret_cast<uint8_t*>(buf.data()),
                          static_cast<int>(got)) != 1) {
      return false;
    }
    out.write(reinterpret_cast<char*>(enc.data()), n);
  }
  // An empty file stays empty, as a phone stores it.
  if (total == 0) return static_cast<bool>(out);
  int n = 0;
  if (EVP_EncryptFinal_ex(ctx.get(), enc.data(), &n) != 1) return false;
  out.write(reinterpret_cast<char*>(enc.data()), n);
  return static_cast<bool>(out);
}

// The NSKeyedArchiver MBFile description of one encrypted file.
std::string FileBlob(const std::string& relative_path, uint64_t size, uint32_t cls,
                     const Bytes& encryption_key) {
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "$version", plist_new_uint(100000));
  plist_dict_set_item(root, "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(root, "$top", top);
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t file = plist_new_dict();
  plist_dict_set_item(file, "$class", plist_new_uid(5));
  plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
  plist_dict_set_item(file, "EncryptionKey", plist_new_uid(3));
  plist_dict_set_item(file, "Size", plist_new_uint(size));
  plist_dict_set_item(file, "ProtectionClass", plist_new_uint(cls));
  plist_dict_set_item(file, "Mode", plist_new_uint(0100644));
  plist_dict_set_item(file, "Flags", plist_new_uint(0));
  plist_array_append_item(objects, file);
  plist_array_append_item(objects, plist_new_string(relative_path.c_str()));
  plist_t data = plist_new_dict();
  plist_dict_set_item(data, "$class", plist_new_uid(4));
  plist_dict_set_item(
      data, "NS.data",
      plist_new_data(reinterpret_cast<const char*>(encryption_key.data()), encryption_key.size()));
  plist_array_append_item(objects, data);
  for (auto [name, classes] :
       {std::pair{"NSMutableData",
                  std::array<const char*, 3>{"NSMutableData", "NSData", "NSObject"}},
        std::pair{"MBFile", std::array<const char*, 3>{"MBFile", "NSObject", nullptr}}}) {
    plist_t cls_obj = plist_new_dict();
    plist_t list = plist_new_array();
    for (const char* c : classes) {
      if (c != nullptr) plist_array_append_item(list, plist_new_string(c));
    }
    plist_dict_set_item(cls_obj, "$classes", list);
    plist_dict_set_item(cls_obj, "$classname", plist_new_string(name));
    plist_array_append_item(objects, cls_obj);
  }
  plist_dict_set_item(root, "$objects", objects);
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bin, &length);
  std::string out(bin != nullptr ? bin : "", length);
  free(bin);
  plist_free(root);
  return out;
}

bool Fail(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

struct Row {
  std::string fileId;
  std::string relativePath;
  int flags = 0;
};

}  // namespace

void AppendKeybagRecord(Bytes& bag, const char* tag, const Bytes& value) {
  bag.insert(bag.end(), tag, tag + 4);
  uint32_t n = static_cast<uint32_t>(value.size());
  for (int shift = 24; shift >= 0; shift -= 8) bag.push_back(static_cast<uint8_t>(n >> shift));
  bag.insert(bag.end(), value.begin(), value.end());
}

Bytes KeybagInt(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

bool WritePlainBackup(const fs::path& folder, const std::vector<PlainFile>& files) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  sqlite3* db = nullptr;
  if (sqlite3_open((folder / "Manifest.db").c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  bool ok = sqlite3_exec(db,
                         "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath "
                         "TEXT, flags INTEGER, file BLOB);"
                         "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);",
                         nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* stmt = nullptr;
  ok = ok && sqlite3_prepare_v2(db, "INSERT INTO Files VALUES (?, ?, ?, 1, NULL)", -1, &stmt,
                                nullptr) == SQLITE_OK;
  for (const PlainFile& f : files) {
    if (!ok) break;
    std::string id = FileIdOfKey(f.domain + "-" + f.relativePath);
    sqlite3_bind_text(stmt, 1, id.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, f.domain.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 3, f.relativePath.c_str(), -1, SQLITE_TRANSIENT);
    ok = sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_reset(stmt);
    fs::create_directories(folder / id.substr(0, 2), ec);
    std::ofstream(folder / id.substr(0, 2) / id, std::ios::binary) << f.content;
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  std::ofstream(folder / "Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>Display Name</key><string>Test iPhone</string>"
         "<key>Product Version</key><string>17.5</string></dict></plist>\n";
  return ok;
}

bool EncryptBackup(const fs::path& plain, const fs::path& out, const EncryptOptions& options,
                   std::string* error) {
  std::error_code ec;
  fs::create_directories(out, ec);
  if (ec) return Fail(error, "cannot create " + out.string());

  // The keybag: header, then one record per class key, each wrapped with the KEK.
  Bytes salt = Random(20);
  Bytes dpsl = Random(20);
  Bytes bag;
  AppendKeybagRecord(bag, "VERS", KeybagInt(options.dpIterations != 0 ? 5 : 3));
  AppendKeybagRecord(bag, "TYPE", KeybagInt(1));
  AppendKeybagRecord(bag, "UUID", Random(16));
  AppendKeybagRecord(bag, "HMCK", Bytes(40, 0));
  AppendKeybagRecord(bag, "WRAP", KeybagInt(0));
  AppendKeybagRecord(bag, "SALT", salt);
  AppendKeybagRecord(bag, "ITER", KeybagInt(options.iterations));
  if (options.dpIterations != 0) {
    AppendKeybagRecord(bag, "DPWT", KeybagInt(1));
    AppendKeybagRecord(bag, "DPIC", KeybagInt(options.dpIterations));
    AppendKeybagRecord(bag, "DPSL", dpsl);
  }
  // The KEK is derived exactly as a reader derives it, from a keybag holding only the header.
  std::optional<decryptor::Keybag> header = decryptor::Keybag::Parse(bag);
  std::optional<Bytes> kek =
      header ? header->DeriveKek(decryptor::ToBytes(options.password)) : std::nullopt;
  if (!kek) return Fail(error, "key derivation failed");
  std::array<Bytes, 12> class_keys;
  for (uint32_t cls = 1; cls <= 11; ++cls) {
    class_keys[cls] = Random(32);
    AppendKeybagRecord(bag, "UUID", Random(16));
    AppendKeybagRecord(bag, "CLAS", KeybagInt(cls));
    AppendKeybagRecord(bag, "WRAP", KeybagInt(2));
    AppendKeybagRecord(bag, "KTYP", KeybagInt(0));
    AppendKeybagRecord(bag, "WPKY", *decryptor::AesKeyWrap(*kek, class_keys[cls]));
  }
  if (options.manifestClass < 1 || options.manifestClass > 11 || options.fileClass < 1 ||
      options.fileClass > 11) {
    return Fail(error, "protection classes are 1 to 11");
  }

  // Manifest.db: a working copy gets the EncryptionKey blobs, then is encrypted into `out`.
  fs::path work = out / ".Manifest.db.work";
  fs::copy_file(plain / "Manifest.db", work, fs::copy_options::overwrite_existing, ec);
  if (ec) return Fail(error, "cannot copy Manifest.db");
  sqlite3* db = nullptr;
  if (sqlite3_open(work.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return Fail(error, "cannot open the Manifest.db copy");
  }
  std::vector<Row> rows;
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT fileID, relativePath, flags FROM Files", -1, &stmt, nullptr);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    auto text = [&](int c) {
      const unsigned char* t = sqlite3_column_text(stmt, c);
      return t != nullptr ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    rows.push_back({text(0), text(1), sqlite3_column_int(stmt, 2)});
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(db, "UPDATE Files SET file = ? WHERE fileID = ?", -1, &stmt, nullptr);
  bool ok = stmt != nullptr;
  for (const Row& row : rows) {
    if (!ok) break;
    if (row.flags != 1 || row.fileId.size() < 2) continue;
    fs::path source = plain / row.fileId.substr(0, 2) / row.fileId;
    if (!fs::is_regular_file(source, ec)) continue;
    uint64_t size = fs::file_size(source, ec);
    Bytes file_key = Random(32);
    fs::create_directories(out / row.fileId.substr(0, 2), ec);
    if (!EncryptFile(source, out / row.fileId.substr(0, 2) / row.fileId, file_key, true)) {
      ok = false;
      break;
    }
    std::string blob =
        FileBlob(row.relativePath, size, options.fileClass,
                 ClassWrapped(options.fileClass,
                              *decryptor::AesKeyWrap(class_keys[options.fileClass], file_key)));
    sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, row.fileId.c_str(), -1, SQLITE_TRANSIENT);
    ok = sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
  sqlite3_close(db);
  Bytes manifest_key = Random(32);
  ok = ok && EncryptFile(work, out / "Manifest.db", manifest_key, options.padManifest);
  fs::remove(work, ec);
  if (!ok) return Fail(error, "cannot encrypt the files or Manifest.db");

  // Manifest.plist: the plain one's keys, plus what an encrypted backup adds.
  plist_t root = nullptr;
  {
    std::ifstream in(plain / "Manifest.plist", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PlistPtr parsed = ParsePlist(bytes);
    if (parsed && plist_get_node_type(parsed.get()) == PLIST_DICT) root = parsed.release();
  }
  if (root == nullptr) root = plist_new_dict();
  plist_dict_set_item(root, "IsEncrypted", plist_new_bool(1));
  plist_dict_set_item(root, "Version", plist_new_string("10.0"));
  plist_dict_set_item(root, "BackupKeyBag",
                      plist_new_data(reinterpret_cast<const char*>(bag.data()), bag.size()));
  Bytes wrapped_manifest =
      ClassWrapped(options.manifestClass,
                   *decryptor::AesKeyWrap(class_keys[options.manifestClass], manifest_key));
  plist_dict_set_item(root, "ManifestKey",
                      plist_new_data(reinterpret_cast<const char*>(wrapped_manifest.data()),
                                     wrapped_manifest.size()));
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bin, &length);
  plist_free(root);
  std::ofstream(out / "Manifest.plist", std::ios::binary).write(bin, length);
  free(bin);

  for (const char* name : {"Info.plist", "Status.plist"}) {
    if (fs::exists(plain / name, ec)) {
      fs::copy_file(plain / name, out / name, fs::copy_options::overwrite_existing, ec);
    }
  }
  return true;
}

}  // namespace salvora::testing

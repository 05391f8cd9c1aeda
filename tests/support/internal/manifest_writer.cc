#include "support/internal/manifest_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <openssl/evp.h>

#include "support/internal/schemas.h"
#include "support/internal/sql_writer.h"

namespace salvora::sample {
namespace {

struct PlistFree {
  void operator()(plist_t p) const { plist_free(p); }
};
using Plist = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

// Unix mode bits of the three kinds of rows.
uint16_t Mode(int flags) {
  if (flags == kFlagDirectory) return 040755;
  if (flags == kFlagLink) return 0120755;
  return 0100644;
}

void PutU16(std::string& out, uint32_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}
void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v >> 16);
  PutU16(out, v & 0xFFFF);
}
void PutU64(std::string& out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v >> 32));
  PutU32(out, static_cast<uint32_t>(v));
}
// An mbdb string: 16-bit big-endian length, then the bytes; 0xFFFF with no bytes when absent.
void PutString(std::string& out, const std::string* s) {
  if (s == nullptr) {
    PutU16(out, 0xFFFF);
    return;
  }
  PutU16(out, static_cast<uint32_t>(s->size()));
  out += *s;
}

}  // namespace

std::string Sha1(std::string_view bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha1(), nullptr);
  return std::string(reinterpret_cast<char*>(md), len);
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

int WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      return e;
    }
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 ? 0 : errno;
}

std::string ArchivedFile(const ManifestRow& row) {
  // The keyed archive of an MBFile: $objects[0] is "$null", [1] the MBFile dictionary whose
  // RelativePath (and Target for links) refer by UID to the strings that follow, the last
  // object the class description.
  Plist root(plist_new_dict());
  plist_dict_set_item(root.get(), "$version", plist_new_uint(100000));
  plist_dict_set_item(root.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(root.get(), "$top", top);
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  const bool link = row.flags == kFlagLink;
  const uint64_t class_uid = link ? 4 : 3;
  plist_t file = plist_new_dict();
  plist_dict_set_item(file, "LastModified", plist_new_uint(row.mtime));
  plist_dict_set_item(file, "Flags", plist_new_uint(0));
  plist_dict_set_item(file, "GroupID", plist_new_uint(501));
  if (link) plist_dict_set_item(file, "Target", plist_new_uid(3));
  plist_dict_set_item(file, "$class", plist_new_uid(class_uid));
  plist_dict_set_item(file, "LastStatusChange", plist_new_uint(row.mtime));
  plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
  plist_dict_set_item(file, "Birth", plist_new_uint(row.mtime));
  plist_dict_set_item(file, "Size", plist_new_uint(static_cast<uint64_t>(row.size)));
  plist_dict_set_item(file, "InodeNumber", plist_new_uint(row.inode));
  plist_dict_set_item(file, "Mode", plist_new_uint(Mode(row.flags)));
  plist_dict_set_item(file, "UserID", plist_new_uint(501));
  plist_dict_set_item(file, "ProtectionClass",
                      plist_new_uint(static_cast<uint64_t>(row.protection_class)));
  plist_array_append_item(objects, file);
  plist_array_append_item(objects, plist_new_string(row.path.c_str()));
  if (link) plist_array_append_item(objects, plist_new_string(row.target.c_str()));
  plist_t cls = plist_new_dict();
  plist_dict_set_item(cls, "$classname", plist_new_string("MBFile"));
  plist_t classes = plist_new_array();
  plist_array_append_item(classes, plist_new_string("MBFile"));
  plist_array_append_item(classes, plist_new_string("NSObject"));
  plist_dict_set_item(cls, "$classes", classes);
  plist_array_append_item(objects, cls);
  plist_dict_set_item(root.get(), "$objects", objects);
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(root.get(), &bin, &len);
  std::string out(bin != nullptr ? bin : "", bin != nullptr ? len : 0);
  plist_to_bin_free(bin);
  return out;
}

int WriteManifestDb(const std::filesystem::path& path, const std::vector<ManifestRow>& rows) {
  SqlWriter db;
  db.Create(path);
  db.ExecList(kManifestDb);
  Inserter files(db, "Files", {"fileID", "domain", "relativePath", "flags", "file"});
  for (const ManifestRow& r : rows) {
    std::string blob = ArchivedFile(r);
    files.Row({r.file_id, r.domain, r.path, r.flags, SqlValue::Blob(blob)});
  }
  return db.Finish();
}

int WriteManifestMbdb(const std::filesystem::path& path, const std::vector<ManifestRow>& rows) {
  // "mbdb", format version 5.0, then one record per row, all integers big-endian.
  std::string out = std::string("mbdb\x05\x00", 6);
  for (const ManifestRow& r : rows) {
    PutString(out, &r.domain);
    PutString(out, &r.path);
    PutString(out, r.flags == kFlagLink ? &r.target : nullptr);  // link target
    PutString(out, r.sha1.empty() ? nullptr : &r.sha1);          // data hash
    PutString(out, nullptr);                                     // encryption key
    PutU16(out, Mode(r.flags));
    PutU64(out, r.inode);
    PutU32(out, 501);      // user id
    PutU32(out, 501);      // group id
    PutU32(out, r.mtime);  // modification, access and creation times
    PutU32(out, r.mtime);
    PutU32(out, r.mtime);
    PutU64(out, static_cast<uint64_t>(r.size));
    out += static_cast<char>(r.protection_class);
    out += static_cast<char>(0);  // no properties
  }
  return WriteFileBytes(path, out);
}

int WritePlist(const std::filesystem::path& path, plist_t root, bool binary) {
  Plist owned(root);
  char* data = nullptr;
  uint32_t len = 0;
  if (binary) {
    plist_to_bin(root, &data, &len);
  } else {
    plist_to_xml(root, &data, &len);
  }
  if (data == nullptr) return EINVAL;
  int rc = WriteFileBytes(path, std::string_view(data, len));
  if (binary) {
    plist_to_bin_free(data);
  } else {
    plist_to_xml_free(data);
  }
  return rc;
}

}  // namespace salvora::sample

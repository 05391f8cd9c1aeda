#include "support/sample_backup.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <system_error>

#include <plist/plist.h>

#include "core/result_codes.h"
#include "support/internal/manifest_writer.h"
#include "support/internal/sample_content.h"
#include "support/sample_media.h"

namespace salvora::sample {
namespace {

std::string Format(const char* fmt, long long a, long long b = 0, long long c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, a, b, c);
  return text;
}

struct DeviceFacts {
  const char* product_version;
  const char* build_version;
  const char* product_type;
};

DeviceFacts Facts(int generation) {
  switch (generation) {
    case 7:
      return {"7.1.2", "11D257", "iPhone5,2"};
    case 9:
      return {"9.3.6", "13G37", "iPhone6,1"};
    case 12:
      return {"12.4", "16G77", "iPhone10,4"};
    case 15:
      return {"15.3.1", "19D52", "iPhone12,1"};
    default:
      return {"17.3", "21D50", "iPhone15,2"};
  }
}

plist_t Str(const std::string& s) { return plist_new_string(s.c_str()); }

// A placeholder keybag in the TLV layout of real ones (tag, 32-bit length, value): version,
// type "backup", a UUID, wrapping, salt and iteration count, and no class keys. The content of
// the backup is plain, so nothing is ever unwrapped with it.
std::string PlaceholderKeybag(uint64_t seed) {
  std::string out;
  auto tlv = [&out](const char* tag, const std::string& value) {
    out.append(tag, 4);
    uint32_t n = static_cast<uint32_t>(value.size());
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((n >> shift) & 0xFF);
    out += value;
  };
  auto u32 = [](uint32_t v) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
    return s;
  };
  std::string uuid = Sha1("keybag" + std::to_string(seed)).substr(0, 16);
  tlv("VERS", u32(3));
  tlv("TYPE", u32(1));
  tlv("UUID", uuid);
  tlv("WRAP", u32(1));
  tlv("SALT", Sha1("salt" + std::to_string(seed)));
  tlv("ITER", u32(10000));
  return out;
}

int WritePlists(const std::filesystem::path& folder, const SampleOptions& o,
                const Content& content) {
  const DeviceFacts facts = Facts(o.generation);
  const std::string udid = Hex(Sha1("device" + std::to_string(o.seed)));
  const std::string serial = "F2LSAMPLE" + std::to_string(o.seed % 1000);
  const std::string name = "Zoë’s iPhone";
  // plist dates count seconds from 2001-01-01.
  const int32_t backup_date = static_cast<int32_t>(kSampleBaseTime - 978307200);

  plist_t info = plist_new_dict();
  plist_t apps = plist_new_dict();
  plist_t installed = plist_new_array();
  for (const std::string& bundle : content.app_bundles) {
    plist_t app = plist_new_dict();
    plist_dict_set_item(app, "CFBundleIdentifier", Str(bundle));
    plist_dict_set_item(app, "CFBundleVersion", Str("1.0"));
    plist_dict_set_item(apps, bundle.c_str(), app);
    plist_array_append_item(installed, Str(bundle));
  }
  plist_dict_set_item(info, "Applications", apps);
  plist_dict_set_item(info, "Build Version", Str(facts.build_version));
  plist_dict_set_item(info, "Device Name", Str(name));
  plist_dict_set_item(info, "Display Name", Str(name));
  plist_dict_set_item(info, "GUID", Str(Hex(Sha1("guid" + udid)).substr(0, 32)));
  plist_dict_set_item(info, "ICCID", Str("89014103211118510720"));
  plist_dict_set_item(info, "IMEI", Str("013896001234567"));
  plist_dict_set_item(info, "Installed Applications", installed);
  plist_dict_set_item(info, "Last Backup Date", plist_new_date(backup_date, 0));
  plist_dict_set_item(info, "Phone Number", Str("+1 (555) 010-0000"));
  plist_dict_set_item(info, "Product Name", Str("iPhone"));
  plist_dict_set_item(info, "Product Type", Str(facts.product_type));
  plist_dict_set_item(info, "Product Version", Str(facts.product_version));
  plist_dict_set_item(info, "Serial Number", Str(serial));
  plist_dict_set_item(info, "Target Identifier", Str(udid));
  plist_dict_set_item(info, "Target Type", Str("Device"));
  plist_dict_set_item(info, "Unique Identifier", Str(udid));
  plist_dict_set_item(info, "iTunes Version", Str("12.12.10"));
  if (int rc = WritePlist(folder / "Info.plist", info, o.binary_plists); rc != 0) return rc;

  plist_t manifest = plist_new_dict();
  plist_t mapps = plist_new_dict();
  for (const std::string& bundle : content.app_bundles) {
    plist_t app = plist_new_dict();
    plist_dict_set_item(app, "CFBundleIdentifier", Str(bundle));
    plist_dict_set_item(app, "CFBundleVersion", Str("1.0"));
    plist_dict_set_item(app, "ContainerContentClass", Str("Data/Application"));
    plist_dict_set_item(app, "Path", Str("/var/containers/Bundle/Application/" + bundle));
    plist_dict_set_item(mapps, bundle.c_str(), app);
  }
  const std::string keybag = PlaceholderKeybag(o.seed);
  plist_dict_set_item(manifest, "Applications", mapps);
  plist_dict_set_item(manifest, "BackupKeyBag", plist_new_data(keybag.data(), keybag.size()));
  plist_dict_set_item(manifest, "Date", plist_new_date(backup_date, 0));
  plist_dict_set_item(manifest, "IsEncrypted", plist_new_bool(o.encrypted ? 1 : 0));
  plist_t lockdown = plist_new_dict();
  plist_dict_set_item(lockdown, "BuildVersion", Str(facts.build_version));
  plist_dict_set_item(lockdown, "DeviceName", Str(name));
  plist_dict_set_item(lockdown, "ProductType", Str(facts.product_type));
  plist_dict_set_item(lockdown, "ProductVersion", Str(facts.product_version));
  plist_dict_set_item(lockdown, "SerialNumber", Str(serial));
  plist_dict_set_item(lockdown, "UniqueDeviceID", Str(udid));
  plist_dict_set_item(manifest, "Lockdown", lockdown);
  plist_dict_set_item(manifest, "SystemDomainsVersion", Str(o.generation >= 10 ? "24.0" : "20.0"));
  plist_dict_set_item(manifest, "Version", Str(o.generation >= 10 ? "10.0" : "9.1"));
  plist_dict_set_item(manifest, "WasPasscodeSet", plist_new_bool(1));
  if (int rc = WritePlist(folder / "Manifest.plist", manifest, o.binary_plists); rc != 0) {
    return rc;
  }

  plist_t status = plist_new_dict();
  plist_dict_set_item(status, "BackupState", Str("new"));
  plist_dict_set_item(status, "Date", plist_new_date(backup_date, 0));
  plist_dict_set_item(status, "IsFullBackup", plist_new_bool(0));
  plist_dict_set_item(status, "SnapshotState", Str("finished"));
  plist_dict_set_item(status, "UUID", Str(Hex(Sha1("status" + udid)).substr(0, 32)));
  plist_dict_set_item(status, "Version", Str(o.generation >= 10 ? "3.3" : "2.4"));
  return WritePlist(folder / "Status.plist", status, o.binary_plists);
}

bool Contains(const std::string& key, const char* part) {
  return key.find(part) != std::string::npos;
}

// Fills the file categories of the report from what was written, with the classification
// rules spelled out in the header.
void CountFiles(const std::vector<FileItem>& items, SampleReport& r) {
  for (const FileItem& f : items) {
    const std::string key = f.domain + "-" + f.path;
    if (f.flags == kFlagFile && !f.present) r.missing_keys.push_back(key);
    if (f.flags != kFlagFile || !f.present || f.detected == nullptr) continue;
    const bool non_empty = f.size() > 0;
    if (Contains(key, "CameraRollDomain-Media/DCIM/")) {
      ++r.camera_roll;
      r.camera_roll_keys.push_back(key);
    } else if (Contains(key, "MediaDomain-Media/PhotoStreamsData/")) {
      ++r.photo_stream;
      r.photo_stream_keys.push_back(key);
    }
    if (Contains(key, "/Attachments/") && non_empty) {
      ++r.message_attachments;
      r.message_attachment_keys.push_back(key);
    }
    if (Contains(key, "AppDomain-")) {
      if (Contains(key, "net.whatsapp.WhatsApp")) {
        if (non_empty) {
          ++r.whatsapp_attachments;
          r.whatsapp_attachment_keys.push_back(key);
        }
      } else {
        ++r.app_files;
        r.app_file_keys.push_back(key);
        if (f.video_or_audio) {
          ++r.app_videos;
        } else {
          ++r.app_photos;
        }
      }
    }
  }
}

void CountDatabases(const Content& c, SampleReport& r) {
  std::set<int64_t> handles;
  for (const SmsHandle& h : c.messages.handles) handles.insert(h.rowid);
  std::set<int64_t> conversations;
  for (const SmsMessage& m : c.messages.messages) {
    if (!m.text || m.text->empty() || m.handle_id == 0 || !handles.count(m.handle_id)) continue;
    r.messages += static_cast<int>(m.chat_rowids.size());
    if (!m.chat_rowids.empty()) conversations.insert(m.handle_id);
  }
  r.message_conversations = static_cast<int>(conversations.size());

  for (const Person& p : c.contacts.people) {
    if (p.phone_text && !p.phone_text->empty()) ++r.contacts;
  }
  if (c.has_current_calls) {
    for (const Call& call : c.current_calls.calls) {
      if (call.address && !call.address->empty()) ++r.calls;
    }
  }
  auto non_empty = [](const OptText& t) { return t && !t->empty(); };
  if (c.has_older_notes) {
    for (const Note& n : c.older_notes.notes) {
      if (non_empty(n.title) || non_empty(n.body)) ++r.notes;
    }
  }
  if (r.notes == 0 && c.has_newer_notes) {
    for (const Note& n : c.newer_notes.notes) {
      if (non_empty(n.title) || (!n.locked && non_empty(n.snippet))) ++r.notes;
    }
  }

  std::map<int64_t, const WaMediaItem*> first_media;
  for (const WaMediaItem& m : c.whatsapp.media) first_media.emplace(m.message, &m);
  std::set<int64_t> chats;
  for (const WaMessage& m : c.whatsapp.messages) {
    if (m.chat == 0) continue;
    bool listed = non_empty(m.text);
    if (!listed) {
      auto it = first_media.find(m.pk);
      listed = it != first_media.end() && non_empty(it->second->title);
    }
    if (!listed) continue;
    ++r.whatsapp_messages;
    chats.insert(m.chat);
  }
  r.whatsapp_chats = static_cast<int>(chats.size());
}

bool ValidOptions(const SampleOptions& o) {
  if (!IsKnownGeneration(o.generation)) return false;
  for (int n : {o.handles, o.messages, o.message_attachments, o.contacts, o.calls, o.notes,
                o.whatsapp_chats, o.whatsapp_messages, o.whatsapp_media, o.camera_roll,
                o.photo_stream, o.app_files, o.missing_files, o.manifest_rows}) {
    if (n < 0) return false;
  }
  return true;
}

}  // namespace

bool PresetOptions(std::string_view name, SampleOptions& options) {
  SampleOptions o;
  if (name == "tiny") {
    o.handles = 2, o.messages = 6, o.message_attachments = 2, o.contacts = 3, o.calls = 3;
    o.notes = 2, o.whatsapp_chats = 2, o.whatsapp_messages = 6, o.whatsapp_media = 1;
    o.camera_roll = 3, o.photo_stream = 1, o.app_files = 2, o.missing_files = 2;
  } else if (name == "small") {
    // The defaults of SampleOptions.
  } else if (name == "demo") {
    o.handles = 12, o.messages = 400, o.message_attachments = 16, o.contacts = 18;
    o.calls = 60, o.notes = 14, o.whatsapp_chats = 6, o.whatsapp_messages = 180;
    o.whatsapp_media = 10, o.camera_roll = 40, o.photo_stream = 10, o.app_files = 20;
    o.missing_files = 12, o.manifest_rows = 1500;
  } else if (name == "large") {
    o.handles = 2000, o.messages = 200000, o.message_attachments = 5000, o.contacts = 5000;
    o.calls = 20000, o.notes = 2000, o.whatsapp_chats = 400, o.whatsapp_messages = 200000;
    o.whatsapp_media = 2000, o.camera_roll = 45000, o.photo_stream = 5000, o.app_files = 5000;
    o.missing_files = 3000, o.manifest_rows = 300000;
  } else {
    return false;
  }
  options = o;
  return true;
}

std::string FileId(std::string_view domain, std::string_view relative_path) {
  std::string key;
  key.reserve(domain.size() + 1 + relative_path.size());
  key.append(domain).append("-").append(relative_path);
  return Hex(Sha1(key));
}

std::filesystem::path HashedPath(const std::filesystem::path& folder, const std::string& file_id,
                                 bool two_level) {
  if (!two_level || file_id.size() < 2) return folder / file_id;
  return folder / file_id.substr(0, 2) / file_id;
}

int WriteSampleBackup(const std::filesystem::path& folder, const SampleOptions& options,
                      SampleReport& report) {
  report = SampleReport{};
  report.folder = folder;
  report.generation = options.generation;
  report.two_level = options.generation >= 10;
  auto fail = [&report](int code, std::string message) {
    report.error = std::move(message);
    return code;
  };
  if (!ValidOptions(options)) {
    return fail(kInvalidParameter,
                "The options name an unknown iOS generation or a negative count.");
  }
  std::error_code ec;
  if (std::filesystem::exists(folder, ec)) {
    if (!std::filesystem::is_directory(folder, ec)) {
      return fail(kInvalidParameter, "The output path " + folder.string() + " is not a folder.");
    }
    if (!std::filesystem::is_empty(folder, ec)) {
      return fail(kInvalidParameter, "The output folder " + folder.string() + " is not empty.");
    }
  }
  std::filesystem::create_directories(folder, ec);
  if (ec) return fail(ec.value(), "Cannot create " + folder.string() + ": " + ec.message());
  if (report.two_level) {
    for (int i = 0; i < 256; ++i) {
      std::filesystem::create_directory(folder / Format("%02x", i), ec);
      if (ec) return fail(ec.value(), "Cannot create a sub-folder: " + ec.message());
    }
  }

  Content content = BuildContent(options);

  // Databases first, straight into their hashed paths; their bytes then feed the manifest.
  std::vector<ManifestRow> rows;
  rows.reserve(content.items.size());
  uint64_t inode = 100000;
  for (FileItem& f : content.items) {
    ManifestRow row;
    row.domain = f.domain;
    row.path = f.path;
    row.file_id = FileId(f.domain, f.path);
    row.flags = f.flags;
    row.target = f.target;
    row.mtime = f.mtime;
    row.inode = ++inode;
    row.protection_class = f.flags == kFlagFile ? 3 : 0;
    if (f.flags == kFlagFile) {
      std::string scratch;
      const std::filesystem::path path = HashedPath(folder, row.file_id, report.two_level);
      int rc = 0;
      if (f.database != DatabaseKind::kNone) {
        rc = WriteDatabase(f.database, path, options, content);
        if (rc != 0) {
          return fail(rc, "Cannot write the database " + f.domain + "-" + f.path +
                              " (SQLite code " + std::to_string(rc) + ").");
        }
        rc = ReadWholeFile(path, f.owned);
        f.bytes = f.owned;
      } else if (f.present) {
        rc = WriteFileBytes(path, f.Content(scratch));
      }
      if (rc != 0) {
        return fail(rc,
                    "Cannot write " + path.string() + ": " + std::generic_category().message(rc));
      }
      row.size = static_cast<int64_t>(f.size());
      if (!report.two_level) row.sha1 = Sha1(f.Content(scratch));
      if (f.database != DatabaseKind::kNone) {
        // Keep only what the report needs of a database.
        report.bytes_written += static_cast<int64_t>(f.owned.size());
        f.owned.clear();
        f.owned.shrink_to_fit();
        f.bytes = {};
        f.database_size = row.size;
      } else if (f.present) {
        report.bytes_written += row.size;
      }
    }
    rows.push_back(std::move(row));
  }

  int rc = report.two_level ? WriteManifestDb(folder / "Manifest.db", rows)
                            : WriteManifestMbdb(folder / "Manifest.mbdb", rows);
  if (rc != 0) return fail(rc, "Cannot write the manifest (code " + std::to_string(rc) + ").");
  if (rc = WritePlists(folder, options, content); rc != 0) {
    return fail(rc, "Cannot write the property lists: " + std::generic_category().message(rc));
  }
  for (const char* name :
       {"Manifest.db", "Manifest.mbdb", "Info.plist", "Manifest.plist", "Status.plist"}) {
    auto size = std::filesystem::file_size(folder / name, ec);
    if (!ec) report.bytes_written += static_cast<int64_t>(size);
  }

  report.manifest_rows = static_cast<int>(rows.size());
  for (const ManifestRow& r : rows) {
    if (report.two_level || (!r.domain.empty() && !r.path.empty() && r.flags != kFlagDirectory)) {
      ++report.manifest_entries;
    }
  }
  CountDatabases(content, report);
  CountFiles(content.items, report);
  return 0;
}

}  // namespace salvora::sample

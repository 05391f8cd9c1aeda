#include "device/backup_info_plist.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

#include "core/date_text.h"

namespace salvora {
namespace {

constexpr const char* kITunesFiles[] = {
    "ApertureAlbumPrefs", "IC-Info.sidb",      "IC-Info.sidv",     "PhotosFolderAlbums",
    "PhotosFolderName",   "PhotosFolderPrefs", "iPhotoAlbumPrefs", "iTunesApplicationIDs",
    "iTunesPrefs",        "iTunesPrefs.plist"};

// Copies lockdown's value under `from` into `info` under `to`; nothing when it is missing.
void CopyValue(plist_t values, const char* from, plist_t info, const char* to) {
  plist_t node = plist_dict_get_item(values, from);
  if (node != nullptr) plist_dict_set_item(info, to, plist_copy(node));
}

std::string AsciiUpperBytes(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

bool ReadDeviceFile(IDeviceTransport& transport, const std::string& path, std::string& bytes) {
  bytes.clear();
  uint64_t size = 0;
  if (transport.AfcGetFileSize(path, size) != AFC_E_SUCCESS) return false;
  if (size == 0 || size > kMaxInfoPlistDeviceFile) return false;
  uint64_t handle = 0;
  if (transport.AfcOpen(path, AFC_FOPEN_RDONLY, handle) != AFC_E_SUCCESS || handle == 0) {
    return false;
  }
  std::string data(static_cast<size_t>(size), '\0');
  uint64_t done = 0;
  while (done < size) {
    uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size - done, 65536));
    uint32_t got = 0;
    if (transport.AfcRead(handle, data.data() + done, chunk, got) != AFC_E_SUCCESS || got == 0) {
      break;
    }
    done += std::min<uint64_t>(got, chunk);
  }
  transport.AfcClose(handle);
  if (done != size) return false;  // a short read discards the data
  bytes = std::move(data);
  return true;
}

PlistPtr BuildBackupInfoPlist(IDeviceTransport& transport, const std::string& udid, int64_t now) {
  PlistPtr info(plist_new_dict());
  PlistPtr values;
  if (transport.GetLockdownValue(nullptr, nullptr, values) != 0 || values == nullptr ||
      plist_get_node_type(values.get()) != PLIST_DICT) {
    return info;
  }
  plist_t v = values.get();
  plist_t out = info.get();

  CopyValue(v, "BuildVersion", out, "Build Version");
  CopyValue(v, "DeviceName", out, "Device Name");
  CopyValue(v, "DeviceName", out, "Display Name");
  plist_dict_set_item(out, "GUID", plist_new_string("---"));
  CopyValue(v, "IntegratedCircuitCardIdentity", out, "ICCID");
  CopyValue(v, "InternationalMobileEquipmentIdentity", out, "IMEI");
  // Property-list dates count seconds from 2001-01-01.
  int64_t appleSeconds = now - kAppleEpochOffset;
  plist_dict_set_item(out, "Last Backup Date",
                      plist_new_date(static_cast<int32_t>(appleSeconds), 0));
  plist_t phone = plist_dict_get_item(v, "PhoneNumber");
  if (phone != nullptr && plist_get_node_type(phone) == PLIST_STRING) {
    plist_dict_set_item(out, "Phone Number", plist_copy(phone));
  }
  CopyValue(v, "ProductType", out, "Product Type");
  CopyValue(v, "ProductVersion", out, "Product Version");
  CopyValue(v, "SerialNumber", out, "Serial Number");
  plist_dict_set_item(out, "Target Identifier", plist_new_string(udid.c_str()));
  plist_dict_set_item(out, "Target Type", plist_new_string("Device"));
  plist_dict_set_item(out, "Unique Identifier", plist_new_string(AsciiUpperBytes(udid).c_str()));

  std::string bytes;
  if (ReadDeviceFile(transport, "/Books/iBooksData2.plist", bytes)) {
    plist_dict_set_item(out, "iBooks Data 2", plist_new_data(bytes.data(), bytes.size()));
  }
  plist_t files = plist_new_dict();
  for (const char* name : kITunesFiles) {
    if (ReadDeviceFile(transport, std::string("/iTunes_Control/iTunes/") + name, bytes)) {
      plist_dict_set_item(files, name, plist_new_data(bytes.data(), bytes.size()));
    }
  }
  plist_dict_set_item(out, "iTunes Files", files);

  PlistPtr settings;
  if (transport.GetLockdownValue("com.apple.iTunes", nullptr, settings) == 0 &&
      settings != nullptr && plist_get_node_type(settings.get()) == PLIST_DICT) {
    plist_dict_set_item(out, "iTunes Settings", settings.release());
  } else {
    plist_dict_set_item(out, "iTunes Settings", plist_new_dict());
  }
  plist_dict_set_item(out, "iTunes Version", plist_new_string("10.0.1"));
  return info;
}

int WritePlistXml(plist_t plist, const std::filesystem::path& file) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(plist, &xml, &length);
  if (xml == nullptr) return EINVAL;
  std::unique_ptr<char, decltype(&plist_to_xml_free)> owned(xml, &plist_to_xml_free);
  std::error_code ec;
  std::filesystem::remove(file, ec);
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) return errno != 0 ? errno : EIO;
  bool ok = std::fwrite(xml, 1, length, out) == length;
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : EIO;
}

}  // namespace salvora

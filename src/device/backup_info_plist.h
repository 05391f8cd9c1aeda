// The Info.plist of a device backup, written as an XML property list into the backup
// directory before the backup is requested. Keys, in this order (values from lockdown's full
// value dictionary unless said otherwise; a value lockdown does not have is left out):
//
//   "Build Version"      "BuildVersion"
//   "Device Name"        "DeviceName"
//   "Display Name"       "DeviceName"
//   "GUID"               "---"
//   "ICCID"              "IntegratedCircuitCardIdentity", when present
//   "IMEI"               "InternationalMobileEquipmentIdentity", when present
//   "Last Backup Date"   date: now
//   "Phone Number"       "PhoneNumber", only when it is a string
//   "Product Type"       "ProductType"
//   "Product Version"    "ProductVersion"
//   "Serial Number"      "SerialNumber"
//   "Target Identifier"  the udid
//   "Target Type"        "Device"
//   "Unique Identifier"  the udid in upper case
//   "iBooks Data 2"      data: the device file "/Books/iBooksData2.plist", when not empty
//   "iTunes Files"       dictionary of data: "/iTunes_Control/iTunes/" + each of ten names,
//                        those that exist and are not empty
//   "iTunes Settings"    lockdown's dictionary of the domain "com.apple.iTunes", or empty
//   "iTunes Version"     "10.0.1"
//
// When lockdown gives no value dictionary the Info.plist is an empty dictionary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "backup/plist_ptr.h"
#include "device/device_transport.h"

namespace salvora {

// Device files larger than this are not read into Info.plist.
inline constexpr uint64_t kMaxInfoPlistDeviceFile = 64ull * 1024 * 1024;

// Reads the device file `path` through AFC: its size ("st_size"), then the file read-only until
// that many bytes have arrived. Returns true with `bytes`; false (and `bytes` empty) when the
// file is missing, empty, larger than kMaxInfoPlistDeviceFile, or the read falls short.
[[nodiscard]] bool ReadDeviceFile(IDeviceTransport& transport, const std::string& path,
                                  std::string& bytes);

// Builds the Info.plist dictionary for the device `udid` at the Unix time `now`. Never null.
[[nodiscard]] PlistPtr BuildBackupInfoPlist(IDeviceTransport& transport, const std::string& udid,
                                            int64_t now);

// Writes `plist` as XML to `file`, replacing it. Returns 0 or the errno of the failed write.
[[nodiscard]] int WritePlistXml(plist_t plist, const std::filesystem::path& file);

}  // namespace salvora

#include "device/device_path.h"

#include <gtest/gtest.h>

namespace salvora {
namespace {

constexpr const char* kUdid = "00008030-001a2b3c4d5e6f70";

struct PathCase {
  const char* name;
  const char* expected;  // relative to the backup directory; nullptr: refused
};

constexpr PathCase kCases[] = {
    {"00008030-001a2b3c4d5e6f70/Info.plist", "Info.plist"},
    {"00008030-001a2b3c4d5e6f70/Snapshot/3d/3d0d7e5f", "Snapshot/3d/3d0d7e5f"},
    {"00008030-001a2b3c4d5e6f70", ""},
    {"Manifest.db", "Manifest.db"},  // without the udid: relative to the backup directory
    {"", ""},
    {"a/./b//c/", "a/b/c"},
    {"other-udid/Info.plist", "other-udid/Info.plist"},
    {"Snapshot/00008030-001a2b3c4d5e6f70", "Snapshot/00008030-001a2b3c4d5e6f70"},
    {"/etc/passwd", nullptr},
    {"00008030-001a2b3c4d5e6f70/../../etc/passwd", nullptr},
    {"..", nullptr},
    {"a/b/..", nullptr},
    {"..\\..\\x", nullptr},
    {"a\\b", nullptr},
};

TEST(DevicePathTest, ResolvesBelowTheBackupDirectoryOnly) {
  const std::filesystem::path dir = "/backups/00008030-001a2b3c4d5e6f70";
  for (const PathCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::optional<std::filesystem::path> got = ResolveDevicePath(dir, kUdid, c.name);
    if (c.expected == nullptr) {
      EXPECT_FALSE(got.has_value());
    } else {
      ASSERT_TRUE(got.has_value());
      std::filesystem::path want = dir;
      if (*c.expected != '\0') want /= c.expected;
      EXPECT_EQ(*got, want);
    }
  }
}

TEST(DevicePathTest, NoBackupDirectoryRefusesEverything) {
  EXPECT_FALSE(ResolveDevicePath({}, kUdid, "Info.plist").has_value());
  EXPECT_FALSE(ResolveDevicePath({}, kUdid, "").has_value());
}

}  // namespace
}  // namespace salvora

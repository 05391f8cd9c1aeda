// Feeds arbitrary bytes to the reader of a Manifest.db row's `file` blob (an NSKeyedArchiver
// property list) and splits any EncryptionKey it yields: UIDs and data lengths from the
// input must never lead outside the objects.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decryptor/archived_file.h"
#include "decryptor/manifest_plist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto file = salvora::decryptor::ParseArchivedFile(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (file && file->encryptionKey) {
    (void)salvora::decryptor::SplitClassWrappedKey(*file->encryptionKey);
  }
  return 0;
}

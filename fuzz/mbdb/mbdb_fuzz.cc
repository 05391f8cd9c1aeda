// Feeds arbitrary bytes to the Manifest.mbdb record parser and to the index reader built on
// it. Both must stop at the end of the buffer, whatever the lengths inside claim.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "backup/manifest_reader.h"
#include "backup/mbdb_parser.h"

namespace {
volatile size_t sink = 0;  // keeps the reads of the views from being optimised away
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  salvora::MbdbParser parser(bytes);
  salvora::MbdbRecord record;
  size_t records = 0;
  while (parser.Next(record) == salvora::MbdbParser::Step::kRecord) {
    // Touch every view so that a view past the buffer is seen by the sanitizers.
    size_t sum = 0;
    for (const auto& s :
         {record.domain, record.path, record.linkTarget, record.dataHash, record.encryptionKey}) {
      if (s && !s->empty()) sum += static_cast<uint8_t>(s->back());
    }
    for (const auto& p : record.properties) {
      if (p.value && !p.value->empty()) sum += static_cast<uint8_t>(p.value->front());
    }
    sink = sum;
    ++records;
  }
  salvora::ManifestIndex index;
  (void)salvora::ParseMbdb(std::string_view(reinterpret_cast<const char*>(data), size), index);
  if (index.size() > records) __builtin_trap();  // every entry comes from a record
  return 0;
}

// Fuzz entry point: the input is written as a database file and handed to every extractor,
// as each of its databases. Whatever the bytes, each run must end with a result code, no
// crash, no hang and no file written beside the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/call_history_extractor.h"
#include "records/contact_extractor.h"
#include "records/message_extractor.h"
#include "records/note_extractor.h"
#include "records/whatsapp_extractor.h"

namespace {

// One scratch file per process, rewritten for each input.
const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                    "/records_db_fuzz_" + std::to_string(::getpid()) + ".db";
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  salvora::MessageMap conversations;
  (void)salvora::MessageExtractor(salvora::ProgressState{}).Run(path, path, conversations);
  salvora::ContactList contacts;
  (void)salvora::ContactExtractor().Run(path, contacts);
  salvora::CallList calls;
  (void)salvora::CallHistoryExtractor().Run(path, path, calls);
  salvora::NoteList notes;
  salvora::NoteExtractor noteJob;
  (void)noteJob.RunOlderStore(path, notes);
  (void)noteJob.RunNewerStore(path, notes);
  salvora::ChatMap chats;
  (void)salvora::WhatsAppExtractor().Run(path, chats);

  std::remove(path.c_str());
  return 0;
}

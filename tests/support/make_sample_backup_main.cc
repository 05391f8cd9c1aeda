// make-sample-backup: writes a synthetic backup folder with the builder of tests/support.
//
//   make-sample-backup [--preset NAME] [--generation N] [--binary-plists] [--encrypted]
//                      [--seed N] [--no-edge-cases] [--COUNT N ...] OUT
//
// Prints what a correct reader finds in it, one "name value" line per figure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/sample_backup.h"

namespace {

using salvora::sample::SampleOptions;

struct CountOption {
  const char* name;
  int SampleOptions::*field;
};

constexpr CountOption kCounts[] = {
    {"handles", &SampleOptions::handles},
    {"messages", &SampleOptions::messages},
    {"message-attachments", &SampleOptions::message_attachments},
    {"contacts", &SampleOptions::contacts},
    {"calls", &SampleOptions::calls},
    {"notes", &SampleOptions::notes},
    {"whatsapp-chats", &SampleOptions::whatsapp_chats},
    {"whatsapp-messages", &SampleOptions::whatsapp_messages},
    {"whatsapp-media", &SampleOptions::whatsapp_media},
    {"camera-roll", &SampleOptions::camera_roll},
    {"photo-stream", &SampleOptions::photo_stream},
    {"app-files", &SampleOptions::app_files},
    {"missing-files", &SampleOptions::missing_files},
    {"manifest-rows", &SampleOptions::manifest_rows},
};

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "make-sample-backup: %s\n", message);
  std::fprintf(stderr,
               "usage: make-sample-backup [--preset tiny|small|demo|large] [--generation "
               "7|9|12|15|17]\n"
               "       [--binary-plists] [--encrypted] [--seed N] [--no-edge-cases]\n"
               "       [--c15-phone|--c16-phone]");
  for (const CountOption& c : kCounts) std::fprintf(stderr, " [--%s N]", c.name);
  std::fprintf(stderr, " OUT\n");
  return 64;
}

bool ParseNumber(const char* text, long long& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && *end == '\0' && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  SampleOptions options;
  std::string out;
  // The preset comes first wherever it stands, so that other options adjust it.
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--preset") == 0 &&
        !salvora::sample::PresetOptions(argv[i + 1], options)) {
      return Usage("unknown preset");
    }
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    long long n = 0;
    if (arg == "--preset") {
      ++i;
    } else if (arg == "--binary-plists") {
      options.binary_plists = true;
    } else if (arg == "--encrypted") {
      options.encrypted = true;
    } else if (arg == "--no-edge-cases") {
      options.edge_cases = false;
    } else if (arg == "--c15-phone") {
      options.address_book_layout = salvora::sample::AddressBookLayout::kC15Phone;
    } else if (arg == "--c16-phone") {
      options.address_book_layout = salvora::sample::AddressBookLayout::kC16Phone;
    } else if (arg == "--generation" || arg == "--seed") {
      if (!ParseNumber(next, n)) return Usage("a number must follow the option");
      if (arg == "--seed") {
        options.seed = static_cast<uint64_t>(n);
      } else {
        options.generation = static_cast<int>(n);
      }
      ++i;
    } else if (arg == "-h" || arg == "--help") {
      return Usage(nullptr);
    } else if (arg.rfind("--", 0) == 0) {
      const CountOption* found = nullptr;
      for (const CountOption& c : kCounts) {
        if (arg.compare(2, std::string::npos, c.name) == 0) found = &c;
      }
      if (found == nullptr) return Usage(("unknown option " + arg).c_str());
      if (!ParseNumber(next, n) || n > 100000000) return Usage("a count must follow the option");
      options.*(found->field) = static_cast<int>(n);
      ++i;
    } else if (out.empty()) {
      out = arg;
    } else {
      return Usage("only one output folder");
    }
  }
  if (out.empty()) return Usage("no output folder");
  if (!salvora::sample::IsKnownGeneration(options.generation)) {
    return Usage("the generation must be 7, 9, 12, 15 or 17");
  }

  salvora::sample::SampleReport r;
  auto start = std::chrono::steady_clock::now();
  int rc = salvora::sample::WriteSampleBackup(out, options, r);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (rc != 0) {
    std::fprintf(stderr, "make-sample-backup: %s\n", r.error.c_str());
    return 1;
  }
  std::printf("folder %s\n", r.folder.c_str());
  std::printf("generation %d\nlayout %s\n", r.generation,
              r.two_level ? "Manifest.db two-level" : "Manifest.mbdb flat");
  const struct {
    const char* name;
    long long value;
  } figures[] = {
      {"manifest_rows", r.manifest_rows},
      {"manifest_entries", r.manifest_entries},
      {"missing_files", static_cast<long long>(r.missing_keys.size())},
      {"camera_roll", r.camera_roll},
      {"photo_stream", r.photo_stream},
      {"app_photos", r.app_photos},
      {"app_videos", r.app_videos},
      {"messages", r.messages},
      {"message_conversations", r.message_conversations},
      {"message_attachments", r.message_attachments},
      {"contacts", r.contacts},
      {"calls", r.calls},
      {"notes", r.notes},
      {"whatsapp_messages", r.whatsapp_messages},
      {"whatsapp_chats", r.whatsapp_chats},
      {"whatsapp_attachments", r.whatsapp_attachments},
      {"bytes", r.bytes_written},
  };
  for (const auto& f : figures) std::printf("%s %lld\n", f.name, f.value);
  std::fprintf(stderr, "written in %.1f s\n", seconds);
  return 0;
}

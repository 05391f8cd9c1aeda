// Builds the selection statistics of 200,000 records over the eleven categories, then
// deselects and selects a category node 1,000 times, and prints time and memory figures:
//
//   statistics-bench [records] [rounds]
//
// Heap figures come from the allocator's own count of bytes in use (mallinfo2), taken before
// and after the statistics are built, so the index's cost per record is measured apart from
// the records; the peak resident size of the process is printed too. A second table shows the cost
// of one select/deselect against the size of the category, which must stay linear.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/category_id.h"
#include "core/records.h"
#include "core/statistics_obj.h"

namespace {

// Bytes the C library's allocator has handed out and not taken back (heap and mmap blocks).
size_t HeapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace

namespace salvora {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::u16string Text(size_t n, size_t i) {
  std::u16string t(n, u'a');
  t[0] = static_cast<char16_t>(u'a' + i % 26);
  return t;
}

// The containers of one scan, `total` records spread evenly over the eleven categories (the
// two app categories over 40 apps each).
struct Scan {
  FileList cameraRoll, photoStream, messageAttachments, whatsAppAttachments;
  AppFileMap appPhotos, appVideos;
  MessageList messageRows;
  ContactList contacts;
  CallList calls;
  NoteList notes;
  ChatList whatsAppRows;

  explicit Scan(size_t total) {
    auto share = [&](CategoryId c) {
      size_t i = static_cast<size_t>(c) - 1;
      return total / kAllCategories.size() + (i < total % kAllCategories.size() ? 1 : 0);
    };
    auto files = [&](FileList& list, CategoryId c) {
      for (size_t i = 0; i < share(c); ++i) {
        list.push_back({static_cast<uint32_t>(500 + i * 37 % 3'000'000), Text(12, i), {}});
      }
    };
    files(cameraRoll, CategoryId::CameraRoll);
    files(photoStream, CategoryId::PhotoStream);
    files(messageAttachments, CategoryId::MessageAttachments);
    files(whatsAppAttachments, CategoryId::WhatsAppAttachments);
    auto apps = [&](AppFileMap& map, CategoryId c) {
      for (size_t i = 0; i < share(c); ++i) {
        std::u16string app = u"app" + Text(3, i % 40);
        map[app].push_back({static_cast<uint32_t>(2000 + i), app, Text(10, i), {}});
      }
    };
    apps(appPhotos, CategoryId::AppPhotos);
    apps(appVideos, CategoryId::AppVideos);
    auto deleted = [](size_t i) { return i % 10 == 0 ? 1 : 0; };
    for (size_t i = 0; i < share(CategoryId::Messages); ++i) {
      messageRows.push_back({deleted(i), 0, int32_t(i), int32_t(i), {}, {}, {}, Text(40, i)});
    }
    for (size_t i = 0; i < share(CategoryId::Contacts); ++i) {
      contacts.push_back({deleted(i), {}, {}, Text(11, i), {}, Text(14, i)});
    }
    for (size_t i = 0; i < share(CategoryId::CallHistory); ++i) {
      calls.push_back({deleted(i), 1, 60, {}, Text(11, i), Text(14, i)});
    }
    for (size_t i = 0; i < share(CategoryId::Notes); ++i) {
      notes.push_back({deleted(i), {}, Text(10, i), Text(200, i)});
    }
    for (size_t i = 0; i < share(CategoryId::WhatsApp); ++i) {
      whatsAppRows.push_back({deleted(i), 0, int32_t(i), int32_t(i + 1), {}, {}, Text(30, i)});
    }
  }

  void AddTo(CStatisticsObj& s) const {
    int failed = 0;
    failed |= s.AddCategory(CategoryId::CameraRoll, cameraRoll);
    failed |= s.AddCategory(CategoryId::PhotoStream, photoStream);
    failed |= s.AddCategory(CategoryId::Messages, messageRows);
    failed |= s.AddCategory(CategoryId::MessageAttachments, messageAttachments);
    failed |= s.AddCategory(CategoryId::Contacts, contacts);
    failed |= s.AddCategory(CategoryId::CallHistory, calls);
    failed |= s.AddCategory(CategoryId::Notes, notes);
    failed |= s.AddCategory(CategoryId::AppPhotos, appPhotos);
    failed |= s.AddCategory(CategoryId::AppVideos, appVideos);
    failed |= s.AddCategory(CategoryId::WhatsApp, whatsAppRows);
    failed |= s.AddCategory(CategoryId::WhatsAppAttachments, whatsAppAttachments);
    if (failed != 0) {
      std::fprintf(stderr, "AddCategory failed\n");
      std::exit(1);
    }
  }
};

// Average seconds of one deselect-then-select pair of every category node, cycling.
double ToggleRounds(CStatisticsObj& s, size_t rounds) {
  auto start = Clock::now();
  for (size_t r = 0; r < rounds; ++r) {
    StatKey key = s.ContainerKey(kAllCategories[r % kAllCategories.size()]);
    s.Deselect(key);
    s.Select(key);
  }
  return Seconds(start) / static_cast<double>(rounds);
}

int Run(size_t records, size_t rounds) {
  size_t perCategory = records / kAllCategories.size();
  size_t total = records;

  size_t heapAtStart = HeapInUse();
  auto start = Clock::now();
  Scan scan(total);
  double fillSeconds = Seconds(start);
  size_t recordsHeap = HeapInUse() - heapAtStart;

  CStatisticsObj statistics;
  start = Clock::now();
  scan.AddTo(statistics);
  double buildSeconds = Seconds(start);
  size_t indexHeap = HeapInUse() - heapAtStart - recordsHeap;

  double toggle = ToggleRounds(statistics, rounds);
  bool exact = statistics.SelectedBytes() == statistics.TotalBytes() &&
               statistics.Root().selected == statistics.Root().total;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);

  std::printf("records                        %zu (about %zu per category)\n", total, perCategory);
  std::printf("fill containers                %.3f s\n", fillSeconds);
  std::printf("build statistics               %.3f s (%.1f ns per record)\n", buildSeconds,
              buildSeconds * 1e9 / static_cast<double>(total));
  std::printf("record heap                    %.1f MB (%.1f bytes per record)\n",
              static_cast<double>(recordsHeap) / (1 << 20),
              static_cast<double>(recordsHeap) / static_cast<double>(total));
  std::printf("index heap                     %.2f MB (%.1f bytes per record)\n",
              static_cast<double>(indexHeap) / (1 << 20),
              static_cast<double>(indexHeap) / static_cast<double>(total));
  std::printf(
      "deselect+select of a category  %zu rounds, %.1f us per round "
      "(%.2f ns per record), %.3f s in all\n",
      rounds, toggle * 1e6, toggle * 1e9 / static_cast<double>(perCategory),
      toggle * static_cast<double>(rounds));
  std::printf("totals exact after the rounds  %s\n", exact ? "yes" : "NO");
  std::printf("peak resident size             %.1f MB\n",
              static_cast<double>(usage.ru_maxrss) / 1024.0);

  // Linearity: one category of growing size.
  std::printf("\ncategory size   ns per deselect+select   ns per record\n");
  for (size_t n : {1'000u, 10'000u, 100'000u, 400'000u}) {
    NoteList notes(n);
    CStatisticsObj s;
    if (s.AddCategory(CategoryId::Notes, notes) != 0) return 1;
    StatKey key = s.ContainerKey(CategoryId::Notes);
    size_t reps = std::max<size_t>(1, 2'000'000 / n);
    auto t = Clock::now();
    for (size_t r = 0; r < reps; ++r) {
      s.Deselect(key);
      s.Select(key);
    }
    double per = Seconds(t) / static_cast<double>(reps);
    std::printf("%13zu   %22.0f   %13.2f\n", n, per * 1e9, per * 1e9 / static_cast<double>(n));
  }
  return exact ? 0 : 1;
}

}  // namespace
}  // namespace salvora

int main(int argc, char** argv) {
  size_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200'000;
  size_t rounds = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1'000;
  if (records < salvora::kAllCategories.size() || rounds == 0) {
    std::fprintf(stderr, "usage: statistics-bench [records >= 11] [rounds >= 1]\n");
    return 64;
  }
  return salvora::Run(records, rounds);
}

// records-bench: speed and memory of the messages and WhatsApp extractors, each against a
// plain sqlite3_exec pass over the same queries that only copies the column texts, in the
// same run.
//
//   records-bench [--runs N] [--only messages|whatsapp] SMS_DB ADDRESS_BOOK_DB [CHAT_STORAGE_DB]
//
// For the builder's large preset (200,000 messages over 2,000 handles, 5,000 contacts,
// 200,000 WhatsApp messages):
//   make-sample-backup --preset large OUT
//   id=$(sqlite3 OUT/Manifest.db "SELECT fileID FROM Files WHERE relativePath LIKE
//        '%ChatStorage.sqlite'")
//   records-bench OUT/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28
//                 OUT/31/31bb7ba8914766d4ba40d6dfb6113c8b614be442 OUT/${id:0:2}/$id
//   (one command line)
//
// Prints, per extractor: the best CPU time of N runs of the plain pass and of the
// extractor, their ratio, the records produced, the records' own size (structures plus the
// heap blocks of their texts), and the peak of C++ heap in use during the extractor's run
// above what was in use before it (SQLite's own allocations are printed apart).
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "records/message_extractor.h"
#include "records/sqlite_db.h"
#include "records/whatsapp_extractor.h"

namespace {

// Counting is switched on only for the runs that measure memory, so that timed runs pay
// nothing for it. Blocks are counted by their usable size when allocated and when freed,
// so a block allocated before counting began must not be freed while counting: the counted
// runs free only what they allocated.
std::atomic<bool> g_counting{false};
std::atomic<int64_t> g_inUse{0};
std::atomic<int64_t> g_peak{0};

void Track(int64_t delta) {
  int64_t now = g_inUse.fetch_add(delta) + delta;
  int64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

// Every C++ allocation of the program is counted by its usable size.
void* operator new(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  if (g_counting.load(std::memory_order_relaxed)) {
    Track(static_cast<int64_t>(malloc_usable_size(p)));
  }
  return p;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  if (g_counting.load(std::memory_order_relaxed)) {
    Track(-static_cast<int64_t>(malloc_usable_size(p)));
  }
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

// CPU time of this thread: on a shared machine wall time mostly measures the neighbours.
// The databases are read from the page cache after the first run, so little is spent waiting.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Heap bytes behind one text: none while it fits the in-place buffer.
int64_t TextBytes(const std::u16string& s) {
  constexpr size_t kInPlace = 15 / sizeof(char16_t);
  return s.capacity() > kInPlace ? static_cast<int64_t>((s.capacity() + 1) * sizeof(char16_t)) : 0;
}

int64_t OwnSize(const salvora::MessageMap& map) {
  int64_t bytes = 0;
  for (const auto& [key, list] : map) {
    bytes += static_cast<int64_t>(list.capacity() * sizeof(salvora::MessageRecord));
    for (const auto& m : list) {
      bytes +=
          TextBytes(m.date) + TextBytes(m.address) + TextBytes(m.contactName) + TextBytes(m.text);
    }
  }
  return bytes;
}

int64_t OwnSize(const salvora::ChatMap& map) {
  int64_t bytes = 0;
  for (const auto& [key, list] : map) {
    bytes += static_cast<int64_t>(list.capacity() * sizeof(salvora::ChatRecord));
    for (const auto& m : list) {
      bytes += TextBytes(m.date) + TextBytes(m.senderName) + TextBytes(m.text) +
               TextBytes(m.pushName) + TextBytes(m.memberNames) + TextBytes(m.memberJids) +
               TextBytes(m.chatName);
    }
  }
  return bytes;
}

// The plain pass: the same queries on a read-only connection, copying every column text.
size_t PlainPass(const std::string& path, const std::vector<const char*>& queries) {
  std::vector<std::string> cells;
  for (const char* sql : queries) {
    salvora::SqliteDb db;
    if (db.OpenReadOnly(path) != SQLITE_OK) return 0;
    (void)db.ForEachRow(sql, [&cells](int columns, char** values) {
      for (int i = 0; i < columns; ++i) cells.emplace_back(values[i] != nullptr ? values[i] : "");
    });
  }
  return cells.size();
}

struct Figures {
  double plain = 1e9;
  double extractor = 1e9;
  size_t records = 0;
  size_t cells = 0;
  int code = 0;
  int64_t ownSize = 0;
  int64_t peakHeap = 0;
  int64_t sqliteHighwater = 0;
};

template <typename Map, typename RunFn>
Figures Measure(int runs, const std::string& path, const std::vector<const char*>& queries,
                RunFn run) {
  Figures f;
  for (int r = 0; r < runs; ++r) {
    double t0 = CpuSeconds();
    f.cells = PlainPass(path, queries);
    f.plain = std::min(f.plain, CpuSeconds() - t0);

    Map map;
    double t2 = CpuSeconds();
    f.code = run(map);
    f.extractor = std::min(f.extractor, CpuSeconds() - t2);
    f.ownSize = OwnSize(map);
    f.records = 0;
    for (const auto& entry : map) f.records += entry.second.size();
  }
  // One more run for memory, counting every C++ block from an empty map to its destruction.
  {
    sqlite3_memory_highwater(1);
    g_inUse.store(0);
    g_peak.store(0);
    g_counting.store(true);
    {
      Map map;
      (void)run(map);
    }
    g_counting.store(false);
    f.peakHeap = g_peak.load();
    f.sqliteHighwater = sqlite3_memory_highwater(0);
  }
  return f;
}

void Print(const char* name, const Figures& f) {
  std::printf("%s\n", name);
  std::printf("  result code            %d\n", f.code);
  std::printf("  records                %zu\n", f.records);
  std::printf("  plain pass (best)      %.3f s  (%zu column texts)\n", f.plain, f.cells);
  std::printf("  extractor (best)       %.3f s\n", f.extractor);
  std::printf("  time ratio             %.2f\n", f.extractor / f.plain);
  std::printf("  records' own size      %.1f MiB\n", f.ownSize / 1048576.0);
  std::printf("  peak C++ heap in run   %.1f MiB\n", f.peakHeap / 1048576.0);
  std::printf("  memory ratio           %.2f\n",
              f.ownSize > 0 ? static_cast<double>(f.peakHeap) / f.ownSize : 0.0);
  std::printf("  SQLite heap high-water %.1f MiB\n", f.sqliteHighwater / 1048576.0);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::string only;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.size() < 2) {
    std::fprintf(stderr,
                 "usage: records-bench [--runs N] [--only messages|whatsapp] SMS_DB "
                 "ADDRESS_BOOK_DB [CHAT_STORAGE_DB]\n");
    return 64;
  }
  std::printf("runs %d\n", runs);

  const std::string sms = paths[0];
  const std::string book = paths[1];
  // The messages extractor also reads the address book; so does its plain pass.
  if (only.empty() || only == "messages") {
    Figures messages = Measure<salvora::MessageMap>(
        runs, sms, {salvora::MessageExtractor::kMessagesSql}, [&](salvora::MessageMap& map) {
          return salvora::MessageExtractor(salvora::ProgressState{}).Run(sms, book, map);
        });
    {
      double t0 = CpuSeconds();
      size_t cells = PlainPass(book, {"select c0First, c1Last,c6Organization,c16Phone,c17Email,"
                                      "c20URL,docid from ABPersonFullTextSearch_content;"});
      double t = CpuSeconds() - t0;
      messages.plain += t;
      messages.cells += cells;
    }
    Print("messages (plain pass includes the address book's)", messages);
  }

  if (paths.size() > 2 && (only.empty() || only == "whatsapp")) {
    const std::string chat = paths[2];
    using W = salvora::WhatsAppExtractor;
    Figures whatsapp = Measure<salvora::ChatMap>(
        runs, chat, {W::kChatsSql, W::kMembersSql, W::kMessagesSql, W::kMediaSql},
        [&](salvora::ChatMap& map) { return W().Run(chat, map); });
    Print("whatsapp", whatsapp);
  }
  return 0;
}

#include "decryptor/backup_decryptor.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <thread>

#include <sqlite3.h>

#include "backup/file_id_hasher.h"
#include "backup/mbdb_parser.h"
#include "core/text.h"
#include "decryptor/archived_file.h"
#include "decryptor/cbc_file_decryptor.h"
#include "decryptor/manifest_plist.h"
#include "records/sqlite_db.h"

namespace salvora::decryptor {
namespace {

namespace fs = std::filesystem;

constexpr const char* kManifestDb = "Manifest.db";
constexpr const char* kDecryptedManifest = "Manifest.db-decypted";
constexpr const char* kManifestMbdb = "Manifest.mbdb";
constexpr const char* kManifestPlist = "Manifest.plist";
constexpr std::string_view kSqliteHeader("SQLite format 3\0", 16);
constexpr int kRegularFileFlag = 1;  // Files.flags: 1 file, 2 folder, 4 symbolic link
constexpr std::uintmax_t kMaxMbdbSize = 1u << 30;

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

bool StartsWithSqliteHeader(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  char head[16] = {};
  return in.read(head, sizeof head) && std::string_view(head, sizeof head) == kSqliteHeader;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                       static_cast<size_t>(sqlite3_column_bytes(stmt, column)))
                         : std::string();
}

std::string Describe(const BackupDecryptor::FileJob& job) {
  return job.fileId + " (" + EscapeForDiagnostics(job.name) + ")";
}

}  // namespace

std::string EscapeForDiagnostics(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char ch : text) {
    if (ch < 0x20 || ch == 0x7F || ch == '\\') {
      out += "\\x";
      out += kDigits[ch >> 4];
      out += kDigits[ch & 15];
    } else {
      out += static_cast<char>(ch);
    }
  }
  ReplaceAll(out, "Count:", "Count\\x3a");
  ReplaceAll(out, "Wrong password", "Wrong\\x20password");
  return out;
}

bool IsFileId(std::string_view text) {
  return text.size() == 40 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

BackupDecryptor::BackupDecryptor(std::FILE* out, std::FILE* err, Options options)
    : out_(out), err_(err), options_(options) {}

void BackupDecryptor::Note(const std::string& line) {
  std::lock_guard lock(err_mutex_);
  std::fputs(line.c_str(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

void BackupDecryptor::NoteFile(const std::string& line) {
  std::lock_guard lock(err_mutex_);
  if (file_notes_++ >= options_.maxNamedFiles) return;
  std::fputs(line.c_str(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

int BackupDecryptor::Run(const fs::path& backup_folder, const fs::path& output_folder,
                         const std::string& password) {
  decrypted_ = 0;
  failed_ = 0;
  file_notes_ = 0;
  std::error_code ec;
  if (!fs::is_directory(backup_folder, ec)) {
    Note("The backup folder does not exist: " + EscapeForDiagnostics(backup_folder.string()));
    return kExitCannotRun;
  }
  std::optional<ManifestPlist> plist = ReadManifestPlist(backup_folder / kManifestPlist);
  if (!plist) {
    Note("The backup has no readable Manifest.plist.");
    return kExitCannotRun;
  }
  if (!plist->isEncrypted) {
    Note("The backup is not encrypted; there is nothing to decrypt.");
    return kExitCannotRun;
  }
  std::optional<Keybag> keybag = Keybag::Parse(plist->backupKeyBag);
  if (!keybag) {
    Note("The keybag in Manifest.plist is damaged.");
    return kExitCannotRun;
  }
  switch (keybag->Unlock(ToBytes(password))) {
    case Keybag::UnlockResult::kOk:
      break;
    case Keybag::UnlockResult::kWrongPassword:
      std::fputs("Wrong password\n", out_);
      std::fflush(out_);
      return kExitWrongPassword;
    case Keybag::UnlockResult::kUnusable:
      Note("The keybag in Manifest.plist holds no key that a password opens.");
      return kExitCannotRun;
  }
  std::fputs("Count: 0\n", out_);
  std::fflush(out_);

  fs::create_directories(output_folder, ec);
  if (!fs::is_directory(output_folder, ec)) {
    Note("The output folder cannot be created: " + EscapeForDiagnostics(output_folder.string()));
    return kExitCannotRun;
  }

  std::vector<FileJob> jobs;
  int rc = kExitCannotRun;
  if (Exists(backup_folder / kManifestDb)) {
    rc = RunModern(backup_folder, *keybag, plist->manifestKey, jobs);
  } else if (Exists(backup_folder / kManifestMbdb)) {
    rc = RunLegacy(backup_folder, jobs);
  } else {
    Note("The backup has neither Manifest.db nor Manifest.mbdb.");
  }
  if (rc != kExitDone) return rc;
  ProcessJobs(*keybag, jobs, output_folder);
  if (file_notes_ > options_.maxNamedFiles) {
    Note(std::to_string(file_notes_ - options_.maxNamedFiles) +
         " more files were skipped or kept with another size; they are not named.");
  }
  return kExitDone;
}

int BackupDecryptor::RunModern(const fs::path& backup_folder, const Keybag& keybag,
                               const std::optional<Bytes>& manifest_key,
                               std::vector<FileJob>& jobs) {
  const fs::path manifest = backup_folder / kManifestDb;
  fs::path readable = manifest;
  if (manifest_key) {
    // ManifestKey: protection class, then the wrapped key of Manifest.db.
    std::optional<ClassWrappedKey> split = SplitClassWrappedKey(*manifest_key);
    std::optional<Bytes> key =
        split ? keybag.UnwrapKey(split->protectionClass, split->wrappedKey) : std::nullopt;
    if (!key) {
      Note("The ManifestKey of Manifest.plist cannot be unwrapped.");
      return kExitCannotRun;
    }
    readable = backup_folder / kDecryptedManifest;
    CbcFileDecryptor decryptor;
    CbcFileDecryptor::Result r =
        decryptor.DecryptFile(manifest, readable, *key, CbcFileDecryptor::Padding::kOptional);
    if (r.status != CbcFileDecryptor::Status::kOk) {
      Note(std::string("Manifest.db cannot be decrypted: ") +
           CbcFileDecryptor::StatusText(r.status));
      return kExitCannotRun;
    }
  } else if (!StartsWithSqliteHeader(manifest)) {
    Note("Manifest.db is encrypted, but Manifest.plist has no ManifestKey.");
    return kExitCannotRun;
  }

  SqliteDb db;
  if (db.OpenReadOnly(readable.string()) != SQLITE_OK) {
    Note("The decrypted Manifest.db cannot be opened.");
    return kExitCannotRun;
  }
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT fileID, domain, relativePath, flags, file FROM Files",
                         -1, &raw, nullptr) != SQLITE_OK) {
    Note(std::string("The decrypted Manifest.db cannot be read: ") + sqlite3_errmsg(db.get()));
    return kExitCannotRun;
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    if (sqlite3_column_int(stmt.get(), 3) != kRegularFileFlag) continue;
    FileJob job;
    job.fileId = ColumnText(stmt.get(), 0);
    job.name = ColumnText(stmt.get(), 1) + "-" + ColumnText(stmt.get(), 2);
    if (!IsFileId(job.fileId)) {
      // Only 40 hexadecimal digits ever become a path: a hostile id cannot leave a folder.
      NoteFile("Skipped a row with an invalid file id: " + EscapeForDiagnostics(job.fileId) + " (" +
               EscapeForDiagnostics(job.name) + ")");
      ++failed_;
      continue;
    }
    const void* blob = sqlite3_column_blob(stmt.get(), 4);
    std::optional<ArchivedFile> archived =
        blob != nullptr ? ParseArchivedFile(std::string_view(
                              static_cast<const char*>(blob),
                              static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 4))))
                        : std::nullopt;
    if (!archived) {
      NoteFile("Skipped " + Describe(job) + ": its file description cannot be read");
      ++failed_;
      continue;
    }
    job.expectedSize = archived->size;
    if (archived->encryptionKey) {
      std::optional<ClassWrappedKey> split = SplitClassWrappedKey(*archived->encryptionKey);
      if (!split) {
        NoteFile("Skipped " + Describe(job) + ": its EncryptionKey is too short");
        ++failed_;
        continue;
      }
      job.protectionClass = split->protectionClass;
      job.wrappedKey = std::move(split->wrappedKey);
    }
    // Two-level layout: the first two digits of the id name the sub-folder.
    job.input = backup_folder / job.fileId.substr(0, 2) / job.fileId;
    if (!Exists(job.input) && Exists(backup_folder / job.fileId)) {
      job.input = backup_folder / job.fileId;
    }
    jobs.push_back(std::move(job));
  }
  if (step != SQLITE_DONE) {
    Note(std::string("Manifest.db could not be read to its end: ") + sqlite3_errmsg(db.get()));
  }
  return kExitDone;
}

int BackupDecryptor::RunLegacy(const fs::path& backup_folder, std::vector<FileJob>& jobs) {
  const fs::path manifest = backup_folder / kManifestMbdb;
  std::error_code ec;
  std::uintmax_t size = fs::file_size(manifest, ec);
  std::ifstream in(manifest, std::ios::binary);
  if (ec || size > kMaxMbdbSize || !in) {
    Note("Manifest.mbdb cannot be read.");
    return kExitCannotRun;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MbdbParser parser(bytes);
  if (!parser.header_ok()) {
    Note("Manifest.mbdb is not a backup manifest.");
    return kExitCannotRun;
  }
  FileIdHasher hasher;
  MbdbRecord record;
  MbdbParser::Step step;
  while ((step = parser.Next(record)) == MbdbParser::Step::kRecord) {
    // Only regular files have content; folders and links are left to the manifest.
    if (!record.IsRegularFile() || !record.domain || !record.path || record.domain->empty() ||
        record.path->empty()) {
      continue;
    }
    FileJob job;
    job.fileId = hasher.IdOf(*record.domain, *record.path);
    job.name = std::string(*record.domain) + "-" + std::string(*record.path);
    job.input = backup_folder / job.fileId;  // this layout is flat
    if (record.encryptionKey && !record.encryptionKey->empty()) {
      std::optional<ClassWrappedKey> split =
          SplitClassWrappedKey(Bytes(record.encryptionKey->begin(), record.encryptionKey->end()));
      if (!split) {
        NoteFile("Skipped " + Describe(job) + ": its encryption key is too short");
        ++failed_;
        continue;
      }
      job.protectionClass = split->protectionClass;
      job.wrappedKey = std::move(split->wrappedKey);
    } else if (record.size == 0 && !Exists(job.input)) {
      job.expectedSize = 0;  // an empty file the backup did not store
    }
    // The recorded size can be stale; the decrypted length less its padding is trusted.
    jobs.push_back(std::move(job));
  }
  if (step == MbdbParser::Step::kTruncated) {
    Note("Manifest.mbdb ends inside a record; the files before it are decrypted.");
  }
  return kExitDone;
}

void BackupDecryptor::ProcessJobs(const Keybag& keybag, const std::vector<FileJob>& jobs,
                                  const fs::path& output_folder) {
  unsigned threads =
      options_.threads != 0 ? options_.threads : std::max(2u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(1, jobs.size())));

  std::atomic<size_t> next{0};
  std::atomic<uint64_t> handled{0};
  std::atomic<uint64_t> decrypted{0};
  std::atomic<uint64_t> failed{0};
  std::mutex done_mutex;
  std::condition_variable done_cv;
  unsigned running = threads;

  auto worker = [&]() {
    CbcFileDecryptor decryptor;  // one cipher context and buffer set per thread
    for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
      const FileJob& job = jobs[i];
      const fs::path output = output_folder / job.fileId;
      bool ok = false;
      if (job.expectedSize == 0 && !Exists(job.input)) {
        // An empty file that the backup keeps no data file for.
        std::ofstream(output, std::ios::binary | std::ios::trunc);
        ok = Exists(output);
        if (!ok) NoteFile("Skipped " + Describe(job) + ": the output file cannot be created");
      } else if (job.wrappedKey.empty()) {
        CbcFileDecryptor::Result r = decryptor.CopyFile(job.input, output);
        ok = r.status == CbcFileDecryptor::Status::kOk;
        if (!ok)
          NoteFile("Skipped " + Describe(job) + ": " + CbcFileDecryptor::StatusText(r.status));
      } else if (std::optional<Bytes> key = keybag.UnwrapKey(job.protectionClass, job.wrappedKey);
                 !key) {
        NoteFile("Skipped " + Describe(job) + ": its key does not unwrap with class " +
                 std::to_string(job.protectionClass));
      } else {
        CbcFileDecryptor::Result r =
            decryptor.DecryptFile(job.input, output, *key, CbcFileDecryptor::Padding::kRequired);
        ok = r.status == CbcFileDecryptor::Status::kOk;
        if (!ok) {
          NoteFile("Skipped " + Describe(job) + ": " + CbcFileDecryptor::StatusText(r.status));
        } else if (job.expectedSize && *job.expectedSize != r.plainSize) {
          // Kept: the content decrypted with valid padding, only the recorded size differs.
          NoteFile("Kept " + Describe(job) + ": " + std::to_string(r.plainSize) +
                   " bytes decrypted, the manifest records " + std::to_string(*job.expectedSize));
        }
      }
      (ok ? decrypted : failed).fetch_add(1);
      handled.fetch_add(1, std::memory_order_release);
    }
    std::lock_guard lock(done_mutex);
    if (--running == 0) done_cv.notify_all();
  };

  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);

  // The running total, at most once per interval, and once more at the end.
  uint64_t printed = 0;
  auto print = [&](uint64_t value) {
    std::fprintf(out_, "Count: %llu\n", static_cast<unsigned long long>(value));
    std::fflush(out_);
    printed = value;
  };
  {
    std::unique_lock lock(done_mutex);
    while (!done_cv.wait_for(lock, options_.countInterval, [&] { return running == 0; })) {
      uint64_t now = handled.load(std::memory_order_acquire);
      if (now != printed) {
        lock.unlock();
        print(now);
        lock.lock();
      }
    }
  }
  for (std::thread& t : pool) t.join();
  print(handled.load());
  decrypted_ += decrypted.load();
  failed_ += failed.load();
}

}  // namespace salvora::decryptor

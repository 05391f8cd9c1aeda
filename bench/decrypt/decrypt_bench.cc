// decrypt_bench [--work DIR] [--runs N]: figures of the decryptor.
//
// 1. Key derivation with real counts (PBKDF2-HMAC-SHA256 over 10,000,000 iterations, then
//    PBKDF2-HMAC-SHA1 over 10,000), through the keybag as the decryptor does it, and the same
//    two stages through `openssl kdf` in the same run.
// 2. Bulk decryption: the builder's large preset, encrypted by the tests' helper, decrypted
//    by the program `tool`, beside a plain `cp -r` of the same encrypted files. Every run
//    starts from a warm page cache (the encrypted files were just written or read), so the
//    figures compare the work of both programs, not the disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "backup_encryptor.h"
#include "decryptor/crypto.h"
#include "decryptor/keybag.h"

namespace {

namespace fs = std::filesystem;
using salvora::decryptor::Bytes;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kIter = 10000;
constexpr uint32_t kDpic = 10000000;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs a shell command line, returns its wall time in seconds (negative when it failed).
double TimeCommand(const std::string& command) {
  auto start = Clock::now();
  int rc = std::system(command.c_str());
  double s = Seconds(Clock::now() - start);
  return rc == 0 ? s : -1;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

void BenchKdf() {
  const std::string password = "benchmark password";
  const Bytes salt(20, 0x5A);
  const Bytes dpsl(20, 0xA5);
  Bytes bag;
  salvora::testing::AppendKeybagRecord(bag, "UUID", Bytes(16));
  salvora::testing::AppendKeybagRecord(bag, "SALT", salt);
  salvora::testing::AppendKeybagRecord(bag, "ITER", salvora::testing::KeybagInt(kIter));
  salvora::testing::AppendKeybagRecord(bag, "DPIC", salvora::testing::KeybagInt(kDpic));
  salvora::testing::AppendKeybagRecord(bag, "DPSL", dpsl);
  auto keybag = salvora::decryptor::Keybag::Parse(bag);
  if (!keybag) {
    std::printf("kdf: keybag not parsed\n");
    return;
  }
  auto start = Clock::now();
  Bytes stage;
  std::optional<Bytes> kek = keybag->DeriveKek(salvora::decryptor::ToBytes(password), &stage);
  double ours = Seconds(Clock::now() - start);

  // The same two stages through the OpenSSL command line.
  std::string first =
      "openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:" + Quote(password) +
      " -kdfopt hexsalt:" + salvora::decryptor::ToHex(dpsl) +
      " -kdfopt iter:" + std::to_string(kDpic) + " PBKDF2 > /dev/null";
  std::string second = "openssl kdf -keylen 32 -kdfopt digest:SHA1 -kdfopt hexpass:" +
                       salvora::decryptor::ToHex(stage) +
                       " -kdfopt hexsalt:" + salvora::decryptor::ToHex(salt) +
                       " -kdfopt iter:" + std::to_string(kIter) + " PBKDF2 > /dev/null";
  double openssl = TimeCommand(first + " && " + second);
  std::printf("kdf_dpic %u\nkdf_iter %u\n", kDpic, kIter);
  std::printf("kdf_decryptor_seconds %.3f\n", ours);
  std::printf("kdf_openssl_seconds %.3f\n", openssl);
  if (kek && openssl > 0) std::printf("kdf_ratio %.3f\n", ours / openssl);
}

struct Tree {
  uint64_t files = 0;
  uint64_t bytes = 0;
};
Tree Measure(const fs::path& root) {
  Tree t;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) {
      ++t.files;
      t.bytes += e.file_size();
    }
  }
  return t;
}

void BenchBulk(const fs::path& work, int runs) {
  const fs::path bin = SALVORA_BIN_DIR;
  const fs::path plain = work / "plain";
  const fs::path enc = work / "encrypted";
  std::error_code ec;
  fs::remove_all(work, ec);
  fs::create_directories(work);
  if (TimeCommand(Quote((bin / "make-sample-backup").string()) + " --preset large " +
                  Quote(plain.string()) + " > /dev/null") < 0) {
    std::printf("bulk: make-sample-backup failed\n");
    return;
  }
  salvora::testing::EncryptOptions options;
  options.password = "benchmark password";
  std::string error;
  auto start = Clock::now();
  if (!salvora::testing::EncryptBackup(plain, enc, options, &error)) {
    std::printf("bulk: encryption failed: %s\n", error.c_str());
    return;
  }
  double encrypt_seconds = Seconds(Clock::now() - start);
  Tree tree = Measure(enc);
  std::printf("bulk_files %llu\nbulk_bytes %llu\nbulk_encrypt_seconds %.3f\n",
              static_cast<unsigned long long>(tree.files),
              static_cast<unsigned long long>(tree.bytes), encrypt_seconds);

  std::vector<double> cp, tool;
  for (int i = 0; i < runs; ++i) {
    fs::remove_all(work / "copy", ec);
    fs::remove_all(work / "out", ec);
    cp.push_back(
        TimeCommand("cp -r " + Quote(enc.string()) + " " + Quote((work / "copy").string())));
    fs::remove_all(work / "copy", ec);
    tool.push_back(TimeCommand(Quote((bin / "tool").string()) + " " + Quote(enc.string()) + " " +
                               Quote((work / "out").string()) + " " + Quote(options.password) +
                               " > /dev/null 2> " + Quote((work / "tool-errors.txt").string())));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  double cp_s = median(cp);
  double tool_s = median(tool);
  Tree out = Measure(work / "out");
  std::printf("bulk_runs %d\nbulk_cp_seconds %.3f\nbulk_decryptor_seconds %.3f\n", runs, cp_s,
              tool_s);
  int error_lines = 0;
  if (std::FILE* f = std::fopen((work / "tool-errors.txt").c_str(), "r")) {
    // The first lines show what kind of files the run skipped.
    char line[512];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (++error_lines <= 3) std::printf("bulk_skipped_example %s", line);
    }
    std::fclose(f);
  }
  std::printf("bulk_skipped_lines %d\n", error_lines);
  std::printf("bulk_decrypted_files %llu\nbulk_decrypted_bytes %llu\n",
              static_cast<unsigned long long>(out.files),
              static_cast<unsigned long long>(out.bytes));
  if (cp_s > 0 && tool_s > 0) {
    std::printf("bulk_encrypted_mb_per_s %.1f\nbulk_ratio %.3f\n", tree.bytes / tool_s / 1e6,
                tool_s / cp_s);
  }
}

}  // namespace

int main(int argc, char** argv) {
  fs::path work = fs::temp_directory_path() / "salvora-decrypt-bench";
  int runs = 3;
  bool kdf = true, bulk = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--kdf-only") {
      bulk = false;
    } else if (a == "--bulk-only") {
      kdf = false;
    } else {
      std::fprintf(stderr,
                   "Usage: decrypt_bench [--work DIR] [--runs N] [--kdf-only|--bulk-only]\n");
      return 2;
    }
  }
  if (kdf) BenchKdf();
  if (bulk) BenchBulk(work, runs);
  std::error_code ec;
  fs::remove_all(work, ec);
  return 0;
}

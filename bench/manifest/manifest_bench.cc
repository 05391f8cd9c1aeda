// manifest-bench: speed of the manifest readers.
//
//   manifest-bench [--runs N] BACKUP_FOLDER
//
// With the builder's large preset in the old format (300,000 records, flat layout):
//   make-sample-backup --preset large --generation 9 OUT && manifest-bench OUT
// and in the new format (Manifest.db):
//   make-sample-backup --preset large OUT && manifest-bench OUT
//
// For "Manifest.mbdb" it prints, as the best of N runs: the whole read (load, parse, key
// building and SHA-1 of every key) against OpenSSL's SHA-1 alone over the same keys in the
// same run, and the record parse alone. For "Manifest.db" the read through SQLite.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "backup/manifest_reader.h"
#include "backup/mbdb_parser.h"

namespace {

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
double Best(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double start = Now();
    f();
    best = std::min(best, Now() - start);
  }
  return best;
}

void Line(const char* what, double seconds, size_t items, const char* unit) {
  std::printf("%-34s %9.1f ms  %12.0f %s/s\n", what, seconds * 1e3,
              static_cast<double>(items) / seconds, unit);
}

int BenchMbdb(const std::filesystem::path& file, int runs) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> keys;
  size_t records = 0;
  {
    salvora::MbdbParser parser(bytes);
    salvora::MbdbRecord r;
    while (parser.Next(r) == salvora::MbdbParser::Step::kRecord) {
      ++records;
      if (r.domain && !r.domain->empty() && r.path && !r.path->empty() && !r.IsDirectory()) {
        keys.push_back(std::string(*r.domain) + "-" + std::string(*r.path));
      }
    }
  }
  std::printf("Manifest.mbdb: %zu bytes, %zu records, %zu entries, %d runs\n", bytes.size(),
              records, keys.size(), runs);

  salvora::ManifestIndex index;
  int rc = 0;
  double read = Best(runs, [&] { rc = salvora::ReadMbdb(file, index); });
  if (rc != 0 || index.size() != keys.size()) {
    std::fprintf(stderr, "ReadMbdb: result %d, %zu entries\n", rc, index.size());
    return 1;
  }
  double parse = Best(runs, [&] {
    salvora::MbdbParser parser(bytes);
    salvora::MbdbRecord r;
    size_t n = 0;
    while (parser.Next(r) == salvora::MbdbParser::Step::kRecord) ++n;
    if (n != records) std::abort();
  });
  // OpenSSL's SHA-1 alone: one fetched algorithm, one context, a digest per key.
  EVP_MD* md = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  unsigned sink = 0;
  double sha1 = Best(runs, [&] {
    for (const std::string& key : keys) {
      EVP_DigestInit_ex2(ctx, md, nullptr);
      EVP_DigestUpdate(ctx, key.data(), key.size());
      EVP_DigestFinal_ex(ctx, digest, &length);
      sink += digest[0];
    }
  });
  // The one-shot call most code writes, which looks the algorithm up on every digest.
  double sha1_oneshot = Best(runs, [&] {
    for (const std::string& key : keys) {
      EVP_Digest(key.data(), key.size(), digest, &length, EVP_sha1(), nullptr);
      sink += digest[0];
    }
  });
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);

  Line("ReadMbdb (load, parse, SHA-1)", read, records, "records");
  Line("  record parse alone", parse, records, "records");
  Line("OpenSSL SHA-1 of the same keys", sha1, keys.size(), "keys");
  Line("  EVP_Digest one-shot per key", sha1_oneshot, keys.size(), "keys");
  std::printf("ReadMbdb / SHA-1 alone: %.2fx%s\n", read / sha1, sink == 1 ? " " : "");
  return 0;
}

int BenchManifestDb(const std::filesystem::path& file, int runs) {
  salvora::ManifestIndex index;
  int rc = 0;
  double read = Best(runs, [&] { rc = salvora::ReadManifestDb(file, index); });
  if (rc != 0) {
    std::fprintf(stderr, "ReadManifestDb: result %d\n", rc);
    return 1;
  }
  std::printf("%s: %zu entries, %d runs\n", file.filename().c_str(), index.size(), runs);
  Line("ReadManifestDb", read, index.size(), "rows");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::filesystem::path folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      folder = argv[i];
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: manifest-bench [--runs N] BACKUP_FOLDER\n");
    return 2;
  }
  std::error_code ec;
  bool any = false;
  int failures = 0;
  if (std::filesystem::exists(folder / "Manifest.mbdb", ec)) {
    failures += BenchMbdb(folder / "Manifest.mbdb", runs);
    any = true;
  }
  if (std::filesystem::exists(folder / "Manifest.db", ec)) {
    failures += BenchManifestDb(folder / "Manifest.db", runs);
    any = true;
  }
  if (!any) {
    std::fprintf(stderr, "%s holds neither Manifest.mbdb nor Manifest.db\n", folder.c_str());
    return 1;
  }
  return failures == 0 ? 0 : 1;
}

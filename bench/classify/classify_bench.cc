// classify-bench: speed of the file classification against the bare file reads it needs.
//
//   classify-bench [--runs N] BACKUP_FOLDER
//
// With the builder's large preset (50,000 photos and the app files among 300,000 manifest
// rows):
//   make-sample-backup --preset large OUT && classify-bench OUT
//
// In the same run and as the best of N alternating runs (page cache warm), it times the
// photo and app-file walks over the whole index (key tests, paths, one probe per candidate,
// records with their names) against a plain C loop over the same candidate files that only
// does open, read of 512 bytes, fstat and close.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backup/backup_layout.h"
#include "backup/manifest_reader.h"
#include "media/file_classifier.h"

namespace {

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Cpu() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool Holds(const std::string& key, const char* part) { return key.find(part) != std::string::npos; }

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
    std::fprintf(stderr, "usage: classify-bench [--runs N] BACKUP_FOLDER\n");
    return 2;
  }
  salvora::ManifestChoice choice;
  salvora::ManifestIndex index;
  if (salvora::ChooseManifest(folder, choice) != 0 || salvora::ReadManifest(choice, index) != 0) {
    std::fprintf(stderr, "%s: no readable manifest\n", folder.c_str());
    return 1;
  }
  salvora::BackupLayout layout{folder, false, choice.twoLevel};
  salvora::ContentPathFn paths = [&layout](const salvora::ManifestEntry& e) {
    return salvora::FilePathOfId(layout, e.fileId);
  };

  // The candidate files of both walks, for the plain loop.
  std::vector<std::string> files;
  for (const salvora::ManifestEntry& e : index) {
    if (Holds(e.key, "CameraRollDomain-Media/DCIM/") ||
        Holds(e.key, "MediaDomain-Media/PhotoStreamsData/") || Holds(e.key, "AppDomain-")) {
      files.push_back(paths(e).string());
    }
  }

  size_t found = 0;
  size_t opened = 0;
  double best_walk = 1e30, best_walk_cpu = 1e30, best_loop = 1e30, best_loop_cpu = 1e30;
  for (int run = 0; run < runs; ++run) {
    double start = Now(), cpu = Cpu();
    salvora::FileList roll, stream, whatsapp;
    salvora::AppFileList apps;
    if (salvora::ClassifyPhotos(index, paths, {}, roll, stream) != 0 ||
        salvora::ClassifyAppFiles(index, paths, {}, apps, whatsapp) != 0) {
      return 1;
    }
    best_walk = std::min(best_walk, Now() - start);
    best_walk_cpu = std::min(best_walk_cpu, Cpu() - cpu);
    found = roll.size() + stream.size() + apps.size() + whatsapp.size();

    start = Now(), cpu = Cpu();
    unsigned char buffer[512];
    size_t n = 0;
    for (const std::string& file : files) {
      int fd = open(file.c_str(), O_RDONLY);
      if (fd < 0) continue;
      struct stat st;
      if (read(fd, buffer, sizeof buffer) >= 0 && fstat(fd, &st) == 0) ++n;
      close(fd);
    }
    best_loop = std::min(best_loop, Now() - start);
    best_loop_cpu = std::min(best_loop_cpu, Cpu() - cpu);
    opened = n;
  }

  std::printf("%zu manifest entries, %zu candidate files (%zu readable), %zu listed, %d runs\n",
              index.size(), files.size(), opened, found, runs);
  std::printf("%-38s %9.1f ms wall %9.1f ms cpu  %10.0f files/s\n", "classify photos + app files",
              best_walk * 1e3, best_walk_cpu * 1e3, static_cast<double>(files.size()) / best_walk);
  std::printf("%-38s %9.1f ms wall %9.1f ms cpu  %10.0f files/s\n",
              "open/read 512/fstat/close loop", best_loop * 1e3, best_loop_cpu * 1e3,
              static_cast<double>(files.size()) / best_loop);
  std::printf("classification / plain loop: %.2fx wall, %.2fx cpu\n", best_walk / best_loop,
              best_walk_cpu / best_loop_cpu);
  return 0;
}

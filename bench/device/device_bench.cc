// device-bench: speed of the device backup's file receiver.
//
//   device-bench [--runs N] [--files N] [--size BYTES] [DIR]
//
// Plays a device that uploads N files of the given size (default 256 files of 1 MiB) in
// 32 KiB data blocks, handed over by the link in pieces of up to 64 KiB, and measures, as the
// best of the runs, the receiver writing them below DIR (default: the temporary folder)
// against a plain loop that writes the same bytes to the same files in 32 KiB writes.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "core/abort_counter.h"
#include "device/backup_file_transfer.h"
#include "device/device_log.h"
#include "device/stream_device.h"

namespace {

namespace fs = std::filesystem;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void PutU32(std::string& out, uint32_t v) {
  char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
               static_cast<char>(v)};
  out.append(b, 4);
}

void Quiet(const std::string&) {}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  int files = 256;
  size_t size = 1 << 20;
  fs::path dir = fs::temp_directory_path();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--files" && i + 1 < argc) {
      files = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--size" && i + 1 < argc) {
      size = static_cast<size_t>(std::strtoull(argv[++i], nullptr, 10));
    } else {
      dir = arg;
    }
  }
  salvora::SetDeviceLogSink(&Quiet);
  const fs::path backup = dir / ("device-bench-" + std::to_string(::getpid()));

  std::string payload(size, '\0');
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<char>(i * 131 + i / 4099);
  std::string stream;
  stream.reserve(static_cast<size_t>(files) * (size + size / 32768 * 5 + 128));
  for (int f = 0; f < files; ++f) {
    std::string name = "stream-udid/" + std::to_string(f);
    PutU32(stream, 11);
    stream += "/var/mobile";
    PutU32(stream, static_cast<uint32_t>(name.size()));
    stream += name;
    for (size_t at = 0; at < size; at += 32768) {
      size_t n = std::min<size_t>(32768, size - at);
      PutU32(stream, static_cast<uint32_t>(n + 1));
      stream.push_back('\x0C');
      stream.append(payload, at, n);
    }
    PutU32(stream, 1);
    stream.push_back('\0');
  }
  PutU32(stream, 0);

  double bestReceive = 1e30;
  double bestPlain = 1e30;
  int received = 0;
  for (int r = 0; r < runs; ++r) {
    std::error_code ec;
    fs::remove_all(backup, ec);
    fs::create_directories(backup);
    salvora::BackupAbortCounter().store(0);
    salvora::testing::StreamDevice device(stream.data(), stream.size(), 65536);
    salvora::BackupFileTransfer transfer(device, backup, "stream-udid");
    double start = Now();
    received = transfer.ReceiveFiles().files;
    bestReceive = std::min(bestReceive, Now() - start);

    fs::remove_all(backup, ec);
    fs::create_directories(backup);
    start = Now();
    for (int f = 0; f < files; ++f) {
      std::FILE* out = std::fopen((backup / std::to_string(f)).c_str(), "wb");
      if (out == nullptr) return 1;
      for (size_t at = 0; at < size; at += 32768) {
        std::fwrite(payload.data() + at, 1, std::min<size_t>(32768, size - at), out);
      }
      std::fclose(out);
    }
    bestPlain = std::min(bestPlain, Now() - start);
  }
  std::error_code ec;
  fs::remove_all(backup, ec);

  double megabytes = static_cast<double>(files) * static_cast<double>(size) / (1 << 20);
  std::printf("files received                     %9d of %d\n", received, files);
  std::printf("receiver (framing + writes)        %9.1f ms  %9.0f MiB/s\n", bestReceive * 1e3,
              megabytes / bestReceive);
  std::printf("plain writes of the same bytes     %9.1f ms  %9.0f MiB/s\n", bestPlain * 1e3,
              megabytes / bestPlain);
  return received == files ? 0 : 1;
}

// tool BACKUP_FOLDER OUTPUT_FOLDER PASSWORD: decrypts an encrypted backup (backup_decryptor.h).
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "decryptor/backup_decryptor.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("Usage: tool BACKUP_FOLDER OUTPUT_FOLDER PASSWORD\n", stderr);
    return salvora::decryptor::kExitCannotRun;
  }
  // The caller may stop reading our output and leave us to finish: a closed pipe must not
  // end the run half-way.
  std::signal(SIGPIPE, SIG_IGN);
  salvora::decryptor::BackupDecryptor decryptor(stdout, stderr);
  return decryptor.Run(std::filesystem::path(argv[1]), std::filesystem::path(argv[2]),
                       std::string(argv[3]));
}

// An engine for the export tests, the sample pages and the export benchmark: it reads
// nothing, and copies files out the way the engines do (64 KiB chunks with a report after
// each; (100, 87) once when a file cannot be opened; no report for an empty source). The
// database copies write a small marker file.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/iphone_recovery_parse.h"
#include "core/result_codes.h"

namespace salvora::testing {

class CopyingEngine : public IPhoneRecoveryParse {
 public:
  int Attach(BackupReader*) override { return 0; }
  int SetProgressCallback(ProgressCallback, void*) override { return 0; }
  bool IsLocalBackup(int) override { return true; }
  int Open(const std::u16string&) override { return 0; }
  int ReadMessages(MessageMap&) override { return 0; }
  int ReadMessageAttachments(FileList&) override { return 0; }
  int ReadContacts(ContactList&) override { return 0; }
  int ReadNotes(NoteList&) override { return 0; }
  int ReadCallHistory(CallList&) override { return 0; }
  int ReadPhotos(FileList&, FileList&) override { return 0; }
  int ReadWhatsAppAttachments(FileList&) override { return 0; }
  int ReadAppFiles(AppFileList&) override { return 0; }
  int ReadWhatsApp(ChatMap&) override { return 0; }
  int MakePreviewCopy(const std::filesystem::path&, std::filesystem::path&, ProgressCallback,
                      void*) override {
    return 0;
  }
  int WriteWhatsAppChat(int32_t, const std::filesystem::path&, CopyProgressCallback,
                        void*) override {
    return 0;
  }
  int CopyMessageDatabase(const std::filesystem::path& destination) override {
    std::ofstream(destination, std::ios::binary) << "SQLite format 3 (messages)";
    return 0;
  }
  int CopyAddressBookDatabase(const std::filesystem::path& destination) override {
    std::ofstream(destination, std::ios::binary) << "SQLite format 3 (address book)";
    return 0;
  }

  int CopyOut(const std::filesystem::path& source, const std::filesystem::path& destination,
              CopyProgressCallback callback, void* user_data) override {
    ++copies;
    std::error_code ec;
    std::filesystem::create_directories(destination.parent_path(), ec);
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int out =
        in < 0 ? -1 : ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) {
      if (in >= 0) ::close(in);
      callback(user_data, 100, kInvalidParameter, destination);
      return kInvalidParameter;
    }
    struct stat st {};
    ::fstat(in, &st);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    int code = 0;
    uint64_t copied = 0;
    while (code == 0 && copied < size) {
      ssize_t n = ::read(in, buffer_.data(), buffer_.size());
      if (n <= 0) {
        code = kShortRead;
        break;
      }
      if (::write(out, buffer_.data(), static_cast<size_t>(n)) != n) {
        code = errno != 0 ? errno : EIO;
        break;
      }
      copied += static_cast<uint64_t>(n);
      code = callback(user_data, static_cast<int>(copied * 100 / size), 0, destination);
      if (code == 0 && after_report) after_report(destination);
    }
    ::close(in);
    ::close(out);
    if (code > 0 && code != kStopped) callback(user_data, 100, code, destination);
    return code;
  }

  int copies = 0;
  std::function<void(const std::filesystem::path&)> after_report;  // between two chunks

 private:
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);
};

}  // namespace salvora::testing

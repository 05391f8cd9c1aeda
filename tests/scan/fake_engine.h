// A scripted engine for driving the scan session: per operation a result, the percents it
// reports and the records it appends, an optional hook that runs inside the operation, and
// "report until stopped" for operations that must still be running when a test acts.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/iphone_recovery_parse.h"
#include "core/result_codes.h"
#include "scan/scan_results.h"
#include "scan/scan_session.h"

namespace salvora::testing {

struct FakeScript {
  std::array<int, kScanStepCount> results{};
  std::array<std::vector<int>, kScanStepCount> reports;
  // Operations that keep reporting (every millisecond) until the callback answers non-zero.
  std::array<bool, kScanStepCount> reportUntilStopped{};
  // Like reportUntilStopped, without the pause between reports.
  std::array<bool, kScanStepCount> reportTightlyUntilStopped{};
  // Runs inside an operation, after its records were appended and before its reports.
  std::function<void(ScanStep)> during;
  ScanResults records;  // what each operation appends (WhatsApp attachments replace)
};

// Shared between the test and the engine, which the session owns.
struct FakeState {
  FakeScript script;
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<int> answers;  // what the progress callback answered, in order
  size_t Answers() {
    std::lock_guard<std::mutex> hold(mutex);
    return answers.size();
  }
  BackupReader* attachedReader = reinterpret_cast<BackupReader*>(1);
  std::atomic<bool> inOperation[kScanStepCount]{};

  void Log(const std::string& call) {
    std::lock_guard<std::mutex> hold(mutex);
    calls.push_back(call);
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> hold(mutex);
    return calls;
  }
};

class FakeEngine : public IPhoneRecoveryParse {
 public:
  explicit FakeEngine(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}

  int Attach(BackupReader* reader) override {
    state_->attachedReader = reader;
    state_->Log("Attach");
    return 0;
  }
  int SetProgressCallback(ProgressCallback callback, void* userData) override {
    progress_.callback = callback;
    progress_.userData = userData;
    state_->Log("SetProgressCallback");
    return 0;
  }
  bool IsLocalBackup(int) override { return true; }

  int Open(const std::u16string& password) override {
    state_->Log(password.empty() ? "Open" : "Open(password)");
    return Run(ScanStep::kOpen);
  }
  int ReadPhotos(FileList& cameraRoll, FileList& photoStream) override {
    state_->Log("ReadPhotos");
    Append(cameraRoll, state_->script.records.cameraRoll);
    Append(photoStream, state_->script.records.photoStream);
    return Run(ScanStep::kPhotos);
  }
  int ReadMessages(MessageMap& conversations) override {
    state_->Log("ReadMessages");
    for (const auto& [k, v] : state_->script.records.messages) conversations[k] = v;
    return Run(ScanStep::kMessages);
  }
  int ReadMessageAttachments(FileList& attachments) override {
    state_->Log("ReadMessageAttachments");
    Append(attachments, state_->script.records.messageAttachments);
    return Run(ScanStep::kMessageAttachments);
  }
  int ReadContacts(ContactList& contacts) override {
    state_->Log("ReadContacts");
    Append(contacts, state_->script.records.contacts);
    return Run(ScanStep::kContacts);
  }
  int ReadNotes(NoteList& notes) override {
    state_->Log("ReadNotes");
    Append(notes, state_->script.records.notes);
    return Run(ScanStep::kNotes);
  }
  int ReadCallHistory(CallList& calls) override {
    state_->Log("ReadCallHistory");
    Append(calls, state_->script.records.calls);
    return Run(ScanStep::kCallHistory);
  }
  int ReadWhatsAppAttachments(FileList& attachments) override {
    state_->Log("ReadWhatsAppAttachments");
    attachments = state_->script.records.whatsAppAttachments;
    return Run(ScanStep::kWhatsAppAttachments);
  }
  int ReadAppFiles(AppFileList& appFiles) override {
    state_->Log("ReadAppFiles");
    Append(appFiles, state_->script.records.appFiles);
    return Run(ScanStep::kAppFiles);
  }
  int ReadWhatsApp(ChatMap& chats) override {
    state_->Log("ReadWhatsApp");
    for (const auto& [k, v] : state_->script.records.whatsApp) chats[k] = v;
    return Run(ScanStep::kWhatsApp);
  }

  int MakePreviewCopy(const std::filesystem::path&, std::filesystem::path&, ProgressCallback,
                      void*) override {
    return kInvalidParameter;
  }
  int CopyOut(const std::filesystem::path&, const std::filesystem::path&, CopyProgressCallback,
              void*) override {
    return kInvalidParameter;
  }
  int CopyMessageDatabase(const std::filesystem::path&) override { return 0; }
  int CopyAddressBookDatabase(const std::filesystem::path&) override { return 0; }
  int WriteWhatsAppChat(int32_t, const std::filesystem::path&, CopyProgressCallback,
                        void*) override {
    return kInvalidParameter;
  }

 private:
  template <class List>
  static void Append(List& to, const List& from) {
    to.insert(to.end(), from.begin(), from.end());
  }

  int Report(int percent) {
    int answer = progress_.Report(percent);
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->answers.push_back(answer);
    return answer;
  }

  int Run(ScanStep step) {
    auto i = static_cast<size_t>(step);
    FakeScript& script = state_->script;
    state_->inOperation[i] = true;
    if (script.during) script.during(step);
    for (int percent : script.reports[i]) {
      if (int answer = Report(percent); answer != 0) return answer;
    }
    if (script.reportUntilStopped[i] || script.reportTightlyUntilStopped[i]) {
      // Bounded, so that a broken stop fails the test instead of hanging it.
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (std::chrono::steady_clock::now() < end) {
        if (int answer = Report(3); answer != 0) return answer;
        if (!script.reportTightlyUntilStopped[i]) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    }
    return script.results[i];
  }

  std::shared_ptr<FakeState> state_;
  ProgressState progress_;
};

}  // namespace salvora::testing

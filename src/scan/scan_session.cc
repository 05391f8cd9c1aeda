#include "scan/scan_session.h"

#include <chrono>

#include "backup/backup_reader.h"
#include "core/abort_counter.h"
#include "core/conversation_rows.h"
#include "core/result_codes.h"
#include "core/shown_percent.h"
#include "core/statistics_label.h"
#include "media/file_classifier.h"

namespace salvora {

namespace {

// How often the stop and close commands look whether the worker has ended.
constexpr auto kEndPollPeriod = std::chrono::milliseconds(50);
// The pause after the first-progress event, so that the main window can bring the scan page
// to the front before the guidance layout replaces the list.
constexpr auto kFirstStepPause = std::chrono::milliseconds(100);

constexpr ScanStep kReadOrder[] = {
    ScanStep::kPhotos,   ScanStep::kMessages,    ScanStep::kMessageAttachments,
    ScanStep::kContacts, ScanStep::kCallHistory, ScanStep::kNotes,
    ScanStep::kAppFiles, ScanStep::kWhatsApp,    ScanStep::kWhatsAppAttachments};

// The categories whose counts the progress callback captures.
constexpr CategoryId kCapturedCategories[] = {CategoryId::CameraRoll,         CategoryId::AppPhotos,
                                              CategoryId::AppVideos,          CategoryId::Messages,
                                              CategoryId::MessageAttachments, CategoryId::Contacts,
                                              CategoryId::CallHistory,        CategoryId::Notes};

size_t Index(CategoryId c) { return static_cast<size_t>(c); }

bool IsCategory(CategoryId c) {
  return static_cast<int32_t>(c) >= 1 && static_cast<int32_t>(c) <= 11;
}

}  // namespace

CScanSession::CScanSession(ScanSessionSetup setup, IScanObserver* observer)
    : setup_(std::move(setup)), observer_(observer) {
  for (auto& r : stepResults_) r.store(kNotRun);
}

CScanSession::~CScanSession() {
  Stop();
  {
    std::lock_guard<std::mutex> control(controlMutex_);
    ReleaseHeldLock();
    paused_ = false;
  }
  JoinWorker();
  engine_.reset();
}

void CScanSession::SetSelectedBackup(const BackupInfo& backup) { backup_ = backup; }

void CScanSession::SetPassword(std::u16string password) { password_ = std::move(password); }

void CScanSession::ReleaseHeldLock() {
  if (holdsLock_) {
    holdsLock_ = false;
    progressLock_.unlock();
  }
}

int CScanSession::Start(int source) {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (!ended_.load()) return kInvalidParameter;
  JoinWorker();
  // A scan that ended while paused leaves the pause behind; a new scan starts unpaused.
  ReleaseHeldLock();
  paused_ = false;

  engine_.reset();
  if (source == ScanSourceBackup && setup_.reader != nullptr) {
    (void)setup_.reader->SetCurrentBackup(backup_);
  }
  engine_ = CreateRecoveryEngine(source, setup_.engines, setup_.reader);
  if (engine_ == nullptr) return kInvalidParameter;

  ResetState();
  stopFlag_ = false;
  (void)engine_->SetProgressCallback(&CScanSession::ProgressThunk, this);
  ended_ = false;
  worker_ = std::thread(&CScanSession::RunWorker, this, password_);
  return kOk;
}

void CScanSession::Reset() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (!ended_.load()) return;
  JoinWorker();
  ResetState();
}

void CScanSession::ResetState() {
  results_.Clear();
  {
    std::lock_guard<std::mutex> hold(statisticsMutex_);
    statistics_.Clear();
  }
  for (auto& c : captured_) c = 0;
  for (auto& c : categoryCounts_) c = 0;
  for (auto& d : categoryDone_) d = false;
  for (auto& r : stepResults_) r = kNotRun;
  firstCategory_ = 0;
  shownPercent_ = kShownPercentAtStart;
  result_ = kOk;
  finished_ = false;
}

bool CScanSession::Pause() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (ended_.load() || paused_.load()) return false;
  if (!holdsLock_) {
    progressLock_.lock();  // waits while the worker is inside a report
    holdsLock_ = true;
  }
  paused_ = true;
  return true;
}

bool CScanSession::Resume() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (!paused_.load()) return false;
  paused_ = false;
  ReleaseHeldLock();
  return true;
}

void CScanSession::BeginStop() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (ended_.load()) return;
  if (!holdsLock_) {
    progressLock_.lock();
    holdsLock_ = true;
  }
}

void CScanSession::ConfirmStop() {
  {
    std::lock_guard<std::mutex> control(controlMutex_);
    if (ended_.load()) {
      // Nothing left to stop; a pause held over the end is lifted.
      paused_ = false;
      ReleaseHeldLock();
      return;
    }
    if (!holdsLock_) {
      progressLock_.lock();
      holdsLock_ = true;
    }
    paused_ = false;
    // A running device backup does not report through the progress callback; it watches
    // the abort counter.
    BackupAbortCounter().fetch_add(1);
    stopFlag_ = true;
    ReleaseHeldLock();
  }
  Wait();
}

void CScanSession::CancelStop() {
  std::lock_guard<std::mutex> control(controlMutex_);
  // A scan paused before the question stays paused, and keeps the lock.
  if (!paused_.load()) ReleaseHeldLock();
}

void CScanSession::Stop() {
  BeginStop();
  ConfirmStop();
}

void CScanSession::Wait() {
  while (!ended_.load()) std::this_thread::sleep_for(kEndPollPeriod);
  JoinWorker();
}

void CScanSession::JoinWorker() {
  std::lock_guard<std::mutex> hold(joinMutex_);
  if (worker_.joinable()) worker_.join();
}

int CScanSession::StepResult(ScanStep step) const {
  auto i = static_cast<size_t>(step);
  return i < stepResults_.size() ? stepResults_[i].load() : kNotRun;
}

CapturedCounts CScanSession::Counts() const {
  CapturedCounts counts{};
  for (size_t i = 0; i < counts.size(); ++i) counts[i] = captured_[i].load();
  return counts;
}

uint32_t CScanSession::CategoryCount(CategoryId category) const {
  return IsCategory(category) ? categoryCounts_[Index(category)].load() : 0;
}

bool CScanSession::CategoryDone(CategoryId category) const {
  return IsCategory(category) && categoryDone_[Index(category)].load();
}

std::optional<CategoryId> CScanSession::FirstCategory() const {
  int32_t first = firstCategory_.load();
  if (first == 0) return std::nullopt;
  return static_cast<CategoryId>(first);
}

std::u16string CScanSession::StatisticsLabel(std::u16string_view format) const {
  return WithStatistics([&](const CStatisticsObj& s) { return FormatStatisticsLabel(format, s); });
}

bool CScanSession::RecoverEnabled() const {
  bool state = finished_.load() || paused_.load();
  return WithStatistics([&](const CStatisticsObj& s) { return IsRecoverEnabled(state, s); });
}

void CScanSession::Post(ScanMessage message, int32_t param) {
  if (observer_ != nullptr) observer_->OnScanMessage(message, param);
}

// --- Worker thread ---

int CScanSession::ProgressThunk(void* session, int percent) {
  return static_cast<CScanSession*>(session)->OnProgress(percent);
}

int CScanSession::OnProgress(int percent) {
  std::lock_guard<ProgressLock> hold(progressLock_);
  if (stopFlag_.load()) return kStopped;
  ShownPercentStep step = NextShownPercent(shownPercent_.load(), percent);
  if (step.raised) {
    if (step.firstStep) {
      Post(ScanMessage::kEvent, kScanEventFirstProgress);
      std::this_thread::sleep_for(kFirstStepPause);
      if (observer_ != nullptr) observer_->OnShowGuidance();
    }
    shownPercent_ = step.shown;
    CaptureCounts();
    if (observer_ != nullptr) observer_->OnProgress(step.shown, Counts());
  }
  return kOk;
}

void CScanSession::CaptureCounts() {
  // Runs on the worker between the engine's own changes to the containers.
  for (CategoryId c : kCapturedCategories) {
    uint32_t n = c == CategoryId::Messages ? static_cast<uint32_t>(results_.messages.size())
                                           : results_.Count(c);
    captured_[Index(c)] = n;
  }
}

int CScanSession::CallStep(ScanStep step) {
  ScanResults& r = results_;
  IPhoneRecoveryParse& e = *engine_;
  switch (step) {
    case ScanStep::kOpen:
      return kInvalidParameter;  // run by RunWorker itself
    case ScanStep::kPhotos:
      return e.ReadPhotos(r.cameraRoll, r.photoStream);
    case ScanStep::kMessages:
      return e.ReadMessages(r.messages);
    case ScanStep::kMessageAttachments:
      return e.ReadMessageAttachments(r.messageAttachments);
    case ScanStep::kContacts:
      return e.ReadContacts(r.contacts);
    case ScanStep::kCallHistory:
      return e.ReadCallHistory(r.calls);
    case ScanStep::kNotes:
      return e.ReadNotes(r.notes);
    case ScanStep::kAppFiles:
      return e.ReadAppFiles(r.appFiles);
    case ScanStep::kWhatsApp:
      return e.ReadWhatsApp(r.whatsApp);
    case ScanStep::kWhatsAppAttachments:
      return e.ReadWhatsAppAttachments(r.whatsAppAttachments);
  }
  return kInvalidParameter;
}

void CScanSession::RunWorker(std::u16string password) {
  int open = engine_->Open(password);
  stepResults_[0] = open;
  bool done = true;
  int result = kOk;
  if (open == kOk) {
    Post(ScanMessage::kTreeUpdate, 0);
    for (ScanStep step : kReadOrder) {
      int code = CallStep(step);
      stepResults_[static_cast<size_t>(step)] = code;
      FinishCategory(step);
      if (code == kStopped) {
        result = kStopped;
        break;
      }
    }
  } else if (open == kWrongPassword) {
    Post(ScanMessage::kEvent, kScanEventWrongPassword);
    result = open;
    done = false;
  } else if (open == kOpenRefused) {
    Post(ScanMessage::kEvent, kScanEventOpenRefused);
    result = open;
    done = false;
  } else if (open == kStopped || open == kStoppedSilently) {
    result = kStopped;
  } else {
    Post(ScanMessage::kEvent, kScanEventError);
    result = open;
  }
  result_ = result;
  if (done) {
    finished_ = true;
    Post(ScanMessage::kDone, result);
  }
  ended_ = true;
}

void CScanSession::FinishCategory(ScanStep step) {
  ScanResults& r = results_;
  switch (step) {
    case ScanStep::kOpen:
      break;
    case ScanStep::kPhotos:
      AddCategoryStatistics(CategoryId::CameraRoll);
      AddCategoryStatistics(CategoryId::PhotoStream);
      break;
    case ScanStep::kMessages:
      r.messageRows = BuildConversationRows(r.messages);
      AddCategoryStatistics(CategoryId::Messages);
      break;
    case ScanStep::kMessageAttachments:
      AddCategoryStatistics(CategoryId::MessageAttachments);
      break;
    case ScanStep::kContacts:
      SortDeletedFirst(r.contacts);
      AddCategoryStatistics(CategoryId::Contacts);
      break;
    case ScanStep::kCallHistory:
      SortCallsForList(r.calls);
      AddCategoryStatistics(CategoryId::CallHistory);
      break;
    case ScanStep::kNotes:
      SortDeletedFirst(r.notes);
      AddCategoryStatistics(CategoryId::Notes);
      break;
    case ScanStep::kAppFiles:
      r.appPhotos.clear();
      r.appVideos.clear();
      if (setup_.splitAppFiles) {
        setup_.splitAppFiles(r.appFiles, r.appPhotos, r.appVideos);
      } else {
        SplitAppFiles(r.appFiles, r.appPhotos, r.appVideos);
      }
      AddCategoryStatistics(CategoryId::AppPhotos);
      AddCategoryStatistics(CategoryId::AppVideos);
      break;
    case ScanStep::kWhatsApp:
      r.whatsAppRows = BuildConversationRows(r.whatsApp);
      AddCategoryStatistics(CategoryId::WhatsApp);
      break;
    case ScanStep::kWhatsAppAttachments:
      AddCategoryStatistics(CategoryId::WhatsAppAttachments);
      break;
  }
}

void CScanSession::AddCategoryStatistics(CategoryId category) {
  const ScanResults& r = results_;
  {
    std::lock_guard<std::mutex> hold(statisticsMutex_);
    CStatisticsObj& s = statistics_;
    int code = kOk;
    switch (category) {
      case CategoryId::CameraRoll:
        code = s.AddCategory(category, r.cameraRoll);
        break;
      case CategoryId::PhotoStream:
        code = s.AddCategory(category, r.photoStream);
        break;
      case CategoryId::AppPhotos:
        code = s.AddCategory(category, r.appPhotos);
        break;
      case CategoryId::AppVideos:
        code = s.AddCategory(category, r.appVideos);
        break;
      case CategoryId::Messages:
        code = s.AddCategory(category, r.messageRows);
        break;
      case CategoryId::MessageAttachments:
        code = s.AddCategory(category, r.messageAttachments);
        break;
      case CategoryId::Contacts:
        code = s.AddCategory(category, r.contacts);
        break;
      case CategoryId::CallHistory:
        code = s.AddCategory(category, r.calls);
        break;
      case CategoryId::Notes:
        code = s.AddCategory(category, r.notes);
        break;
      case CategoryId::WhatsApp:
        code = s.AddCategory(category, r.whatsAppRows);
        break;
      case CategoryId::WhatsAppAttachments:
        code = s.AddCategory(category, r.whatsAppAttachments);
        break;
    }
    // Only a category far beyond any phone's size (more than 4 billion entries) is refused;
    // it then stays out of the statistics and its node shows its count unselectable.
    (void)code;
  }
  uint32_t count = r.Count(category);
  categoryCounts_[Index(category)] = count;
  categoryDone_[Index(category)] = true;
  Post(ScanMessage::kTreeUpdate, static_cast<int32_t>(category));
  if (count > 0 && firstCategory_.load() == 0) {
    firstCategory_ = static_cast<int32_t>(category);
    Post(ScanMessage::kListUpdate, static_cast<int32_t>(category));
  }
}

}  // namespace salvora

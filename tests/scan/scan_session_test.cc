#include "scan/scan_session.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backup/backup_reader.h"
#include "core/abort_counter.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "fake_engine.h"

namespace salvora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeEngine;
using testing::FakeState;

struct Message {
  ScanMessage message;
  int32_t param;
  bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m) {
  return out << static_cast<int>(m.message) << "(" << m.param << ")";
}

Message Tree(CategoryId c) { return {ScanMessage::kTreeUpdate, static_cast<int32_t>(c)}; }
Message List(CategoryId c) { return {ScanMessage::kListUpdate, static_cast<int32_t>(c)}; }
Message Done(int r) { return {ScanMessage::kDone, r}; }
Message Event(int code) { return {ScanMessage::kEvent, code}; }
const Message kOpened{ScanMessage::kTreeUpdate, 0};

class RecordingObserver : public IScanObserver {
 public:
  void OnScanMessage(ScanMessage message, int32_t param) override {
    std::lock_guard<std::mutex> hold(mutex_);
    messages_.push_back({message, param});
    log_.push_back("message");
  }
  void OnProgress(int32_t shown, const CapturedCounts& counts) override {
    std::lock_guard<std::mutex> hold(mutex_);
    shown_.push_back(shown);
    counts_.push_back(counts);
    log_.push_back("progress");
  }
  void OnShowGuidance() override {
    std::lock_guard<std::mutex> hold(mutex_);
    log_.push_back("guidance");
  }
  std::vector<Message> Messages() {
    std::lock_guard<std::mutex> hold(mutex_);
    return messages_;
  }
  std::vector<int> Shown() {
    std::lock_guard<std::mutex> hold(mutex_);
    return shown_;
  }
  std::vector<CapturedCounts> Counts() {
    std::lock_guard<std::mutex> hold(mutex_);
    return counts_;
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> hold(mutex_);
    return log_;
  }

 private:
  std::mutex mutex_;
  std::vector<Message> messages_;
  std::vector<int> shown_;
  std::vector<CapturedCounts> counts_;
  std::vector<std::string> log_;
};

// Puts .jpg files into App Photos and everything else into App Videos.
void SplitByExtension(const AppFileList& files, AppFileMap& photos, AppFileMap& videos) {
  for (const AppFileRecord& f : files) {
    bool photo = f.fileName.size() >= 4 && f.fileName.substr(f.fileName.size() - 4) == U(".jpg");
    (photo ? photos : videos)[f.appName].push_back(f);
  }
}

class ScanSessionTest : public ::testing::Test {
 protected:
  ScanSessionTest() : state_(std::make_shared<FakeState>()) {}

  std::unique_ptr<CScanSession> MakeSession(BackupReader* reader = nullptr,
                                            IScanObserver* observer = nullptr) {
    ScanSessionSetup setup;
    auto state = state_;
    setup.engines.localBackup = [state] { return std::make_unique<FakeEngine>(state); };
    setup.engines.device = [state] {
      state->Log("device engine");
      return std::make_unique<FakeEngine>(state);
    };
    setup.reader = reader;
    setup.splitAppFiles = &SplitByExtension;
    return std::make_unique<CScanSession>(std::move(setup),
                                          observer != nullptr ? observer : &observer_);
  }

  // Waits until the worker has entered `step` (bounded).
  void WaitForStep(ScanStep step) {
    for (int i = 0; i < 5000 && !state_->inOperation[static_cast<size_t>(step)]; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(state_->inOperation[static_cast<size_t>(step)]);
  }

  std::shared_ptr<FakeState> state_;
  RecordingObserver observer_;
};

const std::vector<std::string> kAllCalls = {
    "Attach",       "SetProgressCallback",    "Open",         "ReadPhotos",
    "ReadMessages", "ReadMessageAttachments", "ReadContacts", "ReadCallHistory",
    "ReadNotes",    "ReadAppFiles",           "ReadWhatsApp", "ReadWhatsAppAttachments"};

std::vector<std::string> CallsUpTo(const char* last) {
  std::vector<std::string> calls;
  for (const std::string& c : kAllCalls) {
    calls.push_back(c);
    if (c == last) break;
  }
  return calls;
}

MessageRecord Msg(int32_t handle, int32_t deleted, const char* date) {
  MessageRecord m;
  m.handleId = handle;
  m.isDeleted = deleted;
  m.date = U(date);
  m.text = U("hello");
  return m;
}

TEST_F(ScanSessionTest, FullScanCallsInOrderAndBuildsEveryCategory) {
  ScanResults& r = state_->script.records;
  r.cameraRoll = {{5000, U("IMG_1.JPG"), {}}, {10, U("IMG_2.JPG"), {}}};
  r.messages[4] = {Msg(4, 0, "2015-01-01 00:00:00"), Msg(4, 0, "2015-01-02 00:00:00")};
  r.messages[9] = {Msg(9, 1, "2015-01-01 00:00:00"), Msg(9, 0, "2015-01-03 00:00:00")};
  r.contacts.resize(3);
  r.contacts[2].isDeleted = 1;
  r.contacts[2].name = U("gone");
  r.calls.resize(2);
  r.calls[0].date = U("2015-01-02 03:04:05");
  r.calls[1].date = U("2015-01-10 00:00:00");
  r.appFiles = {{100, U("one"), U("a.jpg"), {}},
                {200, U("one"), U("b.mov"), {}},
                {300, U("two"), U("c.jpg"), {}}};
  r.whatsApp[7].resize(2);
  r.whatsAppAttachments = {{64, U("x.JPG"), {}}};

  BackupReader reader(std::filesystem::path("/nonexistent-backup-root"));
  auto session = MakeSession(&reader);
  BackupInfo info;
  info.folderPath = "/somewhere/backup";
  session->SetSelectedBackup(info);
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  session->Wait();

  EXPECT_EQ(state_->Calls(), kAllCalls);
  EXPECT_EQ(state_->attachedReader, &reader);
  EXPECT_EQ(reader.current_backup().folderPath, info.folderPath);
  EXPECT_THAT(
      observer_.Messages(),
      ElementsAre(kOpened, Tree(CategoryId::CameraRoll), List(CategoryId::CameraRoll),
                  Tree(CategoryId::PhotoStream), Tree(CategoryId::Messages),
                  Tree(CategoryId::MessageAttachments), Tree(CategoryId::Contacts),
                  Tree(CategoryId::CallHistory), Tree(CategoryId::Notes),
                  Tree(CategoryId::AppPhotos), Tree(CategoryId::AppVideos),
                  Tree(CategoryId::WhatsApp), Tree(CategoryId::WhatsAppAttachments), Done(0)));
  EXPECT_FALSE(session->IsRunning());
  EXPECT_TRUE(session->IsFinished());
  EXPECT_EQ(session->Result(), kOk);

  const ScanResults& out = session->Results();
  // Conversation rows: deleted first; the rows are the newest messages.
  ASSERT_EQ(out.messageRows.size(), 2u);
  EXPECT_EQ(out.messageRows[0].handleId, 9);
  EXPECT_EQ(out.messageRows[0].isDeleted, 1);
  EXPECT_EQ(out.messageRows[1].date, U("2015-01-02 00:00:00"));
  EXPECT_EQ(out.contacts[0].name, U("gone"));
  EXPECT_EQ(out.calls[0].date, U("2015-01-10 00:00:00"));
  EXPECT_EQ(out.appPhotos.at(u"one").size(), 1u);
  EXPECT_EQ(out.appPhotos.at(u"two").size(), 1u);
  EXPECT_EQ(out.appVideos.at(u"one").size(), 1u);
  EXPECT_EQ(out.whatsAppRows.size(), 1u);

  const std::pair<CategoryId, uint32_t> counts[] = {
      {CategoryId::CameraRoll, 2},         {CategoryId::PhotoStream, 0}, {CategoryId::AppPhotos, 2},
      {CategoryId::AppVideos, 1},          {CategoryId::Messages, 2},    {CategoryId::Contacts, 3},
      {CategoryId::CallHistory, 2},        {CategoryId::Notes, 0},       {CategoryId::WhatsApp, 1},
      {CategoryId::WhatsAppAttachments, 1}};
  for (const auto& expected : counts) {
    const CategoryId category = expected.first;
    const uint32_t count = expected.second;
    SCOPED_TRACE(static_cast<int>(category));
    EXPECT_EQ(session->CategoryCount(category), count);
    EXPECT_TRUE(session->CategoryDone(category));
    session->WithStatistics([&](const CStatisticsObj& s) {
      ASSERT_NE(s.CategoryNode(category), nullptr);
      EXPECT_EQ(s.CategoryNode(category)->total, count);
    });
  }
  session->WithStatistics([](const CStatisticsObj& s) {
    EXPECT_EQ(s.Root().selected, s.Root().total);
    EXPECT_EQ(s.SelectedBytes(), s.TotalBytes());
  });
  EXPECT_EQ(session->FirstCategory(), CategoryId::CameraRoll);
  EXPECT_TRUE(session->RecoverEnabled());
  EXPECT_EQ(Utf16ToUtf8(session->StatisticsLabel(u"%s/%d/%s/%d")), "17.88 KB/14/17.88 KB/14");
}

TEST_F(ScanSessionTest, OnlyContactsBecomesFirstCategory) {
  state_->script.records.contacts.resize(1);
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  session->Wait();
  std::vector<Message> lists;
  for (const Message& m : observer_.Messages()) {
    if (m.message == ScanMessage::kListUpdate) lists.push_back(m);
  }
  EXPECT_THAT(lists, ElementsAre(List(CategoryId::Contacts)));
  EXPECT_EQ(session->CategoryCount(CategoryId::CameraRoll), 0u);
  EXPECT_EQ(session->FirstCategory(), CategoryId::Contacts);
}

TEST_F(ScanSessionTest, CategoryErrorDoesNotEndTheScan) {
  state_->script.results[static_cast<size_t>(ScanStep::kMessages)] = kSqlFailed;
  state_->script.results[static_cast<size_t>(ScanStep::kWhatsAppAttachments)] = kInvalidParameter;
  state_->script.records.notes.resize(2);
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  session->Wait();
  EXPECT_EQ(state_->Calls(), kAllCalls);
  EXPECT_EQ(observer_.Messages().back(), Done(0));
  EXPECT_EQ(session->Result(), kOk);
  EXPECT_EQ(session->StepResult(ScanStep::kMessages), kSqlFailed);
  EXPECT_EQ(session->StepResult(ScanStep::kWhatsAppAttachments), kInvalidParameter);
  EXPECT_EQ(session->CategoryCount(CategoryId::Notes), 2u);
}

TEST_F(ScanSessionTest, OpenResults) {
  struct Case {
    int open;
    std::vector<Message> messages;
    int result;
    bool finished;
  } cases[] = {
      {kWrongPassword, {Event(kScanEventWrongPassword)}, kWrongPassword, false},
      {kOpenRefused, {Event(kScanEventOpenRefused)}, kOpenRefused, false},
      {kInvalidParameter,
       {Event(kScanEventError), Done(kInvalidParameter)},
       kInvalidParameter,
       true},
      {kMbdbUnopenable, {Event(kScanEventError), Done(kMbdbUnopenable)}, kMbdbUnopenable, true},
      {kStopped, {Done(kStopped)}, kStopped, true},
      {kStoppedSilently, {Done(kStopped)}, kStopped, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.open);
    state_ = std::make_shared<FakeState>();
    RecordingObserver observer;
    state_->script.results[0] = c.open;
    state_->script.records.contacts.resize(1);
    auto session = MakeSession(nullptr, &observer);
    session->SetPassword(u"secret");
    ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
    session->Wait();
    EXPECT_EQ(state_->Calls(),
              (std::vector<std::string>{"Attach", "SetProgressCallback", "Open(password)"}));
    EXPECT_THAT(observer.Messages(), ElementsAreArray(c.messages));
    EXPECT_EQ(session->Result(), c.result);
    EXPECT_EQ(session->IsFinished(), c.finished);
    EXPECT_FALSE(session->IsRunning());
    EXPECT_EQ(session->StepResult(ScanStep::kContacts), CScanSession::kNotRun);
  }
}

TEST_F(ScanSessionTest, StopInOpen) {
  state_->script.reportUntilStopped[0] = true;
  int abortBefore = BackupAbortCounter().load();
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceDevice), kOk);
  WaitForStep(ScanStep::kOpen);
  session->Stop();  // returns once the worker has ended
  EXPECT_FALSE(session->IsRunning());
  EXPECT_EQ(state_->Calls(),
            (std::vector<std::string>{"device engine", "Attach", "SetProgressCallback", "Open"}));
  EXPECT_EQ(state_->attachedReader, nullptr);
  EXPECT_EQ(state_->answers.back(), kStopped);
  EXPECT_EQ(session->StepResult(ScanStep::kOpen), kStopped);
  EXPECT_EQ(session->Result(), kStopped);
  EXPECT_EQ(observer_.Messages().back(), Done(kStopped));
  EXPECT_GT(BackupAbortCounter().load(), abortBefore);
  BackupAbortCounter() = 0;
}

TEST_F(ScanSessionTest, StopInALaterOperationKeepsWhatWasFound) {
  state_->script.reportUntilStopped[static_cast<size_t>(ScanStep::kCallHistory)] = true;
  state_->script.records.calls.resize(4);
  state_->script.records.contacts.resize(1);
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  WaitForStep(ScanStep::kCallHistory);
  session->BeginStop();
  session->ConfirmStop();
  EXPECT_EQ(state_->Calls(), CallsUpTo("ReadCallHistory"));
  EXPECT_EQ(session->StepResult(ScanStep::kCallHistory), kStopped);
  EXPECT_EQ(session->StepResult(ScanStep::kNotes), CScanSession::kNotRun);
  EXPECT_EQ(session->Result(), kStopped);
  EXPECT_EQ(observer_.Messages().back(), Done(kStopped));
  // The calls read before the stop are listed and counted.
  EXPECT_EQ(session->CategoryCount(CategoryId::CallHistory), 4u);
  EXPECT_FALSE(session->CategoryDone(CategoryId::Notes));
  BackupAbortCounter() = 0;

  // Stopping a finished scan does nothing; a new scan may start.
  session->Stop();
  state_->script.reportUntilStopped = {};
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  session->Wait();
  EXPECT_EQ(session->Result(), kOk);
  EXPECT_EQ(session->CategoryCount(CategoryId::CallHistory), 4u);  // emptied, then read again
}

TEST_F(ScanSessionTest, PauseBlocksTheWorkerAtItsNextReport) {
  std::promise<void> paused;
  std::shared_future<void> go = paused.get_future().share();
  state_->script.records.contacts.resize(2);
  state_->script.reports[static_cast<size_t>(ScanStep::kCallHistory)] = {40};
  state_->script.during = [go](ScanStep step) {
    if (step == ScanStep::kCallHistory) go.wait();
  };
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  WaitForStep(ScanStep::kCallHistory);
  EXPECT_FALSE(session->RecoverEnabled());  // running, not paused
  ASSERT_TRUE(session->Pause());
  EXPECT_FALSE(session->Pause());  // already paused
  EXPECT_TRUE(session->IsPaused());
  EXPECT_TRUE(session->RecoverEnabled());  // paused with contacts selected
  paused.set_value();                      // the operation goes on to its report
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_TRUE(session->IsRunning());
  EXPECT_EQ(state_->Calls(), CallsUpTo("ReadCallHistory"));

  // Stop answered "no" while paused keeps the scan paused.
  session->BeginStop();
  session->CancelStop();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(session->IsPaused());
  EXPECT_EQ(state_->Calls(), CallsUpTo("ReadCallHistory"));

  ASSERT_TRUE(session->Resume());
  session->Wait();
  EXPECT_EQ(state_->Calls(), kAllCalls);
  EXPECT_EQ(session->ShownPercent(), 40);
  EXPECT_EQ(session->Result(), kOk);
}

TEST_F(ScanSessionTest, PauseHoldsAWorkerThatReportsContinuously) {
  state_->script.reportTightlyUntilStopped[static_cast<size_t>(ScanStep::kPhotos)] = true;
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  WaitForStep(ScanStep::kPhotos);
  ASSERT_TRUE(session->Pause());
  // The report that ran as the pause began still logs its answer after releasing the lock.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  size_t answers = state_->Answers();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(state_->Answers(), answers);  // the worker waits in its report
  session->Stop();
  EXPECT_EQ(session->Result(), kStopped);
  EXPECT_EQ(state_->Calls(), CallsUpTo("ReadPhotos"));
  BackupAbortCounter() = 0;
}

TEST_F(ScanSessionTest, StopWhileRunningThenAnsweringNoGoesOn) {
  std::promise<void> asked;
  std::shared_future<void> go = asked.get_future().share();
  state_->script.reports[static_cast<size_t>(ScanStep::kNotes)] = {50};
  state_->script.during = [go](ScanStep step) {
    if (step == ScanStep::kNotes) go.wait();
  };
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  WaitForStep(ScanStep::kNotes);
  session->BeginStop();  // the question is open: the worker is held at its next report
  asked.set_value();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(state_->Calls(), CallsUpTo("ReadNotes"));
  session->CancelStop();
  EXPECT_FALSE(session->IsPaused());
  session->Wait();
  EXPECT_EQ(session->Result(), kOk);
  EXPECT_EQ(state_->Calls(), kAllCalls);
}

TEST_F(ScanSessionTest, ShownPercentAndCapturedCounts) {
  FakeState& s = *state_;
  s.script.reports[0] = {0, 1, 1};
  s.script.reports[static_cast<size_t>(ScanStep::kPhotos)] = {12, 5, 23};
  s.script.reports[static_cast<size_t>(ScanStep::kContacts)] = {120, 98};
  s.script.records.cameraRoll.resize(3);
  s.script.records.contacts.resize(2);
  auto session = MakeSession();
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  session->Wait();

  EXPECT_THAT(observer_.Shown(), ElementsAre(2, 12, 23, 99));
  EXPECT_EQ(session->ShownPercent(), 99);
  // The first step is announced once, before anything is shown, then the guidance follows.
  std::vector<std::string> log = observer_.Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "message");
  EXPECT_EQ(log[1], "guidance");
  EXPECT_EQ(log[2], "progress");
  EXPECT_EQ(observer_.Messages()[0], Event(kScanEventFirstProgress));
  int firstEvents = 0;
  for (const Message& m : observer_.Messages()) firstEvents += m == Event(0);
  EXPECT_EQ(firstEvents, 1);
  // Counts are captured with each raise: the camera roll is filled during ReadPhotos.
  std::vector<CapturedCounts> counts = observer_.Counts();
  EXPECT_EQ(counts[0][static_cast<size_t>(CategoryId::CameraRoll)], 0u);
  EXPECT_EQ(counts[1][static_cast<size_t>(CategoryId::CameraRoll)], 3u);
  EXPECT_EQ(counts[3][static_cast<size_t>(CategoryId::Contacts)], 2u);
  EXPECT_EQ(session->Counts()[static_cast<size_t>(CategoryId::Contacts)], 2u);
}

TEST_F(ScanSessionTest, StartRefusals) {
  auto session = MakeSession();
  EXPECT_EQ(session->Start(2), kInvalidParameter);
  EXPECT_EQ(session->Start(-1), kInvalidParameter);
  EXPECT_TRUE(state_->Calls().empty());
  EXPECT_TRUE(observer_.Messages().empty());
  EXPECT_EQ(session->Engine(), nullptr);
  EXPECT_FALSE(session->IsRunning());

  state_->script.reportUntilStopped[static_cast<size_t>(ScanStep::kPhotos)] = true;
  ASSERT_EQ(session->Start(ScanSourceBackup), kOk);
  EXPECT_EQ(session->Start(ScanSourceBackup), kInvalidParameter);  // still running
  session->Reset();                                                // ignored while running
  EXPECT_TRUE(session->IsRunning());
  session->Stop();
  BackupAbortCounter() = 0;
}

TEST_F(ScanSessionTest, AppFilesSplitByTheFileClassificationByDefault) {
  state_->script.records.appFiles = {{1, U("one"), U("a.JPG"), {}},
                                     {2, U("one"), U("clip.mov"), {}},
                                     {3, U("two"), U("song.mp3"), {}},
                                     {4, U("two"), U("notes.txt"), {}}};
  ScanSessionSetup setup;
  auto state = state_;
  setup.engines.localBackup = [state] { return std::make_unique<FakeEngine>(state); };
  CScanSession session(std::move(setup), nullptr);
  ASSERT_EQ(session.Start(ScanSourceBackup), kOk);
  session.Wait();
  const ScanResults& r = session.Results();
  EXPECT_EQ(r.appPhotos.at(u"one").size(), 1u);
  EXPECT_EQ(r.appPhotos.at(u"two").size(), 1u);  // unknown kinds count as photos
  EXPECT_EQ(r.appVideos.at(u"one").size(), 1u);
  EXPECT_EQ(r.appVideos.at(u"two").size(), 1u);  // sound goes with the videos
  EXPECT_EQ(session.CategoryCount(CategoryId::AppPhotos), 2u);
}

TEST(EngineFactoryTest, Kinds) {
  std::vector<std::string> made;
  auto state = std::make_shared<FakeState>();
  EngineCreators creators;
  creators.device = [&] {
    made.push_back("device");
    return std::make_unique<FakeEngine>(state);
  };
  creators.localBackup = [&] {
    made.push_back("local");
    return std::make_unique<FakeEngine>(state);
  };
  auto* reader = reinterpret_cast<BackupReader*>(0x1000);

  auto device = CreateRecoveryEngine(0, creators, reader);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(state->attachedReader, nullptr);
  auto local = CreateRecoveryEngine(1, creators, reader);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(state->attachedReader, reader);
  EXPECT_EQ(CreateRecoveryEngine(2, creators, reader), nullptr);
  EXPECT_THAT(made, ElementsAre("device", "local"));

  EXPECT_EQ(CreateRecoveryEngine(1, EngineCreators{}, reader), nullptr);
  creators.localBackup = [] { return std::unique_ptr<IPhoneRecoveryParse>(); };
  EXPECT_EQ(CreateRecoveryEngine(1, creators, reader), nullptr);
}

}  // namespace
}  // namespace salvora

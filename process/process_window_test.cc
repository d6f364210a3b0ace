// The process window run like a procedure: through its event loop on the headless presenter,
// timer events from a manual clock that the record step moves on, a scripted person.
#include "process/process_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/manual_clock.h"
#include "platform/user_action.h"
#include "platform/window.h"
#include "process/process_report.h"
#include "process/record_process.h"
#include "process/record_processor.h"
#include "process/report_preview.h"
#include "testing/allocation_counter.h"
#include "testing/bounded_wait.h"
#include "testing/data_fixture.h"
#include "testing/progress_window.h"
#include "testing/record_inputs.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::LineInput;
using testing::MemoryInput;
using testing::RecordInput;

constexpr int kThermometer = 1;
constexpr int kPercentText = 3;
constexpr int kCancel = 4;
constexpr char kProgressId[] = "P1$PROGRESSWINDOW";

class CursorPresenter final : public HeadlessPresenter {
 public:
  void SetWaitCursor(bool on) override { cursor.push_back(on); }
  std::vector<bool> cursor;
};

// The record step: notes each line it is handed, then lets the test's step act (move the clock,
// answer a level) on the record's number.
class StepProcess final : public RecordProcess {
 public:
  Level HandleRecord() override {
    ++calls;
    if (keep_lines) handled.push_back(testing::RecordText(*file));
    return step ? step(calls) : FatalityNone;
  }
  DataFile* file = nullptr;
  bool keep_lines = true;
  std::function<Level(int call)> step;
  int calls = 0;
  std::vector<std::string> handled;
};

// A procedure on the process window, set up as the fix procedure sets up its progress window.
class ProgressRun final : public ProcessWindow {
 public:
  ProgressRun(Window* window, ErrorManager* errors, RecordInput* input, StepProcess* process)
      : window_(window), errors_(errors), input_(input), process_(process) {}

  Level Init() override {
    if (const Level r = WindowController::Init(); r != FatalityNone) return r;
    WINDOW = window_;
    ERRORS = errors_;
    window_->BindByte(kThermometer, &progress);
    window_->Open();
    OPENED = true;
    process_->Init(&input_->view, &input_->relations, kPercentText, 0, &progress);
    process_->AddSortOrder(nullptr);
    window_->SetCaption("Processing Records");
    window_->SetText(kPercentText, "0% Completed");
    ProcessWindow::Init(process_, nullptr, nullptr);
    AddButton(kCancel, ResponseCancelled);
    if (set_up) set_up(*this);
    return FatalityNone;
  }

  Level TakeWindowEvent() override {
    const EventCode code = CurrentEvent();
    const int before = process_->calls;
    testing::AllocationCounter allocations;
    const Level r = ProcessWindow::TakeWindowEvent();
    const std::int64_t allocated = allocations.count();
    if (code == EventOpenWindow) read_at_open = PROCESS->RECORDSPROCESSED;
    if (code == EventTimer) {
      batches.emplace_back(process_->calls - before, RECORDSPERCYCLE);
      hidden.push_back(window_->hidden(0));
      timer_allocations.push_back(allocated);
    }
    return r;
  }

  std::function<void(ProgressRun&)> set_up;  // after the process window's Init
  std::uint8_t progress = 0;
  std::int64_t read_at_open = -1;
  std::vector<std::pair<int, int>> batches;  // per timer event: records handled, batch size
  std::vector<bool> hidden;                  // per timer event: the window hidden afterwards
  std::vector<std::int64_t> timer_allocations;

 private:
  Window* window_;
  ErrorManager* errors_;
  RecordInput* input_;
  StepProcess* process_;
};

class ProcessWindowTest : public testing::DataFixture<CursorPresenter> {
 protected:
  void SetUp() override {
    DataFixture::SetUp();
    Runtime::InstallClock(&clock_);
  }

  // A step that takes `hundredths` per record.
  std::function<Level(int)> Taking(int hundredths) {
    return [this, hundredths](int) {
      clock_.Advance(hundredths);
      return FatalityNone;
    };
  }

  // A run of the fixture's window (a timer every second) and record step over `input`, whose
  // records `data` holds.
  ProgressRun RunOver(RecordInput& input, DataFile& data) {
    process_.file = &data;
    return ProgressRun(&window_, &errors_, &input, &process_);
  }

  std::uint8_t Run(ProgressRun& run) {
    // Generous: a run of thousands of records under a sanitizer takes seconds.
    testing::Watchdog watchdog("the process window's run to end", std::chrono::seconds(20));
    return run.Run();
  }

  // Every window ended by what the program did, not by the presenter closing it for a person
  // whose script ran out.
  void TearDown() override {
    EXPECT_TRUE(presenter_.scripts_ran_dry().empty()) << "a window outlived its script";
    DataFixture::TearDown();
  }

  ManualClock clock_;
  testing::TempDir dir_;
  Window window_{testing::ProgressWindowDefinition("Progress...", 100)};
  StepProcess process_;
};

TEST_F(ProcessWindowTest, OneLineIsHandledAndTheRunCompletes) {
  LineInput lines(&errors_, dir_.Write("in.qdl", "only line\n"));
  ProgressRun run = RunOver(lines.input, lines.disk);
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(process_.handled, std::vector<std::string>{"only line"});
  EXPECT_EQ(run.read_at_open, 1);
  EXPECT_EQ(run.progress, 100);
  EXPECT_EQ(window_.text(kPercentText), "100% Complete");
  EXPECT_EQ(window_.caption(), "Processing Records");
  EXPECT_FALSE(window_.is_open());
  EXPECT_TRUE(presenter_.message_boxes().empty());
  // The process was killed with the window: quick scanning is off.
  EXPECT_EQ(lines.file.sent_options(), std::vector<std::string>{"QUICKSCAN=off"});
}

TEST_F(ProcessWindowTest, AnEmptyInputShowsNoRecordsAndCancels) {
  LineInput lines(&errors_, dir_.Write("in.qdl", ""));
  ProgressRun run = RunOver(lines.input, lines.disk);
  EXPECT_EQ(Run(run), ResponseCancelled);
  EXPECT_EQ(Captions(), std::vector<std::string>{"No Records"});
  EXPECT_TRUE(process_.handled.empty());
  EXPECT_EQ(run.OPENFAILED, 1);
  EXPECT_FALSE(window_.is_open());
}

TEST_F(ProcessWindowTest, AFastStepDoublesTheBatchWithinATimerEventUntilHalfASliceHasPassed) {
  MemoryInput memory(&errors_, 200);
  ProgressRun run = RunOver(memory.input, memory.file);
  process_.step = Taking(1);
  EXPECT_EQ(Run(run), ResponseCompleted);
  // 1+2+...+32 records take 0.63 s: the batch doubled to 64, then to 128 as 64 records took
  // 0.64 s (less than 0.8 of the slice); more than half the slice had passed, so the event ended.
  // 128 records take 1.28 s: kept.
  EXPECT_EQ(run.batches, (std::vector<std::pair<int, int>>{{64, 128}, {128, 128}, {8, 128}}));
  EXPECT_EQ(process_.handled.size(), 200u);
  EXPECT_EQ(window_.text(kPercentText), "100% Complete");
}

TEST_F(ProcessWindowTest, TimerEventsOfAFastStepEndNearHalfASliceAlsoAfterTheBatchDoubled) {
  MemoryInput memory(&errors_, 4000);
  ProgressRun run = RunOver(memory.input, memory.file);
  process_.keep_lines = false;
  // 1,600 records a second: a batch of 1,024 takes 0.64 s, under 0.8 of the slice, which would
  // double the batch to 2,048 records, 1.28 s in one event, for Cancel to wait through.
  process_.step = [this](int call) {
    if (call % 16 == 0) clock_.Advance(1);
    return FatalityNone;
  };
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(process_.calls, 4000);
  for (const auto& [handled, size] : run.batches) {
    EXPECT_LE(handled, 1024) << "an event ran on to " << handled << " records, batch size " << size;
  }
}

TEST_F(ProcessWindowTest, ASlowStepHalvesTheBatchDownToOneAndNeverBelow) {
  MemoryInput memory(&errors_, 13);
  ProgressRun run = RunOver(memory.input, memory.file);
  run.set_up = [](ProgressRun& r) { r.RECORDSPERCYCLE = 7; };
  process_.step = Taking(200);  // two slices a record
  EXPECT_EQ(Run(run), ResponseCompleted);
  // An odd size halves with the fraction dropped.
  EXPECT_EQ(run.batches,
            (std::vector<std::pair<int, int>>{{7, 3}, {3, 1}, {1, 1}, {1, 1}, {1, 1}}));
}

TEST_F(ProcessWindowTest, ADeferredWindowStaysHiddenForItsSeconds) {
  // A run of one second under a delay of two: never shown, the wait cursor meanwhile.
  MemoryInput short_input(&errors_, 10);
  ProgressRun brief = RunOver(short_input.input, short_input.file);
  brief.set_up = [](ProgressRun& r) {
    r.DEFERWINDOW = 2;
    r.WAITCURSOR = 1;
  };
  process_.step = Taking(10);
  EXPECT_EQ(Run(brief), ResponseCompleted);
  EXPECT_EQ(brief.hidden, (std::vector<bool>{true, true}));
  EXPECT_EQ(presenter_.cursor, (std::vector<bool>{true, false}));

  // A run of four seconds: shown by the first timer event after two seconds.
  Window window(testing::ProgressWindowDefinition("Progress...", 100));
  MemoryInput long_input(&errors_, 40);
  StepProcess process;
  process.file = &long_input.file;
  process.step = Taking(10);
  ProgressRun longer(&window, &errors_, &long_input.input, &process);
  longer.set_up = [](ProgressRun& r) { r.DEFERWINDOW = 2; };
  EXPECT_EQ(Run(longer), ResponseCompleted);
  EXPECT_EQ(longer.hidden, (std::vector<bool>{true, true, false, false, false}));
}

TEST_F(ProcessWindowTest, DeferOpenReportReadsNothingUntilTheFirstTimerEvent) {
  MemoryInput memory(&errors_, 3);
  ProgressRun run = RunOver(memory.input, memory.file);
  run.set_up = [](ProgressRun& r) { r.DEFEROPENREPORT = 1; };
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(run.read_at_open, 0);
  EXPECT_EQ(process_.handled, (std::vector<std::string>{"line 1", "line 2", "line 3"}));

  // Deferred over an empty input: "No Records" at the first timer event, which ends the loop.
  Window window(testing::ProgressWindowDefinition("Progress...", 100));
  MemoryInput empty(&errors_, 0);
  StepProcess process;
  process.file = &empty.file;
  ProgressRun none(&window, &errors_, &empty.input, &process);
  none.set_up = [](ProgressRun& r) { r.DEFEROPENREPORT = 1; };
  EXPECT_EQ(Run(none), ResponseCancelled);
  EXPECT_EQ(none.read_at_open, 0);
  EXPECT_EQ(Captions(), std::vector<std::string>{"No Records"});
}

TEST_F(ProcessWindowTest, CancelBetweenBatchesKeepsTheRecordsHandledSoFar) {
  MemoryInput memory(&errors_, 50);
  ProgressRun run = RunOver(memory.input, memory.file);
  process_.step = Taking(10);
  // One timer event's batch (8 records in 0.8 s), then Cancel.
  presenter_.ScriptFor(kProgressId, {UserAction::Wait(), UserAction::Click(kCancel)});
  EXPECT_EQ(Run(run), ResponseCancelled);
  ASSERT_EQ(process_.handled.size(), 8u);
  EXPECT_EQ(process_.handled.back(), "line 8");
  EXPECT_EQ(process_.RECORDSPROCESSED, 9);  // the ninth was read, not handled
  EXPECT_EQ(window_.text(kPercentText), "18% Complete");
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(ProcessWindowTest, AStepAnswering5EndsTheBatchAnd3EndsTheRun) {
  // 5 on the third record, once: the batch ends there and the record comes again.
  MemoryInput memory(&errors_, 5);
  ProgressRun run = RunOver(memory.input, memory.file);
  process_.step = [](int call) { return call == 3 ? FatalityNotify : FatalityNone; };
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(process_.handled,
            (std::vector<std::string>{"line 1", "line 2", "line 3", "line 3", "line 4", "line 5"}));
  EXPECT_EQ(run.batches.front().first, 3);

  // 3 on the fourth: the timer stops, the window closes, the response is left unset.
  Window window(testing::ProgressWindowDefinition("Progress...", 100));
  StepProcess failing;
  failing.file = &memory.file;
  failing.step = [](int call) { return call == 4 ? FatalityHalt : FatalityNone; };
  ProgressRun stopped(&window, &errors_, &memory.input, &failing);
  EXPECT_EQ(Run(stopped), ResponseCancelled);
  EXPECT_EQ(stopped.RESPONSE, 0);
  EXPECT_EQ(failing.handled.size(), 4u);
  EXPECT_EQ(window.timer(), 0);
  EXPECT_FALSE(window.is_open());
}

TEST_F(ProcessWindowTest, AReadErrorMidRunCancelsWithTheRecordsHandledSoFar) {
  LineInput lines(&errors_, dir_.Write("in.qdl", "a\nb\nc\nd\ne\nf\ng\n"));
  lines.file.FailAfter(FileOperation::kNext, 5, InjectedFault::Driver("EIO", "Disk gone"));
  ProgressRun run = RunOver(lines.input, lines.disk);
  EXPECT_EQ(Run(run), ResponseCancelled);
  EXPECT_EQ(process_.handled, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
  EXPECT_FALSE(window_.is_open());
}

TEST_F(ProcessWindowTest, TheRecordPathAllocatesNothingAndRewritesTheTextOncePerPercent) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(1000 + i) + "\n";
  LineInput lines(&errors_, dir_.Write("in.qdl", text));
  ProgressRun run = RunOver(lines.input, lines.disk);
  process_.keep_lines = false;
  int rewrites = 0;
  std::string last;
  last.reserve(32);
  process_.step = [&](int) {
    clock_.Advance(1);
    const std::string_view now = window_.text(kPercentText);
    if (now != last) ++rewrites;
    last.assign(now);
    return FatalityNone;
  };
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(process_.calls, 1000);
  // Every timer event but the last, which asks the window to close, allocates nothing.
  ASSERT_GT(run.timer_allocations.size(), 2u);
  run.timer_allocations.pop_back();
  EXPECT_EQ(run.timer_allocations, std::vector<std::int64_t>(run.timer_allocations.size(), 0));
  // The steps saw the text the procedure set, then each of 1% .. 100%.
  EXPECT_EQ(rewrites, 1 + 100);
  EXPECT_EQ(window_.text(kPercentText), "100% Complete");
}

// Extra per-record processors and a report with a preview, all noting what they are asked.
struct Journal {
  std::vector<std::string> entries;
};

class NotingProcessor final : public RecordProcessor {
 public:
  NotingProcessor(Journal* journal, const Window* window) : journal_(journal), window_(window) {}
  Level TakeRecord() override {
    ++records;
    return FatalityNone;
  }
  Level TakeClose() override {
    const Level level = close_levels.empty() ? FatalityNone : close_levels.front();
    if (!close_levels.empty()) close_levels.erase(close_levels.begin());
    journal_->entries.push_back("close " + std::to_string(level) +
                                (window_->hidden(0) ? " hidden" : " shown"));
    return level;
  }
  int records = 0;
  std::vector<Level> close_levels;

 private:
  Journal* journal_;
  const Window* window_;
};

class NotingReport final : public ProcessReport {
 public:
  explicit NotingReport(Journal* journal) : journal_(journal) {}
  void Open() override { journal_->entries.push_back("report open"); }
  void Close() override { journal_->entries.push_back("report close"); }
  void EndPage() override {
    journal_->entries.push_back("report end page");
    if (pages_ != nullptr) pages_->push_back(PreviewPage{FixedText<128>("page1.wmf")});
  }
  void SetPageList(std::vector<PreviewPage>* pages) override {
    pages_ = pages;
    journal_->entries.push_back("report pages");
  }
  void SetPrintPreviewed(bool print) override {
    journal_->entries.push_back(std::string("report print ") + (print ? "yes" : "no"));
  }

 private:
  Journal* journal_;
  std::vector<PreviewPage>* pages_ = nullptr;
};

class NotingPreview final : public ReportPreview {
 public:
  explicit NotingPreview(Journal* journal) : journal_(journal) {}
  void SetUp(std::vector<PreviewPage>* pages) override {
    pages_ = pages;
    journal_->entries.push_back("preview set up");
  }
  std::uint8_t Display(std::int16_t zoom, std::uint8_t, std::uint8_t, std::uint8_t) override {
    journal_->entries.push_back("preview " + std::to_string(pages_->size()) + " page(s) at " +
                                std::to_string(zoom));
    return 1;
  }
  void Kill() override { journal_->entries.push_back("preview kill"); }

 private:
  Journal* journal_;
  std::vector<PreviewPage>* pages_ = nullptr;
};

TEST_F(ProcessWindowTest, ProcessorsAndAReportFollowTheRunAndItsClose) {
  MemoryInput memory(&errors_, 5);
  ProgressRun run = RunOver(memory.input, memory.file);
  Journal journal;
  NotingProcessor processor(&journal, &window_);
  processor.close_levels = {FatalityNotify};  // the first close request is refused
  NotingReport report(&journal);
  NotingPreview preview(&journal);
  run.set_up = [&](ProgressRun& r) {
    r.ProcessWindow::Init(&process_, &report, &preview);
    r.AddProcessor(&processor);
    r.ZOOM = 75;
  };
  presenter_.ScriptFor(kProgressId, {UserAction::Wait(), UserAction::CloseBox()});
  EXPECT_EQ(Run(run), ResponseCompleted);
  EXPECT_EQ(processor.records, 5);
  // A refused close leaves the window as it was: shown, its report open.
  EXPECT_EQ(journal.entries, (std::vector<std::string>{
                                 "preview set up", "report open", "report pages", "close 5 shown",
                                 "close 0 shown", "report end page", "preview 1 page(s) at 75",
                                 "report print yes", "report close", "preview kill"}));
  EXPECT_TRUE(window_.hidden(0));
}

}  // namespace
}  // namespace morlan

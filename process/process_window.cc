#include "process/process_window.h"

#include <limits>

#include "common/codes.h"
#include "common/error_ids.h"
#include "errors/error_manager.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "process/process_report.h"
#include "process/record_process.h"
#include "process/record_processor.h"

namespace morlan {

void ProcessWindow::Init(RecordProcess* process, ProcessReport* report, ReportPreview* preview) {
  PROCESS = process;
  REPORT = report;
  PREVIEW = preview;
  if (PREVIEW != nullptr) {
    PREVIEWQUEUE = std::make_unique<std::vector<PreviewPage>>();
    PREVIEW->SetUp(PREVIEWQUEUE.get());
  }
  RECORDSPERCYCLE = 1;
  TIMESLICE = kDefaultTimeSlice;
  PROCESSORS = std::make_unique<std::vector<RecordProcessor*>>();
  if (PROCESS != nullptr && WINDOW != nullptr) PROCESS->WINDOW = WINDOW;
}

void ProcessWindow::AddProcessor(RecordProcessor* processor) {
  if (PROCESSORS == nullptr || processor == nullptr) return;
  PROCESSORS->push_back(processor);
}

void ProcessWindow::StopTimer() {
  if (Window* w = window()) w->SetTimer(0);
}

void ProcessWindow::PostClose() {
  if (Window* w = window()) w->Post(EventCloseWindow);
}

void ProcessWindow::RunEventLoop() {
  if (DEFERWINDOW != 0) {
    if (WAITCURSOR != 0) Runtime::SetWaitCursor(true);
    STARTTIME = Runtime::clock().Now();
    if (Window* w = window()) w->Hide(0);
  }
  WindowController::RunEventLoop();
}

void ProcessWindow::Open() {
  WindowController::Open();
  if (DEFEROPENREPORT != 1) StartProcess();
}

Level ProcessWindow::StartProcess() {
  if (PROCESS == nullptr) return FatalityHalt;
  if (PROCESS->WINDOW == nullptr) PROCESS->WINDOW = window();
  PROCESS->Reset();
  const Level r = AdvanceRecord();
  DEFEROPENREPORT = 0;
  if (r != FatalityNone) {
    OnNoRecords();
    return r;
  }
  OPENFAILED = 0;
  if (REPORT != nullptr) {
    REPORT->Open();
    if (PREVIEW != nullptr) REPORT->SetPageList(PREVIEWQUEUE.get());
  }
  return FatalityNone;
}

void ProcessWindow::OnNoRecords() {
  if (ERRORS != nullptr) ERRORS->Raise(ErrNoRecordsToProcess);
  OPENFAILED = 1;
}

Level ProcessWindow::AdvanceRecord() {
  const Level r = PROCESS->Next(1);
  if (r == FatalityNotify) {
    if (PROCESS->RECORDSPROCESSED != 0) {
      RESPONSE = ResponseCompleted;
      PostClose();
      return FatalityNotify;
    }
    RESPONSE = ResponseCancelled;
    PostClose();
    return FatalityHalt;
  }
  if (r == FatalityHalt) {
    RESPONSE = ResponseCancelled;
    PostClose();
    return FatalityHalt;
  }
  return FatalityNone;
}

Level ProcessWindow::ProcessOneRecord() {
  // A step that fails ends the run; one that answers 5 ends the batch on this record.
  const auto stops = [this](Level level) {
    if (level == FatalityHalt) {
      StopTimer();
      PostClose();
      return true;
    }
    return level == FatalityNotify;
  };
  Level level = PROCESS->HandleRecord();
  if (stops(level)) return FatalityNotify;
  if (PROCESSORS != nullptr) {
    for (RecordProcessor* processor : *PROCESSORS) {
      level = processor->TakeRecord();
      if (stops(level)) return FatalityNotify;
    }
  }
  if (AdvanceRecord() != FatalityNone) {
    StopTimer();
    return FatalityNotify;
  }
  return level;
}

namespace {
// Records between two looks at the clock inside a batch.
constexpr std::int64_t kClockCheckRecords = 1024;
}  // namespace

Level ProcessWindow::RunBatches() {
  Clock& clock = Runtime::clock();
  const std::int64_t start_count = PROCESS->RECORDSPROCESSED;
  const std::int64_t start = clock.Now();
  if (DEFERWINDOW != 0 && start - STARTTIME > std::int64_t{DEFERWINDOW} * 100) {
    if (Window* w = window()) w->Show(0);
    DEFERWINDOW = 0;
  }
  for (;;) {
    const std::int64_t done = PROCESS->RECORDSPROCESSED - start_count;
    if (done < RECORDSPERCYCLE) {
      if (const Level level = ProcessOneRecord(); level != FatalityNone) return level;
      // A large batch looks at the clock on its way too: the event ends once half a slice has
      // passed, rather than running on to the batch's end (twice as long after a doubling, and
      // longer in the next event), so Cancel waits at most about half a slice.
      if ((done + 1) % kClockCheckRecords != 0) continue;
      if (2 * (clock.Now() - start) < TIMESLICE) continue;
      return FatalityNone;
    }
    const std::int64_t elapsed = clock.Now() - start;
    const std::int64_t slice = TIMESLICE;
    if (5 * elapsed < 4 * slice) {
      // A batch size that cannot double any more ends the event here instead.
      if (RECORDSPERCYCLE > std::numeric_limits<std::int32_t>::max() / 2) return FatalityNone;
      RECORDSPERCYCLE *= 2;
    }
    // The batch goes on up to the new size, counted from the start of this event.
    if (2 * elapsed < slice) continue;
    if (2 * elapsed > 3 * slice && RECORDSPERCYCLE > 1) RECORDSPERCYCLE /= 2;
    return FatalityNone;
  }
}

Level ProcessWindow::TakeWindowEvent() {
  if (CurrentEvent() == EventTimer && PROCESS != nullptr) {
    if (DEFEROPENREPORT == 1) StartProcess();
    if (OPENFAILED == 1) return FatalityHalt;
    if (const Level level = RunBatches(); level != FatalityNone) return level;
  }
  return WindowController::TakeWindowEvent();
}

Level ProcessWindow::TakeAccepted() {
  if (QUERYCONTROL != 0 && AcceptedControl() == QUERYCONTROL && PROCESS != nullptr) {
    PROCESS->RunQuery();
  }
  return WindowController::TakeAccepted();
}

Level ProcessWindow::TakeCloseEvent() {
  if (CurrentEvent() != EventCloseWindow) return FatalityNone;
  if (WAITCURSOR != 0) Runtime::SetWaitCursor(false);
  Level level = FatalityNone;
  if (PROCESSORS != nullptr) {
    for (RecordProcessor* processor : *PROCESSORS) level = processor->TakeClose();
  }
  // A processor that keeps the window open keeps it as it was: shown, with its report open, so
  // that the person can still see it and close it, and the report's pages are not lost.
  if (level != FatalityNone) return level;
  if (KEEPVISIBLE == 0) {
    if (Window* w = window()) w->Hide(0);
  }
  FinishReport();
  if (REPORT != nullptr) REPORT->Close();
  return FatalityNone;
}

void ProcessWindow::FinishReport() {
  if (REPORT == nullptr || PREVIEW == nullptr || RESPONSE != ResponseCompleted) return;
  REPORT->EndPage();
  const std::uint8_t decision = SKIPPREVIEW == 1 ? 1 : PREVIEW->Display(ZOOM, 1, 1, 1);
  REPORT->SetPrintPreviewed(decision == 1);
  if (PREVIEWQUEUE != nullptr) PREVIEWQUEUE->clear();
}

Level ProcessWindow::Kill() {
  if (DEAD || PROCESS == nullptr) return FatalityNotify;
  PREVIEWQUEUE.reset();
  if (PREVIEW != nullptr) PREVIEW->Kill();
  PROCESS->Kill();
  PROCESSORS.reset();
  return WindowController::Kill();
}

}  // namespace morlan

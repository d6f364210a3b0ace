// The process window: a window controller that runs a record process from the timer events of
// its window, so that a long run keeps the window (and Cancel) alive. The first record is read
// when the window opens (or at the first timer event, with DEFEROPENREPORT); each timer event
// then handles a batch: the record's HandleRecord, every extra processor, the next read. The
// batch size RECORDSPERCYCLE adapts so that a timer event takes about half of TIMESLICE: within
// an event it doubles while a batch ends before 0.8 of the slice and the event goes on while
// less than half the slice has passed; it halves (a fraction dropped, never below 1) when an
// event took more than 1.5 slices. The end of the input closes the window with the response
// completed (at least one record read) or cancelled (none: "No Records" is shown); a read error
// closes it cancelled. Records handled before a Cancel stay handled.
//
// Use: a procedure derives from it and overrides Init: the base WindowController::Init, then
// WINDOW, ERRORS and the rest, its window opened, the record process set up (Init,
// AddSortOrder), then Init(process, report, preview) and AddButton(cancel, 2). The window needs
// a timer. Run then does Init, the event loop and Kill. An overriding Kill calls this one first.
//
// The window can stay hidden for the first DEFERWINDOW seconds of a run (with the wait cursor
// when WAITCURSOR), and a report (with a preview of its pages) can be fed while processing.
//
// The clock is the runtime's: monotonic, in hundredths of a second.
//
// Threading: belongs to its procedure's thread, as its window and record process do.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/levels.h"
#include "process/report_preview.h"
#include "window/window_controller.h"

namespace morlan {

class ProcessReport;
class RecordProcess;
class RecordProcessor;

class ProcessWindow : public WindowController {
 public:
  // TIMESLICE after Init: one second.
  static constexpr std::uint16_t kDefaultTimeSlice = 100;

  using WindowController::Init;

  // --- Overrides of the window controller ---

  // With DEFERWINDOW: the wait cursor when WAITCURSOR, the start time taken, the window hidden.
  // Then the base event loop.
  void RunEventLoop() override;
  // The preview's page list and the preview let go, the record process killed, the processor
  // list released; then the base Kill. 5, doing nothing, when dead or without a process.
  Level Kill() override;
  // The base Open, then StartProcess unless DEFEROPENREPORT.
  void Open() override;
  // QUERYCONTROL asks the record process's query; then the base handling.
  Level TakeAccepted() override;
  // Close-window: the cursor put back, every processor told. When the last of them answers 0:
  // the window hidden unless KEEPVISIBLE, the report finished and closed, 0 (the window closes).
  // Otherwise that level, the window left shown and the report open. Any other close event: 0.
  Level TakeCloseEvent() override;
  // A timer event handles a batch (above); its level when a record stopped it. Every event then
  // goes to the base handling.
  Level TakeWindowEvent() override;

  // --- Virtual operations of its own, in slot order ---

  // At the end of a completed run with a report and a preview: the last page ended, the pages
  // shown (unless SKIPPREVIEW) and printed when the person asks, the page list emptied.
  virtual void FinishReport();
  // Reads the next record: 0 read; at the end of the input the response is set (completed when
  // records were read: 5; cancelled when none: 3) and the window asked to close; a read error:
  // cancelled, closed, 3.
  virtual Level AdvanceRecord();
  // Starts the run: the process reset and its first record read. 0, the report opened; or the
  // read's level, after OnNoRecords.
  virtual Level StartProcess();
  // "No Records" shown; OPENFAILED set.
  virtual void OnNoRecords();
  // The record already read through HandleRecord and the processors, then the next one read.
  // 0 carry on; 5 the batch stops (a step asked so, or the run ended; a step that answered 3
  // has closed the window).
  virtual Level ProcessOneRecord();

  // --- Non-virtual operations ---

  // Sets up the run of `process` (not owned), with `report` and `preview` (may be null, not
  // owned): RECORDSPERCYCLE 1, TIMESLICE one second, an empty processor list, a page list for
  // the preview. The process reports to WINDOW. Does not call the base Init.
  void Init(RecordProcess* process, ProcessReport* report, ReportPreview* preview);
  // Appends a processor (not owned; it must live until Kill). Nothing before Init or after Kill.
  void AddProcessor(RecordProcessor* processor);

  // --- Fields, in declared order ---

  std::uint8_t DEFEROPENREPORT = 0;  // 1: the first read waits for the first timer event
  std::uint16_t DEFERWINDOW = 0;     // seconds the window stays hidden at the start; 0 none
  std::uint8_t KEEPVISIBLE = 0;      // 1: not hidden while closing
  std::uint8_t OPENFAILED = 0;       // 1: the first read found no record or failed
  std::unique_ptr<std::vector<RecordProcessor*>> PROCESSORS;  // not owned; null before Init
  ReportPreview* PREVIEW = nullptr;                           // not owned
  std::unique_ptr<std::vector<PreviewPage>> PREVIEWQUEUE;     // with a preview only
  RecordProcess* PROCESS = nullptr;                           // not owned
  std::int32_t RECORDSPERCYCLE = 0;                           // records per batch
  std::int32_t QUERYCONTROL = 0;    // accepting it asks the process's query; 0 none
  ProcessReport* REPORT = nullptr;  // not owned
  std::uint8_t SKIPPREVIEW = 0;     // 1: the report prints without the preview
  std::int64_t STARTTIME = 0;       // clock when a deferred window's loop started
  std::uint16_t TIMESLICE = 0;      // target time of a timer event, in hundredths
  std::uint8_t WAITCURSOR = 0;      // 1: the wait cursor during a deferred start
  std::int16_t ZOOM = 0;            // handed to the preview

 private:
  // Switches the window's timer off.
  void StopTimer();
  // Asks the window to close.
  void PostClose();
  // The batches of one timer event.
  Level RunBatches();
};

}  // namespace morlan

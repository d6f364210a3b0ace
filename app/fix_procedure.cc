#include "app/fix_procedure.h"

#include <cstring>
#include <memory>

#include "app/dictionary.h"
#include "app/fix_message_table.h"
#include "app/globals.h"
#include "app/rewrite_declaration.h"
#include "common/codes.h"
#include "common/fixed_text.h"
#include "common/levels.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "platform/data_file.h"
#include "platform/runtime_error_state.h"
#include "platform/view.h"
#include "platform/window.h"
#include "process/process_window.h"
#include "process/record_process.h"
#include "window/shared_requests.h"

namespace morlan {

namespace {

using Line = FixedText<kDictionaryLineWidth>;

// What the overrides of one run share.
struct FixRun {
  FixedText<32> label;        // the rewrite rule's working area
  Line line;                  // the line being rewritten
  std::uint8_t progress = 0;  // the thermometer's value
  char* input = nullptr;      // INP:F1 in INP's record buffer
  char* output = nullptr;     // OUT:F1 in OUT's record buffer
  bool write_failed = false;  // a line could not be added to OUT, which has been reported
};

// The per-line step: INP:F1 rewritten into OUT:F1, which is added to OUT.
class FixProcess final : public RecordProcess {
 public:
  explicit FixProcess(FixRun& run) : run_(run) {}

  Level HandleRecord() override {
    const Level r = RecordProcess::HandleRecord();
    std::memcpy(run_.line.data(), run_.input, kDictionaryLineWidth);
    RewriteDeclaration(run_.line, run_.line, run_.label);
    std::memcpy(run_.output, run_.line.data(), kDictionaryLineWidth);
    if (OutFileManager->Insert() == FatalityNone) return r;
    // The file manager has shown why. A write that failed leaves the driver failing every later
    // one: going on would show the message again for every remaining line and leave holes in
    // the output, so the run stops with OUT holding exactly the lines before this one.
    run_.write_failed = true;
    return FatalityHalt;
  }

 private:
  FixRun& run_;
};

// The progress window's manager.
class FixWindow final : public ProcessWindow {
 public:
  FixWindow(FixRun& run, Window& window, View& view, FixProcess& process)
      : run_(run), window_(window), view_(view), process_(process) {}

  Level Init() override {
    AppErrors.EnterProcedure(kFixProcedureName);
    REQUEST = PendingRequest.load();
    if (const Level r = WindowController::Init(); r != FatalityNone) return r;
    FIRSTFIELD = 1;
    VCRREQUEST = &NavigationRequest;
    ERRORS = &AppErrors;
    PendingRequest = 0;
    LastResponse = 0;

    if (const Level r = RemoveOldOutput(); r != FatalityNone) return r;
    const Level inp_opened = InpRelations->Open(false);
    const Level out_opened = OutRelations->Open(false);
    FILESOPENED = true;
    // Both failures halt the program; should a halt come back, nothing is run on files that are
    // not open.
    if (inp_opened != FatalityNone) return inp_opened;
    if (out_opened != FatalityNone) return out_opened;

    // The texts first: the person never sees the definition's placeholders.
    window_.SetCaption("Processing Records");
    window_.SetText(kProgressPercentText, "0% Completed");
    window_.SetText(kProgressUserText, "");
    WINDOW = &window_;
    window_.Open();
    OPENED = true;
    process_.Init(&view_, InpRelations, kProgressPercentText, 0, &run_.progress);
    process_.AddSortOrder(nullptr);
    ProcessWindow::Init(&process_, nullptr, nullptr);
    AddButton(kProgressCancel, ResponseCancelled);
    InpFileManager->FILE->Send("QUICKSCAN=on");
    RegisterAlerts();
    return FatalityNone;
  }

  Level Kill() override {
    if (DEAD) return FatalityNotify;
    // A run refused before its process was set up has only the controller to release.
    const Level r = PROCESS != nullptr ? ProcessWindow::Kill() : WindowController::Kill();
    if (r != FatalityNone) return r;
    if (FILESOPENED) {
      InpRelations->Close(false);
      // A driver's write failure sticks until the file is closed, and its close then fails the
      // same way: the lost lines have been reported once already, so OUT is closed quietly
      // first and its manager finds it closed.
      if (run_.write_failed) OutFileManager->FILE->Close();
      OutRelations->Close(false);
    }
    AppErrors.LeaveProcedure();
    return FatalityNone;
  }

 private:
  // Only a missing file counts as removed; anything else is shown, naming the file.
  Level RemoveOldOutput() {
    OutFileManager->FILE->Remove();
    const StatusCode code = RuntimeErrorState::code();
    if (code == StatusOk || code == StatusNotFound) return FatalityNone;
    AppErrors.SetFileName(OutFileManager->GetFileName());
    AppErrors.Raise(ErrOutputNotRemoved);
    return FatalityNotify;
  }

  FixRun& run_;
  Window& window_;
  View& view_;
  FixProcess& process_;
};

}  // namespace

WindowDefinition ProgressWindowDefinition() {
  WindowDefinition d;
  d.id = "P1$PROGRESSWINDOW";
  d.caption = "Progress...";
  d.width = 142;
  d.height = 59;
  d.timer = kProgressTimerInterval;
  d.controls = {
      {kProgressThermometer, "?PROGRESS:THERMOMETER", ControlType::kThermometer, "", "", 15, 15,
       111, 12},
      {kProgressUserText, "?PROGRESS:USERSTRING", ControlType::kText, "", "", 0, 3, 141, 10},
      {kProgressPercentText, "?PROGRESS:PCTTEXT", ControlType::kText, "", "", 0, 30, 141, 10},
      {kProgressCancel, "?PROGRESS:CANCEL", ControlType::kButton, "Cancel", "", 45, 42, 50, 15},
  };
  return d;
}

std::uint8_t FixQdl() {
  if (InpFileManager == nullptr || OutFileManager == nullptr || InpRelations == nullptr ||
      OutRelations == nullptr) {
    return ResponseCancelled;
  }
  FixRun run;
  run.input = InpFileManager->FILE->record();
  run.output = OutFileManager->FILE->record();
  // One view a run, over INP in file order; it is closed after the files, which is harmless.
  View view(*InpFileManager->FILE);
  std::uint8_t response = ResponseCancelled;
  {
    Window window(ProgressWindowDefinition());
    window.BindByte(kProgressThermometer, &run.progress);
    FixProcess process(run);
    auto manager = std::make_unique<FixWindow>(run, window, view, process);
    response = manager->Run();
    LastResponse = response;
  }
  view.Close();
  return response;
}

}  // namespace morlan

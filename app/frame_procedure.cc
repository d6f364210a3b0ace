#include "app/frame_procedure.h"

#include <memory>
#include <utility>

#include "app/fix_message_table.h"
#include "app/fix_procedure.h"
#include "app/globals.h"
#include "common/levels.h"
#include "platform/event.h"
#include "platform/event_queue.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "window/shared_requests.h"
#include "window/toolbar_router.h"
#include "window/window_controller.h"

namespace morlan {

namespace {

ControlDefinition Menu(int number, const char* name, const char* text, const char* message = "") {
  ControlDefinition c;
  c.number = number;
  c.name = name;
  c.type = ControlType::kMenu;
  c.text = text;
  c.message = message;
  return c;
}

ControlDefinition Entry(int number, const char* name, const char* text, int menu,
                        const char* message, StandardAction action) {
  ControlDefinition c = Menu(number, name, text, message);
  c.type = ControlType::kMenuItem;
  c.parent = menu;
  c.action = action;
  return c;
}

class FrameWindow final : public WindowController {
 public:
  FrameWindow(Window& window, ToolbarRouter& toolbar, ThreadStarter starter)
      : window_(window), toolbar_(toolbar), starter_(std::move(starter)) {}

  Level Init() override {
    AppErrors.EnterProcedure(kFrameProcedureName);
    REQUEST = PendingRequest.load();
    if (const Level r = WindowController::Init(); r != FatalityNone) return r;
    FIRSTFIELD = 1;
    VCRREQUEST = &NavigationRequest;
    ERRORS = &AppErrors;
    SetToolbar(&toolbar_);
    PendingRequest = 0;
    LastResponse = 0;
    WINDOW = &window_;
    window_.Open();
    OPENED = true;
    RegisterAlerts();
    return FatalityNone;
  }

  Level Kill() override {
    if (const Level r = WindowController::Kill(); r != FatalityNone) return r;
    AppErrors.LeaveProcedure();
    return FatalityNone;
  }

  Level TakeAccepted() override {
    const Level r = WindowController::TakeAccepted();
    if (AcceptedControl() == kMenuFixQdl) StartFixRun();
    return r;
  }

  Level TakeWindowEvent() override {
    if (CurrentEvent() != kEventFixRunEnded) return WindowController::TakeWindowEvent();
    EndFixRun();
    return FatalityNotify;
  }

 private:
  void StartFixRun() {
    // A start queued before the command was greyed.
    if (run_active_) return;
    run_active_ = true;
    window_.Disable(kMenuFixQdl);
    // The run tells the frame through its thread's queue, which outlives the frame's window:
    // after the frame has closed the news is dropped.
    const std::shared_ptr<EventQueue> queue = window_.queue();
    const int frame = window_.id();
    auto run = [queue, frame] {
      FixQdl();
      queue->Post(Event{.code = kEventFixRunEnded, .window = frame});
    };
    const bool started =
        starter_ ? starter_(run, kFixStackBytes) : Runtime::StartThread(run, kFixStackBytes);
    if (started) return;
    EndFixRun();
    AppErrors.RaiseWithText(ErrProcedureNotStarted, kFixProcedureName);
  }

  void EndFixRun() {
    run_active_ = false;
    window_.Enable(kMenuFixQdl);
  }

  Window& window_;
  ToolbarRouter& toolbar_;
  ThreadStarter starter_;
  bool run_active_ = false;
};

}  // namespace

WindowDefinition FrameDefinition() {
  WindowDefinition d;
  d.id = "P1$APPFRAME";
  d.caption = "Application";
  d.is_frame = true;
  d.width = 310;
  d.height = 190;
  d.controls = {
      Menu(kMenuFile, "?FILEMENU", "&File"),
      Entry(kMenuPrintSetup, "?PRINTSETUP", "P&rint Setup...", kMenuFile, "Setup Printer",
            StandardAction::kPrinterSetup),
      Entry(kMenuExit, "?EXIT", "E&xit", kMenuFile, "Exit this application",
            StandardAction::kCloseWindow),
      Entry(kMenuFixQdl, "?FIXQDL", "Fix QDL", 0, "", StandardAction::kNone),
      Menu(kMenuEdit, "?EDITMENU", "&Edit"),
      Entry(kMenuCut, "?CUT", "Cu&t", kMenuEdit, "Remove item to Windows Clipboard",
            StandardAction::kCut),
      Entry(kMenuCopy, "?COPY", "&Copy", kMenuEdit, "Copy item to Windows Clipboard",
            StandardAction::kCopy),
      Entry(kMenuPaste, "?PASTE", "&Paste", kMenuEdit, "Paste contents of Windows Clipboard",
            StandardAction::kPaste),
      Menu(kMenuWindow, "", "&Window", "Create and Arrange windows"),
      Entry(kMenuTile, "?TILE", "T&ile", kMenuWindow, "Make all open windows visible",
            StandardAction::kTile),
      Entry(kMenuCascade, "?CASCADE", "&Cascade", kMenuWindow, "Stack all open windows",
            StandardAction::kCascade),
      Entry(kMenuArrange, "?ARRANGE", "&Arrange Icons", kMenuWindow, "Align all window icons",
            StandardAction::kArrangeIcons),
      Menu(kMenuHelp, "", "&Help", "Windows Help"),
      Entry(kMenuHelpContents, "?HELPINDEX", "&Contents", kMenuHelp,
            "View the contents of the help file", StandardAction::kHelpContents),
      Entry(kMenuHelpSearch, "?HELPSEARCH", "&Search for Help On...", kMenuHelp,
            "Search for help on a subject", StandardAction::kHelpSearch),
      Entry(kMenuHelpOnHelp, "?HELPONHELP", "&How to Use Help", kMenuHelp,
            "How to use Windows Help", StandardAction::kHelpOnHelp),
  };
  return d;
}

std::uint8_t Main(ThreadStarter starter) {
  Window frame(FrameDefinition());
  ToolbarRouter toolbar;
  auto manager = std::make_unique<FrameWindow>(frame, toolbar, std::move(starter));
  const std::uint8_t response = manager->Run();
  LastResponse = response;
  manager.reset();
  return response;
}

}  // namespace morlan

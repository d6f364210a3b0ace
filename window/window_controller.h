// The window controller: runs one procedure's window. It owns the procedure's event loop, hands
// every event to a fixed set of virtual handlers in a fixed order, lets the window's components
// see every event and refresh themselves, maps buttons to responses, routes toolbar presses to
// the toolbar's current target, and reports how the window ended as a response (1 completed,
// 2 cancelled). With a primary file it is also a record form that inserts, changes or deletes one
// record of that file.
//
// Use: a procedure derives from it and overrides Init (calling the base first and returning its
// level when that is not 0), sets WINDOW, ERRORS, VCRREQUEST, FIRSTFIELD, adds components,
// buttons and a toolbar, opens its window and sets OPENED; then Run does Init, the event loop and
// Kill. Overriding Kill calls the base first and returns its level when that is not 0.
//
//   struct Progress : WindowController {
//     Level Init() override {
//       REQUEST = PendingRequest;
//       if (Level r = WindowController::Init(); r != 0) return r;
//       WINDOW = &window; ERRORS = &errors; VCRREQUEST = &NavigationRequest; FIRSTFIELD = 1;
//       AddButton(4, ResponseCancelled);
//       window.Open();
//       OPENED = true;
//       return 0;
//     }
//   };
//
// Event dispatch (TakeEvent), the first non-zero level ends the handling of an event:
//   1. an event of the window itself (no control): TakeWindowEvent;
//   2. by event code: accepted TakeAccepted, rejected TakeRejected, selected TakeSelected, new
//      selection TakeNewSelection, alert key with HISTORYKEY RestoreFieldValue;
//   3. an event of a control: TakeFieldEvent;
//   4. every component's TakeEvent, in the order added;
//   5. with AUTOREFRESH, one Reset(0) when any component NeedsReset.
// The event is then ended with its level: 3 leaves the loop, 5 marks it dealt with (no default
// handling: a close request answered 5 keeps the window open), anything else leaves the default
// handling to the runtime (a close request closes the window).
//
// Threading: a controller belongs to its procedure's thread and is used only there; its window
// must be open on that thread. The values it shares with other procedures (shared_requests.h)
// are atomic.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/codes.h"
#include "common/field_ref.h"
#include "common/field_value.h"
#include "common/levels.h"
#include "window/shared_requests.h"

namespace morlan {

class ErrorManager;
class FileManager;
class FileRelations;
class ToolbarRouter;
class Window;
class WindowComponent;
class WindowResizer;
class WindowTranslator;

class WindowController {
 public:
  // A button that ends the window with a response.
  struct ButtonEntry final {
    std::int32_t CONTROL = 0;
    std::uint8_t ACTION = 0;  // the response to set
  };
  struct ComponentEntry final {
    WindowComponent* WC = nullptr;  // not owned
  };
  // A file whose record buffer a record form saves before it runs and puts back or discards
  // after it.
  struct UpdateFileEntry final {
    FileManager* FILE = nullptr;  // not owned
    std::uint32_t SAVED = 0;      // id of the saved copy of its record buffer; 0 none
  };
  // A form field whose previous value the user can put back (HISTORYKEY, or the toolbar's
  // restore-field button).
  struct FieldHistoryEntry final {
    FieldRef FIELD;            // the field in its record buffer; its type is the field's type
    FieldValue SAVEDVALUE;     // the value saved when the form was last completed
    std::int32_t CONTROL = 0;  // the control that shows the field
  };

  // Bits of INITED.
  static constexpr std::uint8_t kInitedOpened = 1;     // Open has run
  static constexpr std::uint8_t kInitedSizedSeen = 2;  // the first sized event has been seen
  // The toolbar's restore-field button: accepting it puts the focused field's value back.
  static constexpr std::int32_t kToolbarRestoreField = 3012;
  // Characters a position text keeps.
  static constexpr std::size_t kPositionCapacity = 1024;

  WindowController() = default;
  virtual ~WindowController() = default;

  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  // --- Virtual operations, in slot order ---

  // Runs the event loop over WINDOW until it is over. Returns at once when the controller is
  // dead or has no window.
  virtual void RunEventLoop();
  // Sets the controller up: lists created, defaults set, a name-binding scope opened, a pending
  // mouse key code cleared. 0. Overrides call it first (see above).
  virtual Level Init();
  // Releases everything: components killed and dropped, saved record copies discarded, toolbar
  // and resizer released, name-binding scope closed; DEAD set. 0; 5 (changing nothing) when
  // already dead or never set up, so a second Kill is harmless.
  virtual Level Kill();
  // First opening of the window: translated, refreshed (Reset(0)), marked opened.
  virtual void Open();
  // Hook for filling a new record's fields before an insert form shows; the base does nothing.
  virtual void PrimeNewRecord();
  // Readies a record form before its event loop: saved copies taken, an insert primed or a
  // delete carried out. 3 when the form has nothing left to show; otherwise 0.
  virtual Level PrepareUpdate();
  // Refreshes every component with `force` (plus an armed FORCEDRESET), redraws them and
  // displays the window. Does nothing while the window validates all its controls again.
  virtual void Reset(std::uint8_t force);
  // Puts back the previous value of the field shown by `control`, when it has one in HISTORY.
  virtual void RestoreFieldValue(std::int32_t control);
  // Init; the event loop when Init returned 0; Kill in every case. Returns RESPONSE, or 2
  // (cancelled) when nothing set one.
  virtual std::uint8_t Run();
  // Not used here: 2, doing nothing.
  virtual std::uint8_t RunRequest();
  // Every component's RegisterAlerts; then HISTORYKEY becomes an alert key of every HISTORY
  // control.
  virtual void RegisterAlerts();
  // Records `response` and asks the window to close (posts close-window). A cancel (2) with a
  // toolbar also clears the navigation request VCRREQUEST points at.
  virtual void SetResponse(std::uint8_t response);
  // A control was accepted: the toolbar sees it, a BUTTONS entry sets its response (5), the OK
  // control presses OK. Otherwise 0.
  virtual Level TakeAccepted();
  // The completed event of a record form (all controls accepted after OK). The base form
  // behaviour stores the record; without a primary file nothing happens. 0 or a level that
  // ends the event's handling.
  virtual Level TakeCompleted();
  // The window is asked to close (close-window or close-down): 0 lets it close, 5 keeps it open.
  // Without a primary file, or once the response is completed, it always closes.
  virtual Level TakeCloseEvent();
  // Handles the thread's current event; see the dispatch above.
  virtual Level TakeEvent();
  // Any event of a control, after the handler of its code: 0 here.
  virtual Level TakeFieldEvent();
  // A new selection in a control: a list (control type 37) refreshes the window and, with
  // AUTOTOOLBAR and a toolbar, lets the toolbar pick its target. 0.
  virtual Level TakeNewSelection();
  // A control refused its input: beep, show the control again and put the focus back. 0.
  virtual Level TakeRejected();
  // A control was selected: 0 here.
  virtual Level TakeSelected();
  // An event of the window itself: open, focus lost or gained, sized, completed, close.
  virtual Level TakeWindowEvent();
  // Every component's Update, in the order added.
  virtual void Update();

  // --- Non-virtual operations ---

  // Appends `component` to CL (not owned; it must live until Kill). Nothing before Init or
  // after Kill.
  void AddComponent(WindowComponent* component);
  // Accepting `control` will end the window with `response`. Nothing before Init or after Kill.
  void AddButton(std::int32_t control, std::uint8_t response);
  // TOOLBAR := `router` (not owned), which is then initialised with an empty target list.
  void SetToolbar(ToolbarRouter* router);
  // The OK control was pressed: an insert or change form validates all its controls again,
  // which delivers the completed event once they accept; any other window gets the completed
  // event at once.
  void PressOk();
  // Every component's Reset(force), in the order added.
  void ResetComponents(std::uint8_t force);

  // The current event of the thread's event loop: its code, its control (0 for the window
  // itself), the control last accepted and the focused control. 0 outside an event loop.
  static EventCode CurrentEvent();
  static std::int32_t CurrentControl();
  static std::int32_t AcceptedControl();
  static std::int32_t FocusedControl();

  // --- Fields, in declared order ---

  bool AUTOREFRESH = false;  // refresh when a component asks after an event; Init sets it
  bool AUTOTOOLBAR = false;  // retarget the toolbar on a list's new selection; Init sets it
  std::unique_ptr<std::vector<ButtonEntry>> BUTTONS;  // null before Init and after Kill
  std::unique_ptr<std::vector<ComponentEntry>> CL;    // null before Init and after Kill
  std::uint8_t CANCELACTION = 0;   // record forms: what a close with unsaved changes does
  std::uint8_t CHANGEACTION = 0;   // record forms: kept for derived forms; nothing reads it here
  bool DEAD = false;               // Kill has run
  std::uint8_t DELETEACTION = 0;   // record forms: how a delete form deletes
  ErrorManager* ERRORS = nullptr;  // set by the deriving procedure
  std::unique_ptr<std::vector<UpdateFileEntry>> FILES;  // record forms; null unless used
  bool FILESOPENED = false;      // the deriving procedure has opened its files
  std::int32_t FIRSTFIELD = 0;   // selected when the window opens and after a refused OK
  std::uint8_t FORCEDRESET = 0;  // added to the force of the next Reset, then cleared
  std::unique_ptr<std::vector<FieldHistoryEntry>> HISTORY;  // record forms; null unless used
  std::int32_t HISTORYKEY = 0;       // key code that puts a field's previous value back; 0 none
  std::uint8_t INITED = 0;           // kInitedOpened, kInitedSizedSeen
  std::uint8_t INSERTACTION = 0;     // record forms: what follows a successful insert
  std::string LASTINSERTEDPOSITION;  // record forms: position of the last record inserted
  std::int32_t OKCONTROL = 0;        // the OK control; 0 none
  bool OPENED = false;               // the deriving procedure has opened its window
  std::uint8_t ORIGINALREQUEST = 0;  // REQUEST as it was at Init
  FileRelations* PRIMARY = nullptr;  // the record form's file; null: no record form
  std::uint8_t REQUEST = 0;          // 1 insert, 2 change, 3 delete; anything else no record action
  bool RESETONGAINFOCUS = false;     // refresh with force when the window gets the focus back
  WindowResizer* RESIZE = nullptr;   // not owned; released by Kill
  std::uint8_t RESPONSE = 0;         // 0 none yet, 1 completed, 2 cancelled
  std::uint32_t SAVED = 0;           // record forms: id of the primary record's saved copy
  ToolbarRouter* TOOLBAR = nullptr;  // not owned
  WindowTranslator* TRANSLATOR = nullptr;  // not owned; translates the window when it opens
  std::atomic<std::int32_t>* VCRREQUEST = nullptr;  // the navigation request (NavigationRequest)
  // The window the controller runs over, not owned. The deriving procedure sets it in Init,
  // before it opens the window there; the window must stay open on this thread until the loop
  // ends. Null: no event loop runs, and posts and refreshes go to the window of the thread's
  // current event loop, if any.
  Window* WINDOW = nullptr;

 protected:
  // WINDOW, or the window of the thread's current event loop; nullptr when there is neither.
  Window* window() const;
};

}  // namespace morlan

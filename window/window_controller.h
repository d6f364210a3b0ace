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
// A record form sets PRIMARY (the file's relation manager, its file open), REQUEST and OKCONTROL,
// may add update files (AddUpdateFile) and history fields (AddHistoryField, then RegisterAlerts),
// and calls PrepareUpdate before its event loop, once the record is in the primary buffer (a
// change or delete) or prepared as a new record (an insert: cleared and auto-numbered by
// PrepareRecord). PrepareUpdate answering 3 means there is nothing left to show: the form skips
// its event loop. Its controls are bound to the primary buffer's fields, so what the person types
// is the record. OK stores the record (TakeCompleted); a close request with unsaved changes saves,
// discards or stays as CANCELACTION says (TakeCloseEvent).
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
#include "common/error_ids.h"
#include "common/field_ref.h"
#include "common/levels.h"
#include "window/field_history_entry.h"
#include "window/shared_requests.h"
#include "window/update_file_entry.h"

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
  // Hook for filling a new record's fields, before an insert form shows and for each further new
  // record; the base does nothing. The buffer is already prepared (and auto-numbered): the hook
  // must not prepare it again. Called by PrepareUpdate, a hook refuses the insert by setting
  // RESPONSE to 2.
  virtual void PrimeNewRecord();
  // Readies a record form before its event loop: the primary file used as a form's, its link
  // values remembered, the update files' and the primary record's buffers saved; an insert
  // primed (INSERTACTION not 0), a delete carried out at once (DELETEACTION 2 with the relation
  // manager's confirmation, 4 without; RESPONSE 1 when deleted, else 2). 3 when the form has
  // nothing left to show (the delete was tried, or the insert hook refused: an auto-numbered
  // record is then removed again); otherwise 0. Without PRIMARY: 0, doing nothing.
  virtual Level PrepareUpdate();
  // Refreshes every component with `force` (plus an armed FORCEDRESET), redraws them and
  // displays the window. Does nothing while the window validates all its controls again.
  virtual void Reset(std::uint8_t force);
  // Puts back the saved value of the field shown by `control` (the first HISTORY entry of that
  // control), converted to the field's type, and shows the control again. Nothing when the
  // control has no entry.
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
  // The completed event of a record form (all controls accepted after OK): the history fields'
  // values are saved, then the record is stored by REQUEST (CompleteInsert, CompleteChange,
  // CompleteDelete). Without a primary file nothing more happens. 0, or 5 when an insert form
  // stays open (refused, or on its next new record).
  virtual Level TakeCompleted();
  // The window is asked to close (close-window or close-down): 0 lets it close, 5 keeps it open.
  // Without a primary file, or once the response is completed, it always closes. An insert or
  // change form with unsaved changes (the buffer differs from SAVED) acts by CANCELACTION: bits 1
  // and 2 ask "Save Record" (Yes presses OK, No discards, Cancel stays), bit 1 alone presses OK,
  // any other non-zero value asks "Changes will be lost!" (No stays), 0 does not check. Closing
  // an insert form removes the record auto-numbered and not stored (the form stays when that
  // fails); after records were inserted the response is 1 with the last one read back.
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

  // --- Record forms (window_controller_form.cc) ---

  // INSERTACTION: what follows a stored insert (any other value: nothing; 0 also skips the
  // priming in PrepareUpdate).
  static constexpr std::uint8_t kInsertCompletes = 2;
  static constexpr std::uint8_t kInsertNextRecord = 3;
  static constexpr std::uint8_t kInsertAsksForAnother = 4;
  // DELETEACTION: PrepareUpdate deletes at once, confirmed or not (any other value: the form
  // shows, and OK deletes without confirmation).
  static constexpr std::uint8_t kDeleteConfirmed = 2;
  static constexpr std::uint8_t kDeleteAtOnce = 4;
  // CANCELACTION bits: save unsaved changes on a close request, and ask before saving.
  static constexpr std::uint8_t kCancelSaves = 1;
  static constexpr std::uint8_t kCancelAsks = 2;

  // Adds `file` to FILES: PrepareUpdate saves its record buffer, each further new record of an
  // insert form starts from it again, and Kill lets the copy go. Nothing for a null file or
  // after Kill.
  void AddUpdateFile(FileManager* file);
  // Adds `field`, shown by `control`, to HISTORY (see FieldHistoryEntry): its saved copy starts
  // as the field's value now, so a form adds its fields once the record is in the buffer, and
  // calls RegisterAlerts afterwards. Nothing for an invalid field or after Kill.
  void AddHistoryField(std::int32_t control, FieldRef field);
  // Copies every history field's value into its saved copy.
  void SaveFieldValues();
  // The completion steps of TakeCompleted, by REQUEST. Each answers the level TakeCompleted ends
  // with.
  // Insert: the record is added (refused: 5, the form stays on FIRSTFIELD; the file manager has
  // said why). Then by INSERTACTION: 2 completes (response 1); 3 starts the next new record at
  // once; 4 asks "Record Added", Yes starts the next record, No completes; any other value does
  // nothing more. The next record starts from the saved buffers, is auto-numbered (failing: the
  // form closes) and primed; the form stays (5).
  Level CompleteInsert();
  // Change: an unchanged record is not written; a changed one is (Update, the other station's
  // version shown when there is a HISTORYKEY to recall the person's values with). A failed write
  // asks "Record Update Error": Yes tries again, No closes (response 2; the close request then
  // deals with the unsaved change by CANCELACTION), Cancel stays. Written or unchanged, the form
  // closes: response 1 when written, or unchanged with a toolbar and no pending navigation
  // request; else 2. 0.
  Level CompleteChange();
  // Delete: the record is deleted (confirmed first when DELETEACTION is 2); response 1. A failed
  // delete asks "Record Delete Error": Yes tries again, No closes (response 2), Cancel stays. 0.
  Level CompleteDelete();

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

 private:
  // TakeCloseEvent of a form with a primary file and no completed response.
  Level CloseRecordForm();
  // After an insert: the next new record, from the saved buffers (CompleteInsert).
  void StartNextRecord();
  // Moves the focus to FIRSTFIELD, first showing the whole window again when `display`.
  void ShowFirstField(bool display);
  // Posts `code` for `control` (0: the window) to the form's window.
  void PostToWindow(EventCode code, std::int32_t control = 0);
  // A question through ERRORS: the Yes, No and Cancel question of `id` (ShowEntryMessage,
  // Cancel preselected), and the standard question of `id` (Raise). Without ERRORS, the
  // preselected answer.
  ButtonFlags AskYesNoCancel(ErrorId id);
  Level AskStandard(ErrorId id);
};

}  // namespace morlan

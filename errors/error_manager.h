// The error manager: every error and every standard question of the framework goes through it.
// Callers pass an error id (and, where the message needs them, a file name or an extra text);
// the manager looks the id up in its message table, fills the placeholders of the stored message,
// optionally logs the result and records it in a history, shows it in a message box with the
// buttons and icon that the entry's fatality calls for, and returns a level or the button chosen.
// A fatal entry (FatalityHalt, FatalityProgram, 6 and above) ends the program through the runtime.
//
// Message table: entries are appended by LoadMessageTable, in table order; an id loaded again is
// shadowed, not replaced: FindEntry picks the entry added last. Entries refer to the table's bytes
// in place, so a table must outlive the manager (the standard table is static).
//
// Placeholders (errors/message_expansion.h), without regard to letter case: %FileErrorCode,
// %FileError, %File, %ErrorCode, %ErrorText, %Error, %Message, %Field, %Procedure, %Category;
// and %Previous, only when spelled exactly so: the raw message of the previous entry with the
// same id, empty when there is none. Values are inserted as they are, never expanded again. The
// expanded text is cut to kExpansionCapacity characters.
//
// Unknown ids: raising an id without an entry shows a notification titled kUnknownTitle that
// names the id and the captured error text, and returns FatalityNotify.
//
// Threading: one manager serves every thread. The current entry, the captured runtime error
// (SAVE* fields), FILENAME, MESSAGETEXT and FIELDNAME are kept per calling thread, so a raise on
// one thread never shows another thread's file or error. A thread's values are dropped when it
// leaves its last procedure. The shared lists (ERRORS, HISTORY, PROCNAMES, categories) are
// guarded by one mutex that is held only for short sections and never while a message box is
// shown, the history is run, the log is written or a halt is requested; virtual operations are
// never called with it held, so overrides may call back into the manager. InitStandard, Init and
// Kill belong to start-up and shutdown, while no other thread uses the manager.
//
// Results are levels (common/levels.h) or button flags (common/codes.h); never exceptions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/codes.h"
#include "common/error_ids.h"
#include "common/levels.h"
#include "errors/error_log_file.h"
#include "errors/error_log_interface.h"
#include "errors/history_view.h"
#include "errors/message_expansion.h"
#include "platform/message_box_request.h"
#include "platform/runtime.h"

namespace morlan {

class ErrorManager {
 public:
  // Stands for no particular entry (callers write -1): AssignCategory and CategoryOf use it for
  // the default category.
  static constexpr ErrorId kAnyId = 0xFFFF;
  // FILENAME, MESSAGETEXT, FIELDNAME and the captured error texts keep this many characters.
  static constexpr std::size_t kFieldCapacity = 254;
  // Characters kept by the expansion of a message.
  static constexpr std::size_t kExpansionCapacity = kMessageExpansionCapacity;
  // Characters kept by the text of a history entry.
  static constexpr std::size_t kHistoryTextCapacity = 1023;
  // Appended to the message of a fatal entry.
  static constexpr std::string_view kHaltSuffix = "  Press OK to end this application";
  // Caption of the message shown for an id without entry.
  static constexpr std::string_view kUnknownTitle = "Unknown Error";
  static constexpr std::string_view kStandardCategory = "KWT";
  static constexpr std::string_view kHistoryCaption = "Errors History";

  // One entry of the message table.
  struct MessageEntry final {
    ErrorId ID = 0;
    std::string_view MESSAGE;  // into the loaded table
    std::string_view TITLE;    // into the loaded table
    Level FATALITY = FatalityNone;
    std::string CATEGORY;  // empty until AssignCategory sets it
  };

  // One running procedure of a thread.
  struct ProcedureEntry final {
    ThreadId THREAD = 0;
    std::string NAME;
  };

  // One recorded message.
  struct HistoryEntry final {
    std::string CATEGORY;
    std::string TXT;  // at most kHistoryTextCapacity characters
    std::int16_t ID = 0;
  };

  ErrorManager();
  ErrorManager(const ErrorManager&) = delete;
  ErrorManager& operator=(const ErrorManager&) = delete;

  // --- Virtual operations, in their slot order ---

  // Appends one entry per encoded entry of `table`, in order, each with an empty category (format
  // in errors/standard_message_table.h). A block that ends inside an entry loads the entries
  // before it and ignores the rest. `table` must outlive the manager.
  virtual void LoadMessageTable(std::span<const std::uint8_t> table);
  // Appends `entry` to the history; while HISTORYTHRESHOLD is above 0 the oldest entries go first
  // so that the list never holds more than HISTORYTHRESHOLD entries.
  virtual void AppendHistoryEntry(const HistoryEntry& entry);
  // Shows the history and returns the button that closed it (see HistoryView::Run) in the
  // history view set at start-up. Without a view the history is shown as one message box (an
  // entry a line, oldest first, exclamation icon) through ShowMessageBox. Without an installed
  // presenter nobody could press a button: UnansweredButton, at once.
  virtual ButtonFlags RunHistoryWindow(std::string_view caption, int icon, ButtonFlags buttons,
                                       ButtonFlags default_button);
  // Keeps `log` (not owned; may be null: no log) in ERRORLOG, makes a fresh ERRORS with the
  // standard table, a fresh PROCNAMES, and a HISTORY unless one exists.
  virtual void Init(ErrorLogInterface* log);
  // Logs (while LOGERRORS is set), records (while HISTORYTHRESHOLD is not 0) and shows one
  // finished message; returns the button chosen. Silent: nothing is shown and the answer is
  // UnansweredButton. With history on, messages of HISTORYVIEWLEVEL are shown in the history,
  // questions (entries of FatalityAsk or FatalityCancelled) of another level in a message box,
  // and the rest return `default_button` unseen. A failing log never changes the result, nor
  // the calling thread's runtime error state.
  virtual ButtonFlags ReportMessage(std::string_view text, std::string_view caption,
                                    MessageIcon icon, ButtonFlags buttons,
                                    ButtonFlags default_button, int style);
  // The platform message box; returns the flag of the button pressed. Blocks until answered.
  // Without an installed presenter nobody can answer: UnansweredButton, at once.
  virtual ButtonFlags ShowMessageBox(std::string_view text, std::string_view caption,
                                     MessageIcon icon, ButtonFlags buttons,
                                     ButtonFlags default_button, int style);
  // The level handlers work on the calling thread's current entry.
  // Returns FatalityNone; nothing is shown, logged or recorded.
  virtual Level OnLevelNone();
  // Reports the message followed by kHaltSuffix with OK, then halts the program (exit code 0,
  // the title as the halt text), also when silent. Returns FatalityHalt should the halt return.
  virtual Level OnLevelHalt();
  // Reports the message with the exclamation icon and OK.
  virtual void OnLevelNotify();
  // Returns OnLevelProgram().
  virtual Level OnLevelOther();
  // Returns OnLevelHalt().
  virtual Level OnLevelProgram();
  // Reports the message as a question with Yes and No, Yes preselected; FatalityNone for Yes,
  // FatalityCancelled otherwise.
  virtual Level OnLevelAsk();
  // RunHistoryWindow(kHistoryCaption, 0, OK + Help, OK); the history is kept.
  virtual void ShowHistory();

  virtual ~ErrorManager();

  // --- Set-up and teardown ---

  // Creates STDERRORLOG (the log file "KWTError.Log" in the current directory), sets the default
  // category to kStandardCategory, switches history off (threshold 0, view level FatalityHalt,
  // no reset on view) and calls Init with STDERRORLOG.
  void InitStandard();
  // Drops ERRORS, HISTORY, PROCNAMES and STDERRORLOG (closing the log) and forgets ERRORLOG.
  // Calling it again does nothing more.
  void Kill();

  // --- Raising ---

  // CaptureRuntimeError(), then HandleEntry(id).
  Level Raise(ErrorId id);
  // MESSAGETEXT = `text` (cut to kFieldCapacity, trailing blanks kept), then Raise(id).
  Level RaiseWithText(ErrorId id, std::string_view text);
  // Handles the entry of `id` by its fatality, with the error state captured last:
  // 0 → FatalityNone (nothing shown); 1 and 4 → OnLevelAsk(); 2 → OnLevelProgram();
  // 3 → OnLevelHalt(); 5 → OnLevelNotify() and FatalityNotify; other → OnLevelOther().
  Level HandleEntry(ErrorId id);
  // FILENAME = `name` cut to kFieldCapacity, without trailing blanks.
  void SetFileName(std::string_view name);
  // A number that names the calling thread's FILENAME as SetFileName last left it: it changes
  // whenever that name may have changed and is never the same on two threads; 0 when unknown.
  // Lets file managers skip naming a file that %File already names.
  std::uint64_t FileNameStamp() const;
  // Copies the calling thread's runtime error state into the SAVE* fields (texts cut to
  // kFieldCapacity, without trailing blanks).
  void CaptureRuntimeError();
  // Asks the entry of `id` with the question icon and `buttons`; returns the button chosen, or
  // UnansweredButton at once when silent. No capture, no log, no history.
  ButtonFlags ShowEntryMessage(ErrorId id, ButtonFlags buttons, ButtonFlags default_button);
  // The answer of a box nobody answered (silent, no presenter, a window closed without a button):
  // Cancel when offered, else No, else `default_button`. A question is so declined, never taken
  // as a Yes that would delete, discard or retry for the person.
  static ButtonFlags UnansweredButton(ButtonFlags buttons, ButtonFlags default_button);

  // --- History ---

  void ClearHistory();
  // The window the history is shown in (not owned; null: a message box). Set at start-up,
  // before other threads use the manager; Init and Kill keep it. The view must outlive its use.
  void SetHistoryView(HistoryView* view);
  HistoryView* history_view() const;

  // The history read in place, an entry at a time under the manager's lock, so that a list that
  // shows a page of it costs the same however long the history is. Entries may come and go
  // between two calls (other threads report meanwhile).
  class HistoryList final {
   public:
    std::size_t size() const;
    // Entry `index` (0: the oldest), or nothing when there is no such entry (any more).
    std::optional<HistoryEntry> at(std::size_t index) const;

   private:
    friend class ErrorManager;
    explicit HistoryList(const ErrorManager* manager) : manager_(manager) {}
    const ErrorManager* manager_;
  };
  const HistoryList& history_list() const { return history_list_; }

  // --- Categories ---

  // kAnyId sets the default category; otherwise sets the category of the newest entry of `id`
  // (an id without entry changes nothing). Moves the current entry.
  void AssignCategory(ErrorId id, std::string_view category);
  // The category of the newest entry of `id`; the default category for kAnyId, for an id without
  // entry and for an entry without category. Moves the current entry.
  std::string CategoryOf(ErrorId id);

  // --- Procedure names (the value of %Procedure) ---

  // Pushes `name` (without trailing blanks) for the calling thread.
  void EnterProcedure(std::string_view name);
  // Removes the calling thread's newest name, if any.
  void LeaveProcedure();
  // The calling thread's newest name, or empty text.
  std::string CurrentProcedureName() const;
  // The same name without a copy, for the per-record path: valid until the calling thread next
  // asks for it, enters or leaves a procedure.
  std::string_view CurrentProcedureNameView() const;
  // A number that stays the same while the calling thread's current procedure name does (it may
  // also change when the name does not). Lets the per-record path skip comparing names.
  std::uint64_t ProcedureStamp() const;

  // --- Entries ---

  // Makes the newest entry of `id` the calling thread's current entry; false when there is none
  // (the current entry is then the generic one for `id`).
  bool FindEntry(ErrorId id);
  // The current entry's message with its placeholders replaced.
  std::string ExpandMessage();

  // --- Observers (copies taken under the lock) ---

  std::vector<MessageEntry> entries() const;
  std::vector<HistoryEntry> history() const;
  std::string default_category() const;
  ErrorLogInterface* error_log() const;
  ErrorLogFile* standard_error_log() const;
  // The calling thread's values.
  std::string file_name() const;
  std::string message_text() const;
  std::string field_name() const;
  std::int32_t save_error_code() const;
  std::string save_error() const;
  std::string save_file_error_code() const;
  std::string save_file_error() const;

  // --- Settings; any thread may change them at any time ---

  std::atomic<bool> SILENT{false};                           // nothing is displayed
  std::atomic<bool> LOGERRORS{false};                        // every reported message is logged
  std::atomic<std::int32_t> HISTORYTHRESHOLD{0};             // 0 off, >0 at most that many, <0 all
  std::atomic<std::int32_t> HISTORYVIEWLEVEL{FatalityHalt};  // fatality shown in the history
  std::atomic<bool> HISTORYRESETONVIEW{false};               // empty the history once shown

 private:
  // What one thread works on.
  struct ThreadState final {
    std::optional<std::size_t> current;  // position in ERRORS; empty: the generic entry
    ErrorId missing_id = 0;              // the id of the generic entry
    std::string FIELDNAME;
    std::string FILENAME;
    std::string MESSAGETEXT;
    std::string SAVEERROR;
    std::int32_t SAVEERRORCODE = 0;
    std::string SAVEFILEERROR;
    std::string SAVEFILEERRORCODE;
  };

  // A copy of the current entry, resolved (the generic entry for an id without entry).
  struct CurrentEntry final {
    ErrorId id = 0;
    Level fatality = FatalityNone;
    std::string title;
    std::string message;
    std::string category;
    std::optional<std::size_t> position;
  };

  // All below with mutex_ held.
  ThreadState& StateLocked();
  const ThreadState* FindStateLocked() const;
  CurrentEntry CurrentLocked() const;
  std::optional<std::size_t> NewestLocked(ErrorId id) const;
  void TrimHistoryLocked(std::int32_t threshold);

  CurrentEntry Current() const;
  // Writes one log line; keeps the calling thread's runtime error state as it was.
  void WriteLog(std::string_view text);

  mutable std::mutex mutex_;
  std::string DEFAULTCATEGORY;
  std::unique_ptr<std::vector<MessageEntry>> ERRORS;
  ErrorLogInterface* ERRORLOG = nullptr;
  std::unique_ptr<std::vector<HistoryEntry>> HISTORY;
  std::unique_ptr<std::vector<ProcedureEntry>> PROCNAMES;
  std::unique_ptr<ErrorLogFile> STDERRORLOG;
  std::map<ThreadId, ThreadState> threads_;
  std::atomic<HistoryView*> history_view_{nullptr};
  const HistoryList history_list_{this};
};

}  // namespace morlan

#include "errors/error_manager.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "common/fixed_text.h"
#include "common/text_compare.h"
#include "errors/message_expansion.h"
#include "errors/standard_message_table.h"
#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

std::string_view Cut(std::string_view text, std::size_t capacity) {
  return text.substr(0, std::min(text.size(), capacity));
}

// Entries of these levels ask the person a Yes/No question.
bool IsQuestion(Level fatality) { return fatality == FatalityAsk || fatality == FatalityCancelled; }

// Where the calling thread's FILENAME lives in the manager that last named a file on it, so that
// SetFileName, which file managers call before every record operation, can skip the lock and the
// look-up. A thread's ThreadState is read and written by that thread alone, and its map node
// stays put until that thread's LeaveProcedure erases it (which forgets the slot); a manager's
// end moves the generation on, so no slot outlives the state it points to.
struct FileNameSlot final {
  const ErrorManager* owner = nullptr;
  std::uint64_t generation = 0;
  std::string* file_name = nullptr;
  std::uint64_t stamp = 0;  // unique among all threads; renewed whenever the name changes
};

std::atomic<std::uint64_t> last_file_name_stamp{0};

std::uint64_t NewFileNameStamp() {
  return last_file_name_stamp.fetch_add(1, std::memory_order_relaxed) + 1;
}

thread_local FileNameSlot file_name_slot;

// The calling thread's newest procedure name in the manager that last gave it, for the file
// usage tracker, which asks before every record operation. Only the thread's own EnterProcedure
// and LeaveProcedure change that name (they forget the slot); Init and Kill, which replace every
// thread's names, and a manager's end move the generation on.
struct ProcedureSlot final {
  const ErrorManager* owner = nullptr;
  std::uint64_t generation = 0;
  std::string name;
  std::uint64_t fills = 0;  // counts refills, so an unchanged count means an unchanged name
};

thread_local ProcedureSlot procedure_slot;

std::atomic<std::uint64_t> manager_generation{1};

void ForgetSlots(const ErrorManager* manager) {
  if (file_name_slot.owner == manager) file_name_slot = {};
  if (procedure_slot.owner == manager) procedure_slot.owner = nullptr;
}

}  // namespace

ErrorManager::ErrorManager() = default;

ErrorManager::~ErrorManager() { manager_generation.fetch_add(1, std::memory_order_release); }

// --- Virtual operations ---

void ErrorManager::LoadMessageTable(std::span<const std::uint8_t> table) {
  // Views into `table`: the bytes are read in place, never copied.
  const auto text_at = [&](std::size_t at, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(table.data()) + at, size);
  };
  if (table.size() < 2) return;
  const std::size_t count = table[0] | (table[1] << 8);
  std::vector<MessageEntry> loaded;
  loaded.reserve(count);
  std::size_t at = 2;
  for (std::size_t i = 0; i < count; ++i) {
    // id (2), fatality (1), title length (1): the fixed part before the title.
    if (table.size() - at < 4) break;
    MessageEntry entry;
    entry.ID = static_cast<ErrorId>(table[at] | (table[at + 1] << 8));
    entry.FATALITY = table[at + 2];
    const std::size_t title_size = table[at + 3];
    at += 4;
    if (table.size() - at < title_size + 1) break;
    entry.TITLE = text_at(at, title_size);
    at += title_size;
    const std::size_t message_size = table[at];
    at += 1;
    if (table.size() - at < message_size) break;
    entry.MESSAGE = text_at(at, message_size);
    at += message_size;
    loaded.push_back(std::move(entry));
  }
  std::lock_guard lock(mutex_);
  if (!ERRORS) ERRORS = std::make_unique<std::vector<MessageEntry>>();
  ERRORS->insert(ERRORS->end(), std::make_move_iterator(loaded.begin()),
                 std::make_move_iterator(loaded.end()));
}

void ErrorManager::AppendHistoryEntry(const HistoryEntry& entry) {
  std::lock_guard lock(mutex_);
  if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryEntry>>();
  // Trimmed again here, under the same lock as the append: two threads reporting at once must
  // not push the list past the threshold.
  TrimHistoryLocked(HISTORYTHRESHOLD);
  HISTORY->push_back(entry);
}

ButtonFlags ErrorManager::RunHistoryWindow(std::string_view caption, int icon, ButtonFlags buttons,
                                           ButtonFlags default_button) {
  // A window nobody can see would wait for ever for a button.
  if (Runtime::presenter() == nullptr) return UnansweredButton(buttons, default_button);
  if (HistoryView* view = history_view_.load(std::memory_order_acquire)) {
    return view->Run(*this, caption, icon, buttons, default_button);
  }
  // No window: one message box. The standard icons have no number, so 0 (and any other number)
  // shows the exclamation icon.
  std::string text;
  for (const HistoryEntry& entry : history()) {
    if (!text.empty()) text += '|';
    text += entry.TXT;
  }
  return ShowMessageBox(text, caption, MessageIcon::kExclamation, buttons, default_button, 0);
}

void ErrorManager::Init(ErrorLogInterface* log) {
  {
    std::lock_guard lock(mutex_);
    manager_generation.fetch_add(1, std::memory_order_release);  // new PROCNAMES
    ERRORLOG = log;
    ERRORS = std::make_unique<std::vector<MessageEntry>>();
    PROCNAMES = std::make_unique<std::vector<ProcedureEntry>>();
    if (!HISTORY) HISTORY = std::make_unique<std::vector<HistoryEntry>>();
    // Positions into the old list mean nothing in the new one.
    for (auto& [thread, state] : threads_) state.current.reset();
  }
  LoadMessageTable(StandardMessageTable::Bytes());
}

ButtonFlags ErrorManager::ReportMessage(std::string_view text, std::string_view caption,
                                        MessageIcon icon, ButtonFlags buttons,
                                        ButtonFlags default_button, int style) {
  ButtonFlags result = default_button;
  if (LOGERRORS) WriteLog(text);

  const std::int32_t threshold = HISTORYTHRESHOLD;
  if (threshold != 0) {
    {
      std::lock_guard lock(mutex_);
      TrimHistoryLocked(threshold);
    }
    HistoryEntry entry;
    const ErrorId id = Current().id;
    entry.ID = static_cast<std::int16_t>(id);
    entry.CATEGORY = CategoryOf(id);
    entry.TXT = std::string(Cut(text, kHistoryTextCapacity));
    AppendHistoryEntry(entry);
  }

  // Nobody sees a silent message, so nobody answers it: a question is declined, never taken as
  // its default Yes.
  if (SILENT) return UnansweredButton(buttons, default_button);

  if (threshold != 0) {
    // History on: only the view level is shown, and then in the history. A question is asked
    // all the same: recorded only, it would answer its default Yes for the person.
    const Level fatality = Current().fatality;
    if (fatality != HISTORYVIEWLEVEL) {
      if (!IsQuestion(fatality)) return result;
      return ShowMessageBox(text, caption, icon, buttons, default_button, style);
    }
    result = RunHistoryWindow(caption, 0, buttons, default_button);
    if (HISTORYRESETONVIEW) ClearHistory();
    return result;
  }
  return ShowMessageBox(text, caption, icon, buttons, default_button, style);
}

ButtonFlags ErrorManager::ShowMessageBox(std::string_view text, std::string_view caption,
                                         MessageIcon icon, ButtonFlags buttons,
                                         ButtonFlags default_button, int style) {
  // Without a presenter the runtime would answer the default button, Yes for a question.
  if (Runtime::presenter() == nullptr) return UnansweredButton(buttons, default_button);
  MessageBoxRequest request;
  request.text = std::string(text);
  request.caption = std::string(caption);
  request.icon = icon;
  request.buttons = buttons;
  request.default_button = default_button;
  request.style = style;
  return Runtime::MessageBox(request);
}

Level ErrorManager::OnLevelNone() { return FatalityNone; }

Level ErrorManager::OnLevelHalt() {
  const std::string title = Current().title;
  std::string text = ExpandMessage();
  text += kHaltSuffix;
  ReportMessage(text, title, MessageIcon::kExclamation, ButtonOk, ButtonOk, 0);
  Runtime::Halt(0, title);
  return FatalityHalt;
}

void ErrorManager::OnLevelNotify() {
  const std::string title = Current().title;
  ReportMessage(ExpandMessage(), title, MessageIcon::kExclamation, ButtonOk, ButtonOk, 0);
}

Level ErrorManager::OnLevelOther() { return OnLevelProgram(); }

Level ErrorManager::OnLevelProgram() { return OnLevelHalt(); }

Level ErrorManager::OnLevelAsk() {
  const std::string title = Current().title;
  const ButtonFlags answer = ReportMessage(ExpandMessage(), title, MessageIcon::kQuestion,
                                           ButtonYes + ButtonNo, ButtonYes, 0);
  return answer == ButtonYes ? FatalityNone : FatalityCancelled;
}

void ErrorManager::ShowHistory() {
  RunHistoryWindow(kHistoryCaption, 0, ButtonOk + ButtonHelp, ButtonOk);
}

// --- Set-up and teardown ---

void ErrorManager::InitStandard() {
  auto log = std::make_unique<ErrorLogFile>();
  ErrorLogInterface* log_interface = log.get();
  {
    std::lock_guard lock(mutex_);
    STDERRORLOG = std::move(log);
  }
  AssignCategory(kAnyId, kStandardCategory);
  HISTORYTHRESHOLD = 0;
  HISTORYVIEWLEVEL = FatalityHalt;
  HISTORYRESETONVIEW = false;
  Init(log_interface);
}

void ErrorManager::Kill() {
  std::unique_ptr<ErrorLogFile> log;
  {
    std::lock_guard lock(mutex_);
    manager_generation.fetch_add(1, std::memory_order_release);  // no PROCNAMES
    ERRORS.reset();
    HISTORY.reset();
    PROCNAMES.reset();
    ERRORLOG = nullptr;
    log = std::move(STDERRORLOG);
    for (auto& [thread, state] : threads_) state.current.reset();
  }
  // Disposing of the log closes its file; done outside the lock.
  log.reset();
}

// --- Raising ---

Level ErrorManager::Raise(ErrorId id) {
  CaptureRuntimeError();
  return HandleEntry(id);
}

Level ErrorManager::RaiseWithText(ErrorId id, std::string_view text) {
  {
    std::lock_guard lock(mutex_);
    StateLocked().MESSAGETEXT = std::string(Cut(text, kFieldCapacity));
  }
  return Raise(id);
}

Level ErrorManager::HandleEntry(ErrorId id) {
  FindEntry(id);
  switch (Current().fatality) {
    case FatalityNone:
      return OnLevelNone();
    case FatalityAsk:
    case FatalityCancelled:
      return OnLevelAsk();
    case FatalityProgram:
      return OnLevelProgram();
    case FatalityHalt:
      return OnLevelHalt();
    case FatalityNotify:
      OnLevelNotify();
      return FatalityNotify;
    default:
      return OnLevelOther();
  }
}

// File managers call this before every record operation: the text is assigned in place, so
// the thread's FILENAME keeps its capacity and nothing is allocated once it has held a name.
void ErrorManager::SetFileName(std::string_view name) {
  const std::string_view value = ClipText(name.substr(0, std::min(name.size(), kFieldCapacity)));
  FileNameSlot& slot = file_name_slot;
  const std::uint64_t generation = manager_generation.load(std::memory_order_relaxed);
  if (slot.owner == this && slot.generation == generation) {
    if (SameText(*slot.file_name, value)) return;
    slot.file_name->assign(value);
    slot.stamp = NewFileNameStamp();
    return;
  }
  std::lock_guard lock(mutex_);
  std::string& file_name = StateLocked().FILENAME;
  if (file_name != value) file_name.assign(value);
  slot = {this, generation, &file_name, NewFileNameStamp()};
}

std::uint64_t ErrorManager::FileNameStamp() const {
  const FileNameSlot& slot = file_name_slot;
  const std::uint64_t generation = manager_generation.load(std::memory_order_relaxed);
  return slot.owner == this && slot.generation == generation ? slot.stamp : 0;
}

void ErrorManager::CaptureRuntimeError() {
  // The runtime error state is the calling thread's own, and its texts stay put while this
  // thread does nothing else; they are copied in place into fields that keep their capacity.
  const StatusCode code = RuntimeErrorState::code();
  const std::string_view text = ClipText(Cut(RuntimeErrorState::text(), kFieldCapacity));
  const std::string_view driver_code =
      ClipText(Cut(RuntimeErrorState::driver_code(), kFieldCapacity));
  const std::string_view driver_text =
      ClipText(Cut(RuntimeErrorState::driver_text(), kFieldCapacity));
  std::lock_guard lock(mutex_);
  ThreadState& state = StateLocked();
  state.SAVEERRORCODE = code;
  state.SAVEERROR.assign(text);
  state.SAVEFILEERRORCODE.assign(driver_code);
  state.SAVEFILEERROR.assign(driver_text);
}

ButtonFlags ErrorManager::ShowEntryMessage(ErrorId id, ButtonFlags buttons,
                                           ButtonFlags default_button) {
  if (SILENT) return UnansweredButton(buttons, default_button);
  FindEntry(id);
  const std::string title = Current().title;
  return ShowMessageBox(ExpandMessage(), title, MessageIcon::kQuestion, buttons, default_button, 0);
}

ButtonFlags ErrorManager::UnansweredButton(ButtonFlags buttons, ButtonFlags default_button) {
  if ((buttons & ButtonCancel) != 0) return ButtonCancel;
  if ((buttons & ButtonNo) != 0) return ButtonNo;
  return default_button;
}

// --- History ---

void ErrorManager::ClearHistory() {
  std::lock_guard lock(mutex_);
  if (HISTORY) HISTORY->clear();
}

void ErrorManager::SetHistoryView(HistoryView* view) {
  history_view_.store(view, std::memory_order_release);
}

HistoryView* ErrorManager::history_view() const {
  return history_view_.load(std::memory_order_acquire);
}

std::size_t ErrorManager::HistoryList::size() const {
  std::lock_guard lock(manager_->mutex_);
  return manager_->HISTORY ? manager_->HISTORY->size() : 0;
}

std::optional<ErrorManager::HistoryEntry> ErrorManager::HistoryList::at(std::size_t index) const {
  std::lock_guard lock(manager_->mutex_);
  if (!manager_->HISTORY || index >= manager_->HISTORY->size()) return std::nullopt;
  return (*manager_->HISTORY)[index];
}

// --- Categories ---

void ErrorManager::AssignCategory(ErrorId id, std::string_view category) {
  if (id == kAnyId) {
    std::lock_guard lock(mutex_);
    DEFAULTCATEGORY = std::string(category);
    return;
  }
  if (!FindEntry(id)) return;
  std::lock_guard lock(mutex_);
  const std::optional<std::size_t> position = FindStateLocked()->current;
  if (!position || !ERRORS || *position >= ERRORS->size()) return;
  (*ERRORS)[*position].CATEGORY = std::string(category);
}

std::string ErrorManager::CategoryOf(ErrorId id) {
  if (id != kAnyId) FindEntry(id);
  std::lock_guard lock(mutex_);
  if (id == kAnyId) return DEFAULTCATEGORY;
  const std::string category = CurrentLocked().category;
  return category.empty() ? DEFAULTCATEGORY : category;
}

// --- Procedure names ---

void ErrorManager::EnterProcedure(std::string_view name) {
  const ThreadId thread = Runtime::CurrentThreadId();
  std::lock_guard lock(mutex_);
  if (!PROCNAMES) PROCNAMES = std::make_unique<std::vector<ProcedureEntry>>();
  PROCNAMES->push_back({thread, std::string(ClipText(name))});
  ForgetSlots(this);
}

void ErrorManager::LeaveProcedure() {
  const ThreadId thread = Runtime::CurrentThreadId();
  std::lock_guard lock(mutex_);
  if (!PROCNAMES) return;
  const auto is_thread = [thread](const ProcedureEntry& entry) { return entry.THREAD == thread; };
  const auto newest = std::find_if(PROCNAMES->rbegin(), PROCNAMES->rend(), is_thread);
  if (newest == PROCNAMES->rend()) return;
  PROCNAMES->erase(std::next(newest).base());
  ForgetSlots(this);
  // A thread that left its last procedure is about to end (procedure threads are never reused):
  // drop its values so that the map does not grow with every run.
  if (std::none_of(PROCNAMES->begin(), PROCNAMES->end(), is_thread)) threads_.erase(thread);
}

std::string ErrorManager::CurrentProcedureName() const {
  return std::string(CurrentProcedureNameView());
}

std::uint64_t ErrorManager::ProcedureStamp() const {
  const ProcedureSlot& slot = procedure_slot;
  if (slot.owner != this || slot.generation != manager_generation.load(std::memory_order_acquire)) {
    CurrentProcedureNameView();  // refills the slot
  }
  return slot.fills;
}

std::string_view ErrorManager::CurrentProcedureNameView() const {
  ProcedureSlot& slot = procedure_slot;
  const std::uint64_t generation = manager_generation.load(std::memory_order_acquire);
  if (slot.owner == this && slot.generation == generation) return slot.name;
  const ThreadId thread = Runtime::CurrentThreadId();
  std::lock_guard lock(mutex_);
  slot.owner = this;
  slot.generation = generation;
  ++slot.fills;
  slot.name.clear();
  if (!PROCNAMES) return slot.name;
  for (auto it = PROCNAMES->rbegin(); it != PROCNAMES->rend(); ++it) {
    if (it->THREAD != thread) continue;
    slot.name = it->NAME;
    break;
  }
  return slot.name;
}

// --- Entries ---

bool ErrorManager::FindEntry(ErrorId id) {
  std::lock_guard lock(mutex_);
  ThreadState& state = StateLocked();
  state.current = NewestLocked(id);
  state.missing_id = id;
  return state.current.has_value();
}

std::string ErrorManager::ExpandMessage() {
  CurrentEntry entry;
  ThreadState values;
  std::string_view previous;
  {
    std::lock_guard lock(mutex_);
    entry = CurrentLocked();
    if (const ThreadState* state = FindStateLocked()) values = *state;
    // Lets a later table redefine an id and still quote the earlier definition, unexpanded. The
    // text stays put: tables outlive the manager.
    if (entry.position && ERRORS && AsksForPrevious(entry.message)) {
      for (std::size_t i = std::min(*entry.position, ERRORS->size()); i-- > 0;) {
        if ((*ERRORS)[i].ID != entry.id) continue;
        previous = (*ERRORS)[i].MESSAGE;
        break;
      }
    }
  }
  const std::string procedure = CurrentProcedureName();
  const std::string error_code = std::to_string(values.SAVEERRORCODE);
  std::string error_text;
  if (values.SAVEERRORCODE == StatusDriverError) {
    error_text = values.SAVEFILEERROR + " (" + values.SAVEFILEERRORCODE + ")";
  } else {
    error_text = values.SAVEERROR + " (" + error_code + ")";
  }

  PlaceholderValues placeholders;
  placeholders.file_error_code = values.SAVEFILEERRORCODE;
  placeholders.file_error = values.SAVEFILEERROR;
  placeholders.file = values.FILENAME;
  placeholders.error_code = error_code;
  placeholders.error_text = error_text;
  placeholders.error = values.SAVEERROR;
  placeholders.message = values.MESSAGETEXT;
  placeholders.field = values.FIELDNAME;
  placeholders.procedure = procedure;
  placeholders.category = entry.category;
  placeholders.previous = previous;
  return ExpandPlaceholders(entry.message, placeholders);
}

// --- Observers ---

std::vector<ErrorManager::MessageEntry> ErrorManager::entries() const {
  std::lock_guard lock(mutex_);
  if (!ERRORS) return {};
  return *ERRORS;
}

std::vector<ErrorManager::HistoryEntry> ErrorManager::history() const {
  std::lock_guard lock(mutex_);
  if (!HISTORY) return {};
  return *HISTORY;
}

std::string ErrorManager::default_category() const {
  std::lock_guard lock(mutex_);
  return DEFAULTCATEGORY;
}

ErrorLogInterface* ErrorManager::error_log() const {
  std::lock_guard lock(mutex_);
  return ERRORLOG;
}

ErrorLogFile* ErrorManager::standard_error_log() const {
  std::lock_guard lock(mutex_);
  return STDERRORLOG.get();
}

std::string ErrorManager::file_name() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->FILENAME : std::string();
}

std::string ErrorManager::message_text() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->MESSAGETEXT : std::string();
}

std::string ErrorManager::field_name() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->FIELDNAME : std::string();
}

std::int32_t ErrorManager::save_error_code() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->SAVEERRORCODE : 0;
}

std::string ErrorManager::save_error() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->SAVEERROR : std::string();
}

std::string ErrorManager::save_file_error_code() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->SAVEFILEERRORCODE : std::string();
}

std::string ErrorManager::save_file_error() const {
  std::lock_guard lock(mutex_);
  const ThreadState* state = FindStateLocked();
  return state != nullptr ? state->SAVEFILEERROR : std::string();
}

// --- Private ---

ErrorManager::ThreadState& ErrorManager::StateLocked() {
  return threads_[Runtime::CurrentThreadId()];
}

const ErrorManager::ThreadState* ErrorManager::FindStateLocked() const {
  const auto it = threads_.find(Runtime::CurrentThreadId());
  return it != threads_.end() ? &it->second : nullptr;
}

ErrorManager::CurrentEntry ErrorManager::CurrentLocked() const {
  CurrentEntry entry;
  const ThreadState* state = FindStateLocked();
  if (state != nullptr && state->current && ERRORS && *state->current < ERRORS->size()) {
    const MessageEntry& found = (*ERRORS)[*state->current];
    entry.id = found.ID;
    entry.fatality = found.FATALITY;
    entry.title = std::string(found.TITLE);
    entry.message = std::string(found.MESSAGE);
    entry.category = found.CATEGORY;
    entry.position = state->current;
    return entry;
  }
  // No entry for the id: a notification that still tells which id and which error it was.
  entry.id = state != nullptr ? state->missing_id : 0;
  entry.fatality = FatalityNotify;
  entry.title = std::string(kUnknownTitle);
  entry.message =
      "There is no message for error id " + std::to_string(entry.id) + ".  Error: %ErrorText.";
  return entry;
}

std::optional<std::size_t> ErrorManager::NewestLocked(ErrorId id) const {
  if (!ERRORS) return std::nullopt;
  for (std::size_t i = ERRORS->size(); i-- > 0;) {
    if ((*ERRORS)[i].ID == id) return i;
  }
  return std::nullopt;
}

void ErrorManager::TrimHistoryLocked(std::int32_t threshold) {
  if (threshold <= 0 || !HISTORY) return;
  const auto limit = static_cast<std::size_t>(threshold);
  if (HISTORY->size() < limit) return;
  // Room for one more: the entry about to be appended.
  HISTORY->erase(HISTORY->begin(),
                 HISTORY->begin() + static_cast<std::ptrdiff_t>(HISTORY->size() - limit + 1));
}

ErrorManager::CurrentEntry ErrorManager::Current() const {
  std::lock_guard lock(mutex_);
  return CurrentLocked();
}

void ErrorManager::WriteLog(std::string_view text) {
  ErrorLogInterface* log = error_log();
  if (log == nullptr) return;
  std::string line = Runtime::ShortDate();
  line += '@';
  line += Runtime::LongTime();
  line += " --> ";
  line += text;
  // Each step is tried whatever the one before returned, and none of their results reaches the
  // caller: a log that cannot be written must not change what the user sees.
  const RuntimeErrorState::Saved saved = RuntimeErrorState::Save();
  log->Open(false);
  log->AppendLine(line);
  log->Close(false);
  RuntimeErrorState::Restore(saved);
}

}  // namespace morlan

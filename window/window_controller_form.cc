// WindowController: the record-form operations. A form inserts, changes or deletes one record of
// its primary file; its controls are bound to that file's record buffer, so the buffer is what
// the person sees and types.
#include <memory>
#include <utility>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "errors/error_manager.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "window/window_controller.h"

namespace morlan {

namespace {

constexpr ButtonFlags kYesNoCancel = ButtonYes + ButtonNo + ButtonCancel;
// What FileRelations::Update answers for a write that failed for another reason than a change
// by another station.
constexpr Level kWriteFailed = FatalityAsk;

}  // namespace

// --- Entries ---

void WindowController::AddUpdateFile(FileManager* file) {
  if (file == nullptr || DEAD) return;
  if (FILES == nullptr) FILES = std::make_unique<std::vector<UpdateFileEntry>>();
  FILES->push_back(UpdateFileEntry{file, 0});
}

void WindowController::AddHistoryField(std::int32_t control, FieldRef field) {
  if (!field.valid() || DEAD) return;
  if (HISTORY == nullptr) HISTORY = std::make_unique<std::vector<FieldHistoryEntry>>();
  // SaveFieldValues copies a run of entries of one field once: they must share that copy.
  std::shared_ptr<FieldValue> saved;
  if (!HISTORY->empty() && HISTORY->back().FIELD.SameField(field)) {
    saved = HISTORY->back().SAVED;
  } else {
    saved = std::make_shared<FieldValue>(field.Get());
  }
  HISTORY->push_back(FieldHistoryEntry{field, std::move(saved), control});
}

void WindowController::SaveFieldValues() {
  if (HISTORY == nullptr) return;
  const FieldHistoryEntry* previous = nullptr;
  for (const FieldHistoryEntry& entry : *HISTORY) {
    if (previous == nullptr || !entry.FIELD.SameField(previous->FIELD)) {
      *entry.SAVED = entry.FIELD.Get();
    }
    previous = &entry;
  }
}

void WindowController::RestoreFieldValue(std::int32_t control) {
  if (HISTORY == nullptr) return;
  for (const FieldHistoryEntry& entry : *HISTORY) {
    if (entry.CONTROL != control) continue;
    entry.FIELD.Set(*entry.SAVED);
    if (Window* w = window()) w->Display(control);
    return;
  }
}

// --- Preparing ---

void WindowController::PrimeNewRecord() {}

Level WindowController::PrepareUpdate() {
  if (PRIMARY == nullptr) return FatalityNone;
  FileManager& file = *PRIMARY->ME;
  Level result = FatalityNone;
  file.UseFile(FileUse::kForm);
  PRIMARY->SaveLinkValues();
  if (FILES != nullptr) {
    for (UpdateFileEntry& entry : *FILES) entry.SAVED = entry.FILE->SaveBuffer();
  }
  if (REQUEST == RequestInsert && INSERTACTION != 0) {
    // The hook refuses the insert by setting the response to cancelled.
    RESPONSE = ResponseCompleted;
    PrimeNewRecord();
    if (RESPONSE == ResponseCancelled) {
      // No form runs whose close would remove the record numbered for this insert.
      PRIMARY->CancelAutoNumber();
      result = FatalityHalt;
    } else {
      RESPONSE = ResponseCancelled;
    }
  }
  if (REQUEST == RequestDelete &&
      (DELETEACTION == kDeleteConfirmed || DELETEACTION == kDeleteAtOnce)) {
    const Level deleted = PRIMARY->Delete(DELETEACTION == kDeleteConfirmed);
    RESPONSE = deleted == FatalityNone ? ResponseCompleted : ResponseCancelled;
    result = FatalityHalt;
  }
  SAVED = file.SaveBuffer();
  return result;
}

// --- Completing ---

Level WindowController::TakeCompleted() {
  SaveFieldValues();
  if (PRIMARY == nullptr) return FatalityNone;
  switch (REQUEST) {
    case RequestInsert:
      return CompleteInsert();
    case RequestChange:
      return CompleteChange();
    case RequestDelete:
      return CompleteDelete();
    default:
      return FatalityNone;
  }
}

Level WindowController::CompleteInsert() {
  if (PRIMARY->ME->Insert() != FatalityNone) {
    ShowFirstField(false);
    return FatalityNotify;
  }
  switch (INSERTACTION) {
    case kInsertCompletes:
      SetResponse(ResponseCompleted);
      return FatalityNone;
    case kInsertAsksForAnother:
      if (AskStandard(ErrRecordAddedAskAnother) != FatalityNone) {
        SetResponse(ResponseCompleted);
        return FatalityNone;
      }
      break;
    case kInsertNextRecord:
      break;
    default:
      return FatalityNone;
  }
  StartNextRecord();
  return FatalityNotify;
}

void WindowController::StartNextRecord() {
  FileManager& file = *PRIMARY->ME;
  LASTINSERTEDPOSITION = file.Position();
  if (FILES != nullptr) {
    for (UpdateFileEntry& entry : *FILES) {
      FileManager::RestoreBuffer(*entry.FILE, &entry.SAVED, *entry.FILE, true);
      entry.SAVED = entry.FILE->SaveBuffer();
    }
  }
  FileManager::RestoreBuffer(file, &SAVED, file, true);
  file.UseFile(FileUse::kForm);
  if (file.AssignAutoNumbers() != FatalityNone) {
    PostToWindow(EventCloseWindow);
  } else {
    PrimeNewRecord();
    RESPONSE = ResponseCancelled;
  }
  SAVED = file.SaveBuffer();
  ShowFirstField(true);
}

Level WindowController::CompleteChange() {
  FileManager& file = *PRIMARY->ME;
  for (;;) {
    RESPONSE = ResponseCancelled;
    Runtime::SetWaitCursor(true);
    const bool changed = !file.EqualsSavedBuffer(SAVED);
    // With a history key the person can recall their values after seeing another station's.
    const Level written = changed ? PRIMARY->Update(HISTORYKEY != 0) : FatalityNone;
    Runtime::SetWaitCursor(false);
    if (written == kWriteFailed) {
      const ButtonFlags answer = AskYesNoCancel(ErrAskRetrySave);
      if (answer == ButtonYes) continue;
      if (answer == ButtonNo) {
        PostToWindow(EventCloseWindow);
        return FatalityNone;
      }
    }
    if (written != FatalityNone) {
      ShowFirstField(true);
      return FatalityNone;
    }
    // OK on an unchanged record of a browse's toolbar form, with no move pending, completes it.
    const bool no_move_pending = VCRREQUEST == nullptr || VCRREQUEST->load() == 0;
    if (changed || (TOOLBAR != nullptr && no_move_pending)) RESPONSE = ResponseCompleted;
    PostToWindow(EventCloseWindow);
    return FatalityNone;
  }
}

Level WindowController::CompleteDelete() {
  for (;;) {
    RESPONSE = ResponseCancelled;
    Runtime::SetWaitCursor(true);
    const Level deleted = PRIMARY->Delete(DELETEACTION == kDeleteConfirmed);
    Runtime::SetWaitCursor(false);
    if (deleted == FatalityNone) {
      SetResponse(ResponseCompleted);
      return FatalityNone;
    }
    const ButtonFlags answer = AskYesNoCancel(ErrAskRetryDelete);
    if (answer == ButtonNo) {
      PostToWindow(EventCloseWindow);
      return FatalityNone;
    }
    if (answer == ButtonCancel) {
      ShowFirstField(true);
      return FatalityNone;
    }
  }
}

// --- Closing ---

Level WindowController::CloseRecordForm() {
  FileManager& file = *PRIMARY->ME;
  const bool edits = REQUEST == RequestInsert || REQUEST == RequestChange;
  if (CANCELACTION != 0 && edits && !file.EqualsSavedBuffer(SAVED)) {
    if ((CANCELACTION & kCancelSaves) == 0) {
      if (AskStandard(ErrAskCancelChanges) == FatalityCancelled) {
        ShowFirstField(false);
        return FatalityNotify;
      }
    } else if ((CANCELACTION & kCancelAsks) == 0) {
      PostToWindow(EventAccepted, OKCONTROL);
      return FatalityNotify;
    } else {
      const ButtonFlags answer = AskYesNoCancel(ErrAskSaveChanges);
      if (answer == ButtonYes) {
        PostToWindow(EventAccepted, OKCONTROL);
        return FatalityNotify;
      }
      // Only No discards: a box closed any other way keeps the changes on screen.
      if (answer != ButtonNo) {
        ShowFirstField(false);
        return FatalityNotify;
      }
    }
  }
  if (ORIGINALREQUEST == RequestInsert && RESPONSE == ResponseCancelled) {
    // A removal that fails has read the stored record back into the buffer; the form stays, so
    // it gets the person's values back.
    std::uint32_t typed = file.SaveBuffer();
    const bool removed = PRIMARY->CancelAutoNumber() == FatalityNone;
    FileManager::RestoreBuffer(file, &typed, file, !removed);
    if (!removed) {
      ShowFirstField(false);
      return FatalityNotify;
    }
  }
  if (!LASTINSERTEDPOSITION.empty()) {
    // The caller finds the last record inserted in the buffer.
    RESPONSE = ResponseCompleted;
    file.Reget(LASTINSERTEDPOSITION);
  }
  return FatalityNone;
}

// --- Helpers ---

void WindowController::ShowFirstField(bool display) {
  Window* w = window();
  if (w == nullptr) return;
  if (display) w->Display(0);
  // Selecting control 0 would validate every control again.
  if (FIRSTFIELD != 0) w->Select(FIRSTFIELD);
}

void WindowController::PostToWindow(EventCode code, std::int32_t control) {
  if (Window* w = window()) w->Post(code, control);
}

ButtonFlags WindowController::AskYesNoCancel(ErrorId id) {
  if (ERRORS == nullptr) return ButtonCancel;
  return ERRORS->ShowEntryMessage(id, kYesNoCancel, ButtonCancel);
}

Level WindowController::AskStandard(ErrorId id) {
  return ERRORS != nullptr ? ERRORS->Raise(id) : FatalityNone;
}

}  // namespace morlan

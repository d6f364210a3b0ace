#include "window/window_controller.h"

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "platform/control_type.h"
#include "platform/event_loop.h"
#include "platform/key_codes.h"
#include "platform/name_binding_scope.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "window/toolbar_router.h"
#include "window/window_component.h"
#include "window/window_resizer.h"
#include "window/window_translator.h"

namespace morlan {

namespace {

// How the event loop goes on after a handler's level: 3 leaves it, 5 means dealt with.
int EndCode(Level level) {
  if (level == FatalityHalt) return -1;
  if (level == FatalityNotify) return 1;
  return 0;
}

// Discards a saved copy of `file`'s record buffer without putting it back.
void DiscardSavedBuffer(FileManager* file, std::uint32_t* id) {
  if (file == nullptr) return;
  FileManager::RestoreBuffer(*file, id, *file, false);
}

}  // namespace

// --- Event queries ---

EventCode WindowController::CurrentEvent() {
  const EventLoop* loop = EventLoop::Current();
  return loop != nullptr ? loop->event() : 0;
}

std::int32_t WindowController::CurrentControl() {
  const EventLoop* loop = EventLoop::Current();
  return loop != nullptr ? loop->control() : 0;
}

std::int32_t WindowController::AcceptedControl() {
  const EventLoop* loop = EventLoop::Current();
  return loop != nullptr ? loop->accepted_control() : 0;
}

std::int32_t WindowController::FocusedControl() {
  const EventLoop* loop = EventLoop::Current();
  return loop != nullptr ? loop->focused_control() : 0;
}

Window* WindowController::window() const {
  if (WINDOW != nullptr) return WINDOW;
  EventLoop* loop = EventLoop::Current();
  return loop != nullptr ? &loop->window() : nullptr;
}

// --- Life ---

Level WindowController::Init() {
  ORIGINALREQUEST = REQUEST;
  CL = std::make_unique<std::vector<ComponentEntry>>();
  BUTTONS = std::make_unique<std::vector<ButtonEntry>>();
  NameBindingScope::Open();
  // The click (or double click) that started this procedure is not the new window's input.
  const int key = EventLoop::key_code();
  if (key == kKeyMouseLeft || key == kKeyMouseLeftDouble) EventLoop::set_key_code(kKeyNone);
  INSERTACTION = 2;
  DELETEACTION = 2;
  CHANGEACTION = 1;
  CANCELACTION = 3;
  AUTOTOOLBAR = true;
  AUTOREFRESH = true;
  return FatalityNone;
}

Level WindowController::Kill() {
  if (DEAD || CL == nullptr) return FatalityNotify;
  // Each component leaves the list before it is killed, so a component that reaches back into
  // the controller from its Kill never meets itself.
  while (!CL->empty()) {
    WindowComponent* component = CL->front().WC;
    CL->erase(CL->begin());
    component->Kill();
  }
  CL.reset();
  BUTTONS.reset();
  HISTORY.reset();
  if (FILES != nullptr) {
    for (UpdateFileEntry& entry : *FILES) DiscardSavedBuffer(entry.FILE, &entry.SAVED);
    FILES.reset();
  }
  if (PRIMARY != nullptr) DiscardSavedBuffer(PRIMARY->ME, &SAVED);
  if (TOOLBAR != nullptr) TOOLBAR->Kill();
  if (RESIZE != nullptr) RESIZE->Release();
  DEAD = true;
  NameBindingScope::Close();
  return FatalityNone;
}

std::uint8_t WindowController::Run() {
  if (Init() == FatalityNone) RunEventLoop();
  Kill();
  return RESPONSE != 0 ? RESPONSE : ResponseCancelled;
}

std::uint8_t WindowController::RunRequest() { return ResponseCancelled; }

void WindowController::RunEventLoop() {
  if (DEAD || WINDOW == nullptr) return;
  LASTINSERTEDPOSITION.clear();
  EventLoop loop(*WINDOW);
  while (loop.NextEvent()) {
    if (loop.EndEvent(EndCode(TakeEvent()))) return;
  }
}

// --- Dispatch ---

Level WindowController::TakeEvent() {
  const std::int32_t control = CurrentControl();
  if (control == 0) {
    if (const Level r = TakeWindowEvent(); r != FatalityNone) return r;
  }
  Level r = FatalityNone;
  switch (CurrentEvent()) {
    case EventAccepted:
      r = TakeAccepted();
      break;
    case EventRejected:
      r = TakeRejected();
      break;
    case EventSelected:
      r = TakeSelected();
      break;
    case EventNewSelection:
      r = TakeNewSelection();
      break;
    case EventAlertKey:
      if (HISTORYKEY != 0 && EventLoop::key_code() == HISTORYKEY) {
        RestoreFieldValue(FocusedControl());
      }
      break;
    default:
      break;
  }
  if (r != FatalityNone) return r;
  if (control != 0) {
    if (r = TakeFieldEvent(); r != FatalityNone) return r;
  }
  // By index and re-checked each time: a component's handler may add components or kill the
  // controller.
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) {
    if (r = (*CL)[i].WC->TakeEvent(); r != FatalityNone) return r;
  }
  if (!AUTOREFRESH) return FatalityNone;
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) {
    if (!(*CL)[i].WC->NeedsReset()) continue;
    Reset(0);
    break;
  }
  return FatalityNone;
}

Level WindowController::TakeWindowEvent() {
  switch (CurrentEvent()) {
    case EventOpenWindow:
      if ((INITED & kInitedOpened) == 0) Open();
      if (FIRSTFIELD != 0) {
        if (Window* w = window()) w->Select(FIRSTFIELD);
      }
      return FatalityNone;
    case EventLoseFocus:
      if (RESETONGAINFOCUS) FORCEDRESET = 1;
      return FatalityNone;
    case EventGainFocus:
      if ((INITED & kInitedOpened) != 0) {
        Reset(0);
      } else {
        Open();
      }
      return FatalityNone;
    case EventSized:
      // The first sized event comes with the window's opening; only later ones are real resizes.
      if ((INITED & kInitedSizedSeen) != 0) {
        Reset(0);
      } else {
        INITED |= kInitedSizedSeen;
      }
      return FatalityNone;
    case EventCompleted:
      return TakeCompleted();
    case EventCloseWindow:
    case EventCloseDown:
      return TakeCloseEvent();
    default:
      return FatalityNone;
  }
}

Level WindowController::TakeAccepted() {
  const std::int32_t accepted = AcceptedControl();
  if (TOOLBAR != nullptr) {
    TOOLBAR->TakeToolbarEvent(VCRREQUEST);
    if (accepted == kToolbarRestoreField) RestoreFieldValue(FocusedControl());
  }
  if (BUTTONS != nullptr) {
    for (const ButtonEntry& button : *BUTTONS) {
      if (button.CONTROL != accepted) continue;
      SetResponse(button.ACTION);
      return FatalityNotify;
    }
  }
  if (OKCONTROL != 0 && OKCONTROL == accepted) PressOk();
  return FatalityNone;
}

Level WindowController::TakeNewSelection() {
  Window* w = window();
  if (w == nullptr || w->type(CurrentControl()) != ControlType::kList) return FatalityNone;
  Reset(0);
  if (AUTOTOOLBAR && TOOLBAR != nullptr) TOOLBAR->SelectTarget(0);
  return FatalityNone;
}

Level WindowController::TakeRejected() {
  const std::int32_t control = CurrentControl();
  Runtime::Beep(150, 16);
  if (Window* w = window()) {
    w->Display(control);
    w->Select(control);
  }
  return FatalityNone;
}

Level WindowController::TakeFieldEvent() { return FatalityNone; }

Level WindowController::TakeSelected() { return FatalityNone; }

Level WindowController::TakeCloseEvent() {
  if (RESPONSE == ResponseCompleted || PRIMARY == nullptr) return FatalityNone;
  return CloseRecordForm();
}

// --- Refreshing ---

void WindowController::Open() {
  if (TRANSLATOR != nullptr) TRANSLATOR->TranslateWindow(WINDOW);
  Reset(0);
  INITED |= kInitedOpened;
}

void WindowController::Reset(std::uint8_t force) {
  Window* w = window();
  // While the runtime validates every control again, the values are in flux: a refresh now
  // would overwrite what the user typed.
  if (w != nullptr && w->accept_all()) return;
  force = static_cast<std::uint8_t>(force + FORCEDRESET);
  FORCEDRESET = 0;
  ResetComponents(force);
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) (*CL)[i].WC->Redraw();
  if (w != nullptr) w->Display(0);
}

void WindowController::ResetComponents(std::uint8_t force) {
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) (*CL)[i].WC->Reset(force);
}

void WindowController::Update() {
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) (*CL)[i].WC->Update();
}

void WindowController::RegisterAlerts() {
  for (std::size_t i = 0; CL != nullptr && i < CL->size(); ++i) (*CL)[i].WC->RegisterAlerts();
  if (HISTORY == nullptr) return;
  Window* w = window();
  if (w == nullptr) return;
  for (const FieldHistoryEntry& entry : *HISTORY) w->SetAlertKey(entry.CONTROL, 255, HISTORYKEY);
}

// --- Responses ---

void WindowController::SetResponse(std::uint8_t response) {
  RESPONSE = response;
  if (Window* w = window()) w->Post(EventCloseWindow);
  if (response == ResponseCancelled && TOOLBAR != nullptr && VCRREQUEST != nullptr) {
    VCRREQUEST->store(0);
  }
}

void WindowController::PressOk() {
  Window* w = window();
  if (w == nullptr) return;
  if (ORIGINALREQUEST == RequestInsert || ORIGINALREQUEST == RequestChange) {
    w->Select(0);  // validates every control again; the completed event follows
    return;
  }
  w->Post(EventCompleted);
}

void WindowController::AddComponent(WindowComponent* component) {
  if (CL == nullptr || component == nullptr) return;
  CL->push_back(ComponentEntry{component});
}

void WindowController::AddButton(std::int32_t control, std::uint8_t response) {
  if (BUTTONS == nullptr) return;
  BUTTONS->push_back(ButtonEntry{control, response});
}

void WindowController::SetToolbar(ToolbarRouter* router) {
  TOOLBAR = router;
  if (router != nullptr) router->Init();
}

}  // namespace morlan

#include "errors/history_window.h"

#include "errors/error_manager.h"
#include "errors/history_window_definition.h"
#include "platform/icon_names.h"
#include "platform/window.h"
#include "window/window_component.h"

namespace morlan {

Level HistoryWindow::Init() {
  if (const Level r = WindowController::Init(); r != FatalityNone) return r;
  if (HISTORYHANDLER != nullptr) AddComponent(HISTORYHANDLER);
  ERRORS = ERR;
  // A window open already belongs to a run in progress, here or on another thread.
  if (WIN == nullptr || WIN->is_open()) return FatalityNotify;
  WINDOW = WIN;
  // Set while the window is closed, so that it opens showing this run's state.
  WIN->SetCaption(CAPTION.empty() ? std::string_view(WIN->definition().caption)
                                  : std::string_view(CAPTION));
  LayOutButtons();
  ShowIcon();
  if (!WIN->Open()) return FatalityNotify;
  OPENED = true;
  return FatalityNone;
}

Level HistoryWindow::Kill() {
  if (const Level r = WindowController::Kill(); r != FatalityNone) return r;
  std::string().swap(CAPTION);
  if (OPENED && WIN != nullptr) WIN->Close();
  OPENED = false;
  return FatalityNone;
}

Level HistoryWindow::TakeAccepted() {
  if (const Level r = WindowController::TakeAccepted(); r != FatalityNone) return r;
  const int position = AcceptedControl() - kHistoryFirstButton + 1;
  if (position < 1 || position > MSGBUTTONS) return FatalityNone;
  MSGRVAL = MSGBUTTONID[static_cast<std::size_t>(position - 1)];
  answered_ = true;
  return FatalityHalt;
}

void HistoryWindow::ShowIcon() {
  if (WIN == nullptr) return;
  if (ICON == 0) return WIN->SetIcon(kHistoryImageControl, kIconExclamation);
  WIN->SetIcon(kHistoryImageControl, std::to_string(ICON));
}

std::string_view HistoryWindow::ButtonCaption(ButtonFlags flag) {
  switch (flag) {
    case ButtonOk:
      return "O&k";
    case ButtonYes:
      return "&Yes";
    case ButtonNo:
      return "&No";
    case ButtonAbort:
      return "&Abort";
    case ButtonRetry:
      return "&Retry";
    case ButtonIgnore:
      return "&Ignore";
    case ButtonCancel:
      return "&Cancel";
    case ButtonHelp:
      return "&Help";
    default:
      return {};
  }
}

void HistoryWindow::LayOutButtons() {
  // What an earlier run of the same window showed goes first. Without a default button among
  // the shown ones the focus rests on the list.
  for (int k = 0; k < kHistoryButtonPositions; ++k) WIN->Hide(kHistoryFirstButton + k);
  WIN->SetDefaultButton(0);
  WIN->Select(kHistoryListControl);
  MSGBUTTONS = 0;
  MSGBUTTONID.fill(0);
  for (int bit = 7; bit >= 0; --bit) {
    const auto flag = static_cast<ButtonFlags>(1u << bit);
    if ((BUTTONTYPES & flag) == 0) continue;
    MSGBUTTONID[static_cast<std::size_t>(MSGBUTTONS)] = flag;
    ++MSGBUTTONS;
    const int control = kHistoryFirstButton + MSGBUTTONS - 1;
    WIN->SetText(control, ButtonCaption(flag));
    if (flag == MSGRVAL) {
      WIN->SetDefaultButton(control);
      WIN->Select(control);
    }
    WIN->Show(control);
  }
}

}  // namespace morlan

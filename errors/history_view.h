// How the error manager reaches the window that shows its history. The window is built on the
// window framework, which itself reports through the error manager, so the manager knows it only
// through this interface: start-up hands it one (ErrorManager::SetHistoryView). A manager without
// one shows its history as a plain message box.
//
// Threading: Run may be called from any thread, and by several at once; each call runs its window
// modally on the calling thread, in an event loop of its own.
#pragma once

#include <string_view>

#include "common/codes.h"

namespace morlan {

class ErrorManager;

class HistoryView {
 public:
  virtual ~HistoryView() = default;

  // Shows `manager`'s history, newest entry selected, under `caption` (empty: the window's own
  // caption) with icon number `icon` (0: the exclamation icon) and the buttons of `buttons`,
  // `default_button` preselected and focused, until a button is pressed or the window is closed.
  // Returns the flag of the button pressed; a window closed without one answers
  // ErrorManager::UnansweredButton(buttons, default_button). Blocks the calling thread meanwhile.
  virtual ButtonFlags Run(ErrorManager& manager, std::string_view caption, int icon,
                          ButtonFlags buttons, ButtonFlags default_button) = 0;
};

}  // namespace morlan

// The error history window: the error manager's history in a list under an icon, with up to
// eight buttons of the message-box kind in one right-aligned row, in the order OK, Yes, No,
// Abort, Retry, Ignore, Cancel, Help from left to right. It ends when a shown button is pressed
// (MSGRVAL becomes that button's flag) or when the window is closed otherwise (MSGRVAL stays the
// default it started with).
//
// Use (PreparedHistoryWindow does this for the error manager): set CAPTION, ICON, BUTTONTYPES,
// MSGRVAL (the default button), ERR, WIN (a window of HistoryWindowDefinition, closed, used by
// no other thread) and HISTORYHANDLER (the list component), then Run; read MSGRVAL afterwards.
//
// The window is prepared once and reused by every run, so Init sets every property a run
// decides (caption, buttons, default button, focus, icon) before it opens the window: nothing an
// earlier run showed survives, and the window opens showing the run's own state.
//
// Threading: runs modally on the calling thread, in an event loop of its own (nested in any loop
// the thread runs already).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/codes.h"
#include "common/levels.h"
#include "window/window_controller.h"

namespace morlan {

class ErrorManager;
class Window;
class WindowComponent;

class HistoryWindow : public WindowController {
 public:
  // --- WindowController ---

  // The base Init, then: HISTORYHANDLER added to the components; caption (CAPTION, or the
  // definition's when empty), buttons and icon set; WIN opened (OPENED). 0; the base's level
  // when it fails; 5 without WIN or when WIN is open already (it is then left alone).
  Level Init() override;
  // The base Kill, then CAPTION freed and WIN closed. 0; the base's level when it is not 0.
  Level Kill() override;
  // The base TakeAccepted, then: a shown button sets MSGRVAL to its flag and ends the loop (3).
  // Otherwise 0.
  Level TakeAccepted() override;

  // --- Its own ---

  // The image shows the exclamation icon for ICON 0, else the icon numbered ICON.
  virtual void ShowIcon();

  // The caption of the button of `flag` ("&" marks the access key); empty for a value that is
  // not one flag.
  static std::string_view ButtonCaption(ButtonFlags flag);
  // True once a shown button ended the window.
  bool answered() const { return answered_; }

  // --- Fields, after the controller's ---

  std::int32_t BUTTONTYPES = 0;               // sum of the button flags to show
  std::string CAPTION;                        // empty: the definition's caption
  ErrorManager* ERR = nullptr;                // the manager that runs the window
  std::int32_t ICON = 0;                      // icon number; 0 the exclamation icon
  WindowComponent* HISTORYHANDLER = nullptr;  // the list component, not owned
  std::int32_t MSGBUTTONS = 0;                // buttons shown
  // Flag of button position k (1 = rightmost) at index k - 1.
  std::array<std::int32_t, 8> MSGBUTTONID{};
  std::int32_t MSGRVAL = 0;  // the default button, then the flag of the button pressed
  std::int32_t STYLE = 0;    // passed by the caller; not used by the window
  Window* WIN = nullptr;     // the window, not owned

 private:
  // Shows a button for each flag of BUTTONTYPES, from the right, highest flag first; the default
  // one becomes the default button and takes the focus. The others are hidden.
  void LayOutButtons();

  bool answered_ = false;
};

}  // namespace morlan

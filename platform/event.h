// An event of the windowing runtime: its code, the control it concerns (0 for the window
// itself), the window it is for, and what a person changed with it.
//
// A presenter never writes into a window model (the model belongs to its own thread), so an event
// that reports what a person did carries the change with it: an entry's new text, a check's
// state, a list's selected row, the focus, a list's visible page, the window's size, the key or
// mouse button. The event loop applies the change to the model (and to the field bound to the
// control) on the model's thread just before it delivers the event, so a handler always finds the
// model up to date. An event with code EventNone carries a change only: the loop applies it and
// delivers nothing (a list scrolled, for instance).
//
// Timer, accepted and close events carry no change and cost no allocation: the text stays
// empty.
#pragma once

#include <cstdint>
#include <string>

#include "common/codes.h"

namespace morlan {

// An event that only carries a change; never delivered to a handler.
inline constexpr EventCode EventNone = 0;

// What a person changed, as an event reports it.
enum class InputChange : std::uint8_t {
  kNone,
  kText,   // the entry `control` holds `text`
  kValue,  // the check `control` is `value` (0 or 1), or the list `control` selects row `value`
  kFocus,  // the focus moved to `control`
  kPage,   // the list `control` shows `extra` rows from row `value` (1-based)
  kSize,   // the window is `value` wide and `extra` high, in dialog units
};

struct Event {
  EventCode code = 0;
  int control = 0;
  int window = 0;  // id of the window; 0 for the thread's current window

  InputChange change = InputChange::kNone;
  int value = 0;
  int extra = 0;
  // The key or mouse button that caused the event (key_codes.h); 0 leaves the loop's key code as
  // it is.
  int key = 0;
  // The person's action the event belongs to (0: none). One action may post several events, as
  // leaving an entry by pressing Enter posts the entry's accepted event and then the default
  // button's; when the model refuses the entry's input, the rest of that action is dropped.
  std::uint32_t action = 0;
  std::string text = {};
};

}  // namespace morlan
